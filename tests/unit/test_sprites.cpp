// The sprite fountain: the fixed-step clock with its carried remainder, spawning before
// stepping, bounces, deaths, the instance arrays, and a whole emission window replayed by
// a separate simulation written from the rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "fx/sprites.h"
#include "fx/well512.h"
#include "show/script.h"
#include "support/cpu_show.h"
#include "support/well512_ref.h"

using test::RefWell;

namespace {

// The fountain of the test show, under the names the frame gives its parts; updateSprites
// hands the count to spriteBuffer as the frame does.
Show& show = test::cpuShow();
Sprite (&sprites)[SPRITE_SLOTS] = show.fountain.sprites;
int32_t& spriteLastTick = show.fountain.spriteLastTick;
Well512& spriteRng = show.spriteRng;
int& emissionFlag = show.emissionFlag;
st::Vertexbuffer*& spriteBuffer = show.spriteBuffer;
float*& spriteInstanceVec4 = show.spriteInstances.vec4;
float*& spriteInstanceScalar = show.spriteInstances.scalar;

void updateSprites(int32_t tick) {
  ::updateSprites(show.fountain, spriteRng, emissionFlag, tick, show.spriteInstances);
  spriteBuffer->instanceCount = show.spriteInstances.count;
  spriteBuffer->dirty = 1;
}
void advanceSprites(int32_t tick, bool particles) {
  ::advanceSprites(show.fountain, spriteRng, emissionFlag, tick, particles);
}
void spawnSprite(float x, float y, float z) { ::spawnSprite(show.fountain, spriteRng, x, y, z); }

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

// "" when the record holds exactly these values, else the fields that differ.
std::string recordDiff(const Sprite& g, const RefSprite& w) {
  const float got[6] = {g.x, g.y, g.z, g.vx, g.vy, g.vz}, want[6] = {w.x, w.y, w.z, w.vx, w.vy, w.vz};
  static const char* const names[6] = {"x", "y", "z", "vx", "vy", "vz"};
  std::ostringstream out;
  out.precision(9);
  for (int k = 0; k < 6; ++k)
    if (got[k] != want[k]) out << names[k] << " " << got[k] << ", expected " << want[k] << "; ";
  if (g.life != w.life) out << "life " << g.life << ", expected " << w.life;
  return out.str();
}

// "" when instance n was recorded at (x, y, z) with this scalar, else what it holds.
std::string instanceDiff(size_t n, float x, float y, float z, float scalar) {
  const float* v = &spriteInstanceVec4[4 * n];
  if (v[0] == x && v[1] == y && v[2] == z && spriteInstanceScalar[n] == scalar) return "";
  std::ostringstream out;
  out.precision(9);
  out << "instance " << n << ": " << v[0] << " " << v[1] << " " << v[2] << " / " << spriteInstanceScalar[n]
      << ", expected " << x << " " << y << " " << z << " / " << scalar;
  return out.str();
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

  // "" when spriteBuffer holds exactly the instances recorded here, else the first difference.
  std::string instancesDiffer() const {
    if (spriteBuffer->instanceCount != (int)scalar.size())
      return std::to_string(spriteBuffer->instanceCount) + " instances, expected " +
             std::to_string(scalar.size());
    for (size_t n = 0; n < scalar.size(); ++n) {
      std::string d = instanceDiff(n, pos[3 * n], pos[3 * n + 1], pos[3 * n + 2], scalar[n]);
      if (!d.empty()) return d;
    }
    return "";
  }
};

class Sprites : public ::testing::Test {
 protected:
  void SetUp() override {
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
  // Starts the clock at `from`, then updates once at `to`.
  static void run(int from, int to) {
    updateSprites(from);
    updateSprites(to);
  }
};

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
  // 5 ms: no step; 13 ms since 1000: one, 5 carried; 12 ms since 1008: one; 84 ms: ten.
  const struct {
    int now, reached, life;
  } frames[] = {{1005, 1000, 500}, {1013, 1008, 499}, {1020, 1016, 498}, {1100, 1096, 488}};
  for (const auto& f : frames) {
    updateSprites(f.now);
    EXPECT_EQ(spriteLastTick, f.reached) << "update at " << f.now;
    EXPECT_EQ(sprites[42].life, f.life) << "update at " << f.now;
  }
}

TEST_F(Sprites, ShortFrameRecordsEveryLiveSpriteWithoutStepping) {
  sprites[3] = Sprite{1, 2, 3, 0.1f, 0.2f, 0.3f, 750};
  sprites[9000] = Sprite{-4, 5, -6, 0, 0, 0, 75};
  sprites[5000] = Sprite{9, 9, 9, 1, 1, 1, 0};   // dead
  sprites[6000] = Sprite{8, 8, 8, 1, 1, 1, -3};  // dead
  sprites[9999] = Sprite{7, 0.5f, 7, 0, 0, 0, 1};
  emissionFlag = 1;
  run(200, 207);
  EXPECT_TRUE(rngUntouched());
  ASSERT_EQ(spriteBuffer->instanceCount, 3);
  EXPECT_EQ(spriteBuffer->dirty, 1);
  // Index order, positions as they stand, life / 750.
  EXPECT_EQ(instanceDiff(0, 1, 2, 3, 1.0f), "");
  EXPECT_EQ(instanceDiff(1, -4, 5, -6, 0.1f), "");
  EXPECT_EQ(instanceDiff(2, 7, 0.5f, 7, 1.0f / 750.0f), "");
  EXPECT_EQ(recordDiff(sprites[3], RefSprite{1, 2, 3, 0.1f, 0.2f, 0.3f, 750}), "");
}

TEST_F(Sprites, OneSecondJumpSpawnsFiveHundredSteppedOneHundredTwentyFiveTimes) {
  // Spawned first, recorded where they were born, then stepped.
  emissionFlag = 1;
  run(10000, 11000);
  RefWorld world;
  world.update(10000, true);
  world.update(11000, true);
  ASSERT_LT(world.scalar.size(), 500u) << "expected the sequence to hit a slot twice";
  EXPECT_EQ(world.instancesDiffer(), "");
  for (int s = 0; s < 10000; ++s) ASSERT_EQ(recordDiff(sprites[s], world.s[s]), "") << "slot " << s;
}

TEST_F(Sprites, BounceWithLifeOneKills) {
  sprites[7] = Sprite{1, 0.004f, 2, 0.01f, -0.5f, 0.02f, 1};
  run(0, 16);  // two steps, but only one while alive
  EXPECT_EQ(sprites[7].life, -1);  // floor(0.9) - 1
  EXPECT_EQ(sprites[7].y, -(0.004f + -0.5f));
  EXPECT_EQ(sprites[7].x, 1.0f + 0.01f);
  EXPECT_EQ(spriteBuffer->instanceCount, 1);  // recorded before the step
  updateSprites(24);
  EXPECT_EQ(spriteBuffer->instanceCount, 0);
}

TEST_F(Sprites, BounceDampsAndShortens) {
  sprites[1] = Sprite{0, 0.2f, 0, 0.01f, -0.5f, -0.02f, 100};
  run(0, 8);
  const Sprite& s = sprites[1];
  EXPECT_EQ(s.life, 89);  // floor(100 * 0.9) - 1
  EXPECT_EQ(s.y, -(0.2f + -0.5f));
  EXPECT_NEAR(s.vz, -0.02 * 1.01 * 0.998, 1e-8);
  // The stated roundings, one product at a time.
  EXPECT_EQ(s.vy, (float)((double)(float)((double)(float)(0.5 * 0.75) - 0.01) * 0.998));
  EXPECT_EQ(s.vx, (float)((double)(float)((double)0.01f * 1.01) * 0.998));
}

TEST_F(Sprites, FlightUnderGravityAndDrag) {
  sprites[2] = Sprite{0, 10, 0, 0.05f, 0.5f, 0, 1000};
  run(0, 8 * 40);
  RefSprite r{0, 10, 0, 0.05f, 0.5f, 0, 1000};
  for (int k = 0; k < 40; ++k) refStep(r);
  EXPECT_EQ(recordDiff(sprites[2], r), "");
  EXPECT_EQ(sprites[2].life, 960);
  // Drag: vx loses 0.2 % a step.
  EXPECT_NEAR(sprites[2].vx, 0.05 * std::pow(0.998, 40), 1e-7);
}

TEST_F(Sprites, NoLiveSpriteMeansNoInstances) {
  spriteBuffer->instanceCount = 1234;
  spriteBuffer->dirty = 0;
  run(100, 5000);
  EXPECT_EQ(spriteBuffer->instanceCount, 0);
  EXPECT_EQ(spriteBuffer->dirty, 1);
  EXPECT_TRUE(rngUntouched());  // no flag, no spawn
}

TEST_F(Sprites, TheLoneDrawWithNoLiveSpriteIsInvisible) {
  // A plain draw of zero instances still reads instance 0: it must carry life 0, not
  // whatever the last live sprite left there.
  sprites[5] = Sprite{1, 2, 3, 0, 0, 0, 3};
  run(0, 8);
  EXPECT_EQ(spriteBuffer->instanceCount, 1);
  EXPECT_GT(spriteInstanceScalar[0], 0.0f);
  updateSprites(8 * 10);  // still drawn (positions are recorded before the steps), then dies
  updateSprites(8 * 11);
  EXPECT_EQ(spriteBuffer->instanceCount, 0);
  EXPECT_EQ(spriteInstanceScalar[0], 0.0f);
}

TEST_F(Sprites, SpawnedRanges) {
  RefWell r(0);
  const float e[3] = {10.0f, 0.0f, -20.0f};
  for (int n = 0; n < 40000; ++n) {
    spawnSprite(e[0], e[1], e[2]);
    if (n < 50) {
      unsigned slot;
      RefSprite want = refSpawn(r, e, slot);
      EXPECT_EQ(recordDiff(sprites[slot], want), "") << "spawn " << n;
    }
  }
  // Half a ten-bit step past 0.05 is float rounding of the emitter sum, not a wider spread.
  const float reach = 0.05f + 1e-5f;
  float lo[3] = {1, 1, 1e9f}, hi[3] = {-1, -1, -1e9f};  // vx, vy, life
  int count = 0;
  for (const Sprite& s : sprites) {
    if (s.life <= 0) continue;
    ++count;
    ASSERT_TRUE(s.life >= 100 && s.life <= 1099) << s.life;
    ASSERT_TRUE(s.vx >= -0.064f && s.vx < 0.064f) << s.vx;
    ASSERT_TRUE(s.vz >= -0.064f && s.vz < 0.064f) << s.vz;
    ASSERT_TRUE(s.vy >= 0.6f && s.vy < 1.0f) << s.vy;
    ASSERT_LE(std::fabs(s.x - 10.0f), reach);
    ASSERT_LE(std::fabs(s.y), reach);
    ASSERT_LE(std::fabs(s.z + 20.0f), reach);
    const float v[3] = {s.vx, s.vy, (float)s.life};
    for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], v[k]), hi[k] = std::max(hi[k], v[k]);
  }
  // 40000 spawns into 10000 slots leave nearly every slot filled, spread over the range.
  EXPECT_GT(count, 9700);
  EXPECT_LT(lo[0], -0.063f);
  EXPECT_GT(hi[0], 0.063f);
  EXPECT_LT(lo[1], 0.61f);
  EXPECT_GT(hi[1], 0.99f);
  EXPECT_EQ(lo[2], 100.0f);
  EXPECT_EQ(hi[2], 1099.0f);
}

