// The show's generator against a separately written WELL512a: same words for every seed,
// seeds equal modulo 2^32, and reseeding that forgets everything drawn before.
#include <gtest/gtest.h>

#include "fx/well512.h"
#include "support/well512_ref.h"

using test::RefWell;

namespace {
bool sameState(const Well512& w, const RefWell& r) {
  for (int i = 0; i < 16; ++i) {
    if (w.state[i] != r.s[i]) return false;
  }
  return w.index == r.idx;
}
}  // namespace

TEST(Well512, FreshInstanceIsTheSeedZeroState) {
  Well512 w;
  for (uint32_t word : w.state) EXPECT_EQ(word, 0x7457EDB7u);
  EXPECT_EQ(w.index, 0u);
  Well512 seeded;
  seeded.seed(0);
  EXPECT_TRUE(sameState(seeded, RefWell(0)));
}

TEST(Well512, FirstStepFromSeedZeroByHand) {
  // a = c = 0x7457EDB7 for the first step, and every word of the state is that value, so
  // the step can be written out on its own terms.
  const uint32_t x = 0x7457EDB7u;
  uint32_t b = x ^ x ^ (x << 16) ^ (x << 15);
  uint32_t c = x ^ (x >> 11);
  uint32_t a = b ^ c;
  uint32_t d = a ^ ((a << 5) & 0xDA442D24u);
  uint32_t expected = x ^ b ^ d ^ (x << 2) ^ (b << 18) ^ (c << 28);
  Well512 w;
  EXPECT_EQ(w.next(), expected);
  EXPECT_EQ(w.index, 15u);
  EXPECT_EQ(w.state[0], a);
  EXPECT_EQ(w.state[15], expected);
}

TEST(Well512, MatchesPublishedWell512aOverThousandsOfWords) {
  const int64_t seeds[] = {0, 1, 2, 3, 4, 7, 1000, 12345, 0x7FFFFFFF, 0x80000000ll, 0xFFFFFFFFll};
  for (int64_t s : seeds) {
    Well512 w;
    w.seed((uint32_t)s);
    RefWell r(s);
    ASSERT_TRUE(sameState(w, r)) << "seed " << s;
    for (int n = 0; n < 5000; ++n) {
      uint32_t got = w.next();
      uint32_t want = r.gen();
      ASSERT_EQ(got, want) << "seed " << s << " word " << n;
    }
    EXPECT_TRUE(sameState(w, r));
  }
}

TEST(Well512, UnseededInstanceMatchesReferenceAtSeedZero) {
  Well512 w;
  RefWell r(0);
  for (int n = 0; n < 3000; ++n) ASSERT_EQ(w.next(), r.gen()) << "word " << n;
}

TEST(Well512, SeedsEqualModuloTwoToThe32) {
  // The reference seeds with the unreduced 64-bit value; the generator with its 32-bit image.
  const int64_t pairs[][2] = {{5, 5 + 4294967296ll}, {-1, 0xFFFFFFFFll}, {-123456, 4294967296ll - 123456}};
  for (const auto& p : pairs) {
    Well512 a;
    a.seed((uint32_t)(int32_t)p[0]);
    RefWell r(p[1]);
    EXPECT_TRUE(sameState(a, r)) << p[0];
    for (int n = 0; n < 100; ++n) ASSERT_EQ(a.next(), r.gen());
  }
}

TEST(Well512, StateWordsWrap) {
  Well512 w;
  w.seed(0x80000000u);
  // Odd multiples keep the top bit, even ones wrap it away.
  EXPECT_EQ(w.state[0], 0x7457EDB7u + 0x80000000u);
  EXPECT_EQ(w.state[1], 0x7457EDB7u);
  EXPECT_EQ(w.state[15], 0x7457EDB7u);
}

TEST(Well512, ReseedingForgetsThePast) {
  Well512 fresh;
  fresh.seed(42);
  uint32_t first[8];
  for (uint32_t& f : first) f = fresh.next();

  Well512 used;
  used.seed(7);
  for (int n = 0; n < 777; ++n) used.next();
  used.seed(42);
  for (uint32_t f : first) EXPECT_EQ(used.next(), f);
}

TEST(Well512, InstancesSeededAlikeAgree) {
  Well512 a, b;
  a.seed(99);
  b.seed(99);
  for (int n = 0; n < 1000; ++n) ASSERT_EQ(a.next(), b.next());
}

TEST(Well512, OutputIsTheWordLeftAtTheIndex) {
  Well512 w;
  w.seed(3);
  for (int n = 0; n < 40; ++n) {
    uint32_t out = w.next();
    EXPECT_EQ(w.state[w.index], out);
  }
}

TEST(Well512, DifferentSeedsDiffer) {
  Well512 a, b;
  a.seed(1);
  b.seed(2);
  int same = 0;
  for (int n = 0; n < 1000; ++n) same += a.next() == b.next();
  EXPECT_LT(same, 3);
}

TEST(Well512, ThreeSeparateGlobals) {
  EXPECT_NE(&spriteRng, &figureRng);
  EXPECT_NE(&spriteRng, &starRng);
  EXPECT_NE(&figureRng, &starRng);
  Well512 saved = figureRng;
  figureRng.seed(5);
  starRng.seed(6);
  figureRng.next();
  Well512 expect;
  expect.seed(5);
  expect.next();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(figureRng.state[i], expect.state[i]);
  figureRng = saved;
}
