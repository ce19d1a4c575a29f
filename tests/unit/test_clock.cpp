// The frame's clock derivation and the letterbox viewport, pinned to the values the show's
// timeline and presentation depend on.
#include <gtest/gtest.h>

#include "show/viewport.h"
#include "show/clock.h"

TEST(Clock, DerivedFromTheMusicTime) {
  const struct {
    double time;
    int M, slot, timeInSlot;
    float fade, fadeTolerance;
  } cases[] = {
      {0.0, 0, 0, 0, 1.0f, 0.0f},
      {0.0015, 1, 0, 1, 1.0f, 0.0f},  // 1.5 ms: floor, not round
      {9.9994, 9999, 0, 9999, 0.001f, 1e-6f},  // the last millisecond of the first slot
      {10.0, 10000, 1, 0, 1.0f, 0.0f},
      {12.3456789, 12345, 1, 2345, 1.0f, 0.0f},
      {19.5, 19500, 1, 9500, 0.5f, 0.0f},
      {80.0, 80000, 8, 0, 1.0f, 0.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "music time " << c.time);
    FrameClock clock = deriveClock(c.time);
    EXPECT_EQ(clock.M, c.M);
    EXPECT_EQ(clock.slot, c.slot);
    EXPECT_EQ(clock.timeInSlot, c.timeInSlot);
    EXPECT_NEAR(clock.fade, c.fade, c.fadeTolerance);
  }
  // The music time is narrowed to float before anything else.
  EXPECT_EQ(deriveClock(12.3456789).t, 12.3456789f);
}

TEST(Clock, FadeIsOneForNineSecondsThenLinear) {
  for (int ms = 0; ms < 9000; ms += 250) EXPECT_EQ(deriveClock(30.0 + ms / 1000.0).fade, 1.0f);
  EXPECT_EQ(deriveClock(39.25).fade, 0.75f);
}

TEST(Viewport, LetterboxExamples) {
  const struct {
    int w, h;
    Viewport expected;
  } cases[] = {
      {960, 540, {0, 0, 960, 540}},       {1920, 1080, {0, 0, 1920, 1080}},
      {1920, 1200, {0, 60, 1920, 1080}},  {2560, 1080, {320, 0, 1920, 1080}},
      {1366, 768, {0, 0, 1365, 768}},     {1280, 720, {0, 0, 1280, 720}},
      {1024, 768, {0, 96, 1024, 576}},    {3440, 1440, {440, 0, 2560, 1440}},
      // 16:9 in float equals the constant, so the "otherwise" branch gives the full window
      // (its height recomputed as w / 1.7777778, which is exact here).
      {1600, 900, {0, 0, 1600, 900}},
  };
  for (const auto& c : cases) {
    Viewport v = letterboxViewport(c.w, c.h);
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    EXPECT_EQ(v.x, c.expected.x);
    EXPECT_EQ(v.y, c.expected.y);
    EXPECT_EQ(v.width, c.expected.width);
    EXPECT_EQ(v.height, c.expected.height);
  }
}
