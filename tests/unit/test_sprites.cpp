// The sprite fountain: the fixed-step clock with its carried remainder, spawning before
// stepping, bounces, deaths, the instance arrays, and a whole emission window replayed by
// a separate simulation written from the rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "fx/sprites.h"
#include "fx/well512.h"
#include "show/scene.h"
#include "show/script.h"
#include "st/geometry.h"
#include "support/cpu_gl.h"
#include "support/well512_ref.h"

using test::RefWell;

namespace {

struct RefSprite {
  float x, y, z, vx, vy, vz;
  int life;
};

const float EMIT[4][3] = {{-80, 0, 0}, {80, 0, 0}, {-40, 0, -60}, {40, 0, -60}};

// Nine words: life, vz, vy (two), vx, z, y, x, slot.
RefSprite refSpawn(RefWell& r, const float e[3], unsigned& slot) {
  RefSprite s;
  s.life = (int)(r.gen() % 1000u) + 100;
  s.vz = (float)(RefWell::centred(r.gen()) / 8000.0);
  double a = RefWell::centred(r.gen()) / 5120.0;
  double b = RefWell::centred(r.gen()) / 5120.0;
  s.vy = (float)(a + 0.8 + b);
  s.vx = (float)(RefWell::centred(r.gen()) / 8000.0);
  s.z = (float)(e[2] + RefWell::centred(r.gen()) / 10240.0);
  s.y = (float)(e[1] + RefWell::centred(r.gen()) / 10240.0);
  s.x = (float)(e[0] + RefWell::centred(r.gen()) / 10240.0);
  slot = r.gen() % 10000u;
  return s;
}

void refStep(RefSprite& s) {
  s.x += s.vx;
  s.y += s.vy;
  s.z += s.vz;
  if (s.y < 0.0f) {
    s.y = -s.y;
    s.vy = (float)(-(double)s.vy * 0.75);
    s.life = (int)std::floor(s.life * 0.9);
    s.vx = (float)(s.vx * 1.01);
    s.vz = (float)(s.vz * 1.01);
  }
  s.life -= 1;
  s.vx = (float)(s.vx * 0.998);
  float slowed = (float)(s.vy - 0.01);
  s.vy = (float)(slowed * 0.998);
  s.vz = (float)(s.vz * 0.998);
}

// The whole fountain, kept apart from the program's own state.
struct RefWorld {
  std::vector<RefSprite> s = std::vector<RefSprite>(10000, RefSprite{0, 0, 0, 0, 0, 0, 0});
  int last = -1;
  RefWell rng{0};
  std::vector<float> pos;  // x, y, z per recorded instance
  std::vector<float> scalar;

  void update(int now, bool flag) {
    if (last < 0) last = now;
    int steps = (now - last) / 8;
    last += steps * 8;
    if (flag && steps > 0) {
      for (int n = 0; n < steps; ++n) {
        for (const auto& e : EMIT) {
          unsigned slot;
          RefSprite fresh = refSpawn(rng, e, slot);
          s[slot] = fresh;
        }
      }
    }
    pos.clear();
    scalar.clear();
    for (RefSprite& p : s) {
      if (p.life <= 0) continue;
      pos.insert(pos.end(), {p.x, p.y, p.z});
      scalar.push_back((float)p.life / 750.0f);
      for (int n = 0; n < steps && p.life > 0; ++n) refStep(p);
    }
  }
};

class Sprites : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!spriteBuffer) {
      test::installCpuGlStubs();
      spriteBuffer = makeSpriteBuffer();
    }
    std::memset(sprites, 0, sizeof sprites);
    spriteLastTick = -1;
    spriteRng = Well512{};
    emissionFlag = 0;
  }
  void TearDown() override { emissionFlag = 0; }

  static int live() {
    int n = 0;
    for (const Sprite& s : sprites) n += s.life > 0;
    return n;
  }
  static bool rngUntouched() {
    Well512 fresh;
    return std::memcmp(fresh.state, spriteRng.state, sizeof fresh.state) == 0 &&
           fresh.index == spriteRng.index;
  }
};

void expectRecordEquals(const Sprite& got, const RefSprite& want) {
  EXPECT_EQ(got.x, want.x);
  EXPECT_EQ(got.y, want.y);
  EXPECT_EQ(got.z, want.z);
  EXPECT_EQ(got.vx, want.vx);
  EXPECT_EQ(got.vy, want.vy);
  EXPECT_EQ(got.vz, want.vz);
  EXPECT_EQ(got.life, want.life);
}

}  // namespace

