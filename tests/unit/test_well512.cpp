// The show's generator against a separately written WELL512a: same words for every seed,
// seeds equal modulo 2^32, and reseeding that forgets everything drawn before.
#include <gtest/gtest.h>

#include "fx/well512.h"
#include "show/show.h"
#include "support/well512_ref.h"

using test::RefWell;
using test::sameState;

TEST(Well512, FreshInstanceIsTheSeedZeroState) {
  Well512 w;
  for (uint32_t word : w.state) EXPECT_EQ(word, 0x7457EDB7u);
  EXPECT_EQ(w.index, 0u);
  RefWell r(0);
  for (int n = 0; n < 3000; ++n) ASSERT_EQ(w.next(), r.gen()) << "word " << n;
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

// The reference seeds with the unreduced 64-bit value, the generator with its 32-bit image:
// seeds past 2^31, past 2^32 and below zero must still agree.
TEST(Well512, MatchesPublishedWell512aOverThousandsOfWords) {
  const int64_t seeds[] = {0,      1,          2,           3,           4,  7,      1000,
                           12345,  0x7FFFFFFF, 0x80000000ll, 0xFFFFFFFFll, -1, -123456,
                           5 + 4294967296ll};
  for (int64_t s : seeds) {
    Well512 w;
    w.seed((uint32_t)s);
    RefWell r(s);
    ASSERT_TRUE(sameState(w, r)) << "seed " << s;
    for (int n = 0; n < 5000; ++n) ASSERT_EQ(w.next(), r.gen()) << "seed " << s << " word " << n;
    EXPECT_TRUE(sameState(w, r)) << "seed " << s;
  }
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

// Interleaved instances: nothing of one may live in shared storage.
TEST(Well512, InstancesSeededAlikeAgree) {
  Well512 a, b;
  a.seed(99);
  b.seed(99);
  for (int n = 0; n < 1000; ++n) ASSERT_EQ(a.next(), b.next());
}

TEST(Well512, TheShowsThreeGeneratorsAreSeparate) {
  static Show show;
  EXPECT_NE(&show.spriteRng, &show.figureRng);
  EXPECT_NE(&show.spriteRng, &show.starRng);
  EXPECT_NE(&show.figureRng, &show.starRng);
  show.figureRng.seed(5);
  show.starRng.seed(6);
  show.figureRng.next();
  Well512 expect;
  expect.seed(5);
  expect.next();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(show.figureRng.state[i], expect.state[i]);
  Well512 fresh;
  for (int i = 0; i < 16; ++i) EXPECT_EQ(show.spriteRng.state[i], fresh.state[i]);
}