TEST_F(Sprites, FourthInstanceComponentIsNeverWritten) {
  for (int n = 0; n < 8; ++n) spriteInstanceVec4[4 * n + 3] = 42.0f;
  for (int n = 0; n < 8; ++n) sprites[100 * n] = Sprite{1, 2, 3, 0, 0, 0, 10};
  run(0, 8);
  EXPECT_EQ(spriteBuffer->instanceCount, 8);
  for (int n = 0; n < 8; ++n) EXPECT_EQ(spriteInstanceVec4[4 * n + 3], 42.0f);
}

TEST_F(Sprites, EmissionWindowReplayedBySeparateSimulation) {
  // Eight seconds of fountain at an uneven frame rate, then the fall-out until all are dead.
  RefWorld world;
  int tick = 50000, frame = 0, peak = 0;
  emissionFlag = 0;
  while (tick < 70000) {
    bool seen = emissionFlag != 0;  // last frame's flag
    updateSprites(tick);
    world.update(tick, seen);
    ASSERT_EQ(world.instancesDiffer(), "") << "tick " << tick;
    peak = std::max(peak, spriteBuffer->instanceCount);
    emissionFlag = tick < 58000;  // the script's flag, seen by the next update
    tick += 13 + (frame * 7) % 11;
    ++frame;
  }
  EXPECT_GT(peak, 1000);  // bounces cut lives short: about 1600 at once
  EXPECT_EQ(spriteBuffer->instanceCount, 0);
  EXPECT_EQ(live(), 0);
}