TEST_F(Sprites, FirstUpdateOnlyStartsTheClock) {
  emissionFlag = 1;
  spriteBuffer->instanceCount = 77;
  spriteBuffer->dirty = 0;
  updateSprites(5000);
  EXPECT_EQ(spriteLastTick, 5000);
  EXPECT_EQ(spriteBuffer->instanceCount, 0);
  EXPECT_EQ(spriteBuffer->dirty, 1);
  EXPECT_TRUE(rngUntouched());
  EXPECT_EQ(live(), 0);
}

TEST_F(Sprites, WholeStepsWithTheRemainderCarried) {
  sprites[42] = Sprite{0, 50, 0, 0.125f, 0, 0, 500};
  updateSprites(1000);
  updateSprites(1005);  // 5 ms: no step
  EXPECT_EQ(spriteLastTick, 1000);
  EXPECT_EQ(sprites[42].life, 500);
  updateSprites(1013);  // 13 ms since 1000: one step, 5 carried
  EXPECT_EQ(spriteLastTick, 1008);
  EXPECT_EQ(sprites[42].life, 499);
  updateSprites(1020);  // 12 ms since 1008: one step
  EXPECT_EQ(spriteLastTick, 1016);
  EXPECT_EQ(sprites[42].life, 498);
  updateSprites(1100);  // 84 ms: ten steps
  EXPECT_EQ(spriteLastTick, 1096);
  EXPECT_EQ(sprites[42].life, 488);
}

TEST_F(Sprites, ShortFrameRecordsEveryLiveSpriteWithoutStepping) {
  sprites[3] = Sprite{1, 2, 3, 0.1f, 0.2f, 0.3f, 750};
  sprites[9000] = Sprite{-4, 5, -6, 0, 0, 0, 75};
  sprites[5000] = Sprite{9, 9, 9, 1, 1, 1, 0};   // dead
  sprites[6000] = Sprite{8, 8, 8, 1, 1, 1, -3};  // dead
  sprites[9999] = Sprite{7, 0.5f, 7, 0, 0, 0, 1};
  emissionFlag = 1;
  updateSprites(200);
  updateSprites(207);
  EXPECT_TRUE(rngUntouched());
  ASSERT_EQ(spriteBuffer->instanceCount, 3);
  EXPECT_EQ(spriteBuffer->dirty, 1);
  // Index order, positions as they stand, life / 750.
  const float want[3][4] = {{1, 2, 3, 1.0f}, {-4, 5, -6, 0.1f}, {7, 0.5f, 7, 1.0f / 750.0f}};
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(spriteInstanceVec4[4 * n + 0], want[n][0]);
    EXPECT_EQ(spriteInstanceVec4[4 * n + 1], want[n][1]);
    EXPECT_EQ(spriteInstanceVec4[4 * n + 2], want[n][2]);
    EXPECT_EQ(spriteInstanceScalar[n], want[n][3]);
  }
  EXPECT_EQ(sprites[3].x, 1.0f);
  EXPECT_EQ(sprites[3].life, 750);
}

TEST_F(Sprites, OneSecondJumpSpawnsFiveHundredSteppedOneHundredTwentyFiveTimes) {
  emissionFlag = 1;
  updateSprites(10000);
  updateSprites(11000);

  RefWell r(0);
  std::vector<RefSprite> fresh(10000);
  std::vector<int> emitterOf(10000, -1);
  std::set<unsigned> slots;
  for (int n = 0; n < 500; ++n) {
    unsigned slot;
    fresh[0] = refSpawn(r, EMIT[n % 4], slot);
    fresh[slot] = fresh[0];
    emitterOf[slot] = n % 4;
    slots.insert(slot);
  }
  ASSERT_LT(slots.size(), 500u) << "expected the sequence to hit a slot twice";
  // Spawned first, recorded where they were born, then stepped.
  ASSERT_EQ(spriteBuffer->instanceCount, (int)slots.size());
  int n = 0;
  for (unsigned slot : slots) {
    const float* e = EMIT[emitterOf[slot]];
    EXPECT_EQ(spriteInstanceVec4[4 * n + 0], fresh[slot].x);
    EXPECT_EQ(spriteInstanceVec4[4 * n + 1], fresh[slot].y);
    EXPECT_EQ(spriteInstanceVec4[4 * n + 2], fresh[slot].z);
    EXPECT_LE(std::fabs(spriteInstanceVec4[4 * n + 0] - e[0]), 0.05f + 1e-5f);
    EXPECT_LE(std::fabs(spriteInstanceVec4[4 * n + 1] - e[1]), 0.05f + 1e-5f);
    EXPECT_LE(std::fabs(spriteInstanceVec4[4 * n + 2] - e[2]), 0.05f + 1e-5f);
    RefSprite stepped = fresh[slot];
    for (int k = 0; k < 125 && stepped.life > 0; ++k) refStep(stepped);
    expectRecordEquals(sprites[slot], stepped);
    ++n;
  }
  for (int s = 0; s < 10000; ++s)
    if (!slots.count((unsigned)s)) {
      ASSERT_EQ(sprites[s].life, 0);
    }
}