// A run that skips the particles over early frames (only the step clock and the generator
// move on) and moves them over the last stretch ends where drawing every frame does: same
// live particles, same generator, same clock. Two emission windows, one long before the
// end (skipped) and one just before it (moved).
TEST_F(Sprites, UnseenFramesLeaveTheStateOfDrawnOnes) {
  auto flagAt = [](int32_t tick) {
    return (tick >= 5000 && tick < 13000) || (tick >= 33000 && tick < 38000) ? 1 : 0;
  };
  const int frames = 40 * 30;
  auto tickOf = [](int n) { return (int32_t)((int64_t)n * 1000 / 30); };
  for (int n = 0; n < frames; ++n) {
    updateSprites(tickOf(n));
    emissionFlag = flagAt(tickOf(n));
  }
  std::vector<Sprite> drawn(sprites, sprites + SPRITE_SLOTS);
  const Well512 drawnRng = spriteRng;
  const int32_t drawnClock = spriteLastTick;
  ASSERT_GT(live(), 500);

  SetUp();
  const int32_t last = tickOf(frames - 1);
  const int32_t memoryMs = (SPRITE_MAX_LIFE_STEPS + 1) * SPRITE_STEP_MS + 1000;
  for (int n = 0; n < frames; ++n) {
    advanceSprites(tickOf(n), last - tickOf(n) <= memoryMs);
    emissionFlag = flagAt(tickOf(n));
  }
  EXPECT_EQ(spriteLastTick, drawnClock);
  EXPECT_EQ(std::memcmp(spriteRng.state, drawnRng.state, sizeof drawnRng.state), 0);
  EXPECT_EQ(spriteRng.index, drawnRng.index);
  for (int i = 0; i < SPRITE_SLOTS; ++i) {
    ASSERT_EQ(sprites[i].life > 0, drawn[i].life > 0) << "slot " << i;
    if (drawn[i].life <= 0) continue;
    ASSERT_EQ(std::memcmp(&sprites[i], &drawn[i], sizeof(Sprite)), 0) << "slot " << i;
  }
}