TEST_F(Sprites, BounceWithLifeOneKills) {
  sprites[7] = Sprite{1, 0.004f, 2, 0.01f, -0.5f, 0.02f, 1};
  updateSprites(0);
  updateSprites(16);  // two steps, but only one while alive
  EXPECT_LE(sprites[7].life, 0);
  EXPECT_EQ(sprites[7].life, -1);  // floor(0.9) - 1
  EXPECT_EQ(sprites[7].y, -(0.004f + -0.5f));
  EXPECT_EQ(sprites[7].x, 1.0f + 0.01f);
  EXPECT_EQ(spriteBuffer->instanceCount, 1);  // recorded before the step
  updateSprites(24);
  EXPECT_EQ(spriteBuffer->instanceCount, 0);
}

TEST_F(Sprites, BounceDampsAndShortens) {
  sprites[1] = Sprite{0, 0.2f, 0, 0.01f, -0.5f, -0.02f, 100};
  updateSprites(0);
  updateSprites(8);
  const Sprite& s = sprites[1];
  EXPECT_EQ(s.life, 89);  // floor(100 * 0.9) - 1
  EXPECT_EQ(s.y, -(0.2f + -0.5f));
  EXPECT_NEAR(s.vy, (0.375 - 0.01) * 0.998, 1e-7);
  EXPECT_NEAR(s.vx, 0.01 * 1.01 * 0.998, 1e-8);
  EXPECT_NEAR(s.vz, -0.02 * 1.01 * 0.998, 1e-8);
  // The stated roundings, one product at a time.
  EXPECT_EQ(s.vy, (float)((double)(float)((double)(float)(0.5 * 0.75) - 0.01) * 0.998));
  EXPECT_EQ(s.vx, (float)((double)(float)((double)0.01f * 1.01) * 0.998));
}

TEST_F(Sprites, FlightUnderGravityAndDrag) {
  sprites[2] = Sprite{0, 10, 0, 0.05f, 0.5f, 0, 1000};
  updateSprites(0);
  updateSprites(8 * 40);
  RefSprite r{0, 10, 0, 0.05f, 0.5f, 0, 1000};
  for (int k = 0; k < 40; ++k) refStep(r);
  expectRecordEquals(sprites[2], r);
  EXPECT_EQ(sprites[2].life, 960);
  // Drag: vx loses 0.2 % a step.
  EXPECT_NEAR(sprites[2].vx, 0.05 * std::pow(0.998, 40), 1e-7);
}

TEST_F(Sprites, NoLiveSpriteMeansNoInstances) {
  spriteBuffer->instanceCount = 1234;
  spriteBuffer->dirty = 0;
  updateSprites(100);
  updateSprites(5000);
  EXPECT_EQ(spriteBuffer->instanceCount, 0);
  EXPECT_EQ(spriteBuffer->dirty, 1);
  EXPECT_TRUE(rngUntouched());  // no flag, no spawn
}

TEST_F(Sprites, TheLoneDrawWithNoLiveSpriteIsInvisible) {
  // A plain draw of zero instances still reads instance 0: it must carry life 0, not
  // whatever the last live sprite left there.
  sprites[5] = Sprite{1, 2, 3, 0, 0, 0, 3};
  updateSprites(0);
  updateSprites(8);
  EXPECT_EQ(spriteBuffer->instanceCount, 1);
  EXPECT_GT(spriteInstanceScalar[0], 0.0f);
  updateSprites(8 * 10);  // still drawn (positions are recorded before the steps), then dies
  updateSprites(8 * 11);
  EXPECT_EQ(spriteBuffer->instanceCount, 0);
  EXPECT_EQ(spriteInstanceScalar[0], 0.0f);
}

TEST_F(Sprites, SpawnedRanges) {
  RefWell r(0);
  for (int n = 0; n < 40000; ++n) {
    spawnSprite(10.0f, 0.0f, -20.0f);
    if (n < 50) {
      unsigned slot;
      const float e[3] = {10.0f, 0.0f, -20.0f};
      RefSprite want = refSpawn(r, e, slot);
      expectRecordEquals(sprites[slot], want);
    }
  }
  // Half a ten-bit step past 0.05 is float rounding of the emitter sum, not a wider spread.
  const float reach = 0.05f + 1e-5f;
  float lo[4] = {1, 1, 1, 1e9f}, hi[4] = {-1, -1, -1, -1e9f};
  int count = 0;
  for (const Sprite& s : sprites) {
    if (s.life <= 0) continue;
    ++count;
    ASSERT_GE(s.life, 100);
    ASSERT_LE(s.life, 1099);
    ASSERT_GE(s.vx, -0.064f);
    ASSERT_LT(s.vx, 0.064f);
    ASSERT_GE(s.vz, -0.064f);
    ASSERT_LT(s.vz, 0.064f);
    ASSERT_GE(s.vy, 0.6f);
    ASSERT_LT(s.vy, 1.0f);
    ASSERT_LE(std::fabs(s.x - 10.0f), reach);
    ASSERT_LE(std::fabs(s.y), reach);
    ASSERT_LE(std::fabs(s.z + 20.0f), reach);
    lo[0] = std::min(lo[0], s.vx);
    hi[0] = std::max(hi[0], s.vx);
    lo[1] = std::min(lo[1], s.vy);
    hi[1] = std::max(hi[1], s.vy);
    lo[3] = std::min(lo[3], (float)s.life);
    hi[3] = std::max(hi[3], (float)s.life);
  }
  // 40000 spawns into 10000 slots leave nearly every slot filled, spread over the range.
  EXPECT_GT(count, 9700);
  EXPECT_LT(lo[0], -0.063f);
  EXPECT_GT(hi[0], 0.063f);
  EXPECT_LT(lo[1], 0.61f);
  EXPECT_GT(hi[1], 0.99f);
  EXPECT_EQ(lo[3], 100.0f);
  EXPECT_EQ(hi[3], 1099.0f);
}

TEST_F(Sprites, FourthInstanceComponentIsNeverWritten) {
  for (int n = 0; n < 8; ++n) spriteInstanceVec4[4 * n + 3] = 42.0f;
  for (int n = 0; n < 8; ++n) sprites[100 * n] = Sprite{1, 2, 3, 0, 0, 0, 10};
  updateSprites(0);
  updateSprites(8);
  EXPECT_EQ(spriteBuffer->instanceCount, 8);
  for (int n = 0; n < 8; ++n) EXPECT_EQ(spriteInstanceVec4[4 * n + 3], 42.0f);
}

TEST_F(Sprites, EmissionWindowReplayedBySeparateSimulation) {
  // Eight seconds of fountain at an uneven frame rate, then the fall-out until all are dead.
  RefWorld world;
  int tick = 50000;
  int frame = 0;
  int peak = 0;
  auto frameOnce = [&](bool flag) {
    bool seen = emissionFlag != 0;  // last frame's flag
    updateSprites(tick);
    world.update(tick, seen);
    ASSERT_EQ(spriteBuffer->instanceCount, (int)world.scalar.size()) << "tick " << tick;
    for (size_t n = 0; n < world.scalar.size(); ++n) {
      ASSERT_EQ(spriteInstanceScalar[n], world.scalar[n]) << "tick " << tick;
      ASSERT_EQ(spriteInstanceVec4[4 * n + 0], world.pos[3 * n + 0]) << "tick " << tick;
      ASSERT_EQ(spriteInstanceVec4[4 * n + 1], world.pos[3 * n + 1]) << "tick " << tick;
      ASSERT_EQ(spriteInstanceVec4[4 * n + 2], world.pos[3 * n + 2]) << "tick " << tick;
    }
    peak = std::max(peak, spriteBuffer->instanceCount);
    emissionFlag = flag;  // the script's flag, seen by the next update
    tick += 13 + (frame * 7) % 11;
    ++frame;
  };
  emissionFlag = 0;
  frameOnce(true);
  while (tick < 58000) {
    frameOnce(true);
    if (HasFatalFailure()) return;
  }
  while (tick < 70000) {
    frameOnce(false);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(peak, 1000);  // bounces cut lives short: about 1600 at once
  EXPECT_EQ(spriteBuffer->instanceCount, 0);
  EXPECT_EQ(live(), 0);
}
