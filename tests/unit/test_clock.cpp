// The frame's clock derivation and the letterbox viewport, pinned to the values the show's
// timeline and presentation depend on.
#include <gtest/gtest.h>

#include "app/app.h"
#include "show/clock.h"

TEST(Clock, StartOfMusic) {
  FrameClock c = deriveClock(0.0);
  EXPECT_EQ(c.M, 0);
  EXPECT_EQ(c.slot, 0);
  EXPECT_EQ(c.timeInSlot, 0);
  EXPECT_EQ(c.fade, 1.0f);
}

TEST(Clock, LastMillisecondOfFirstSlot) {
  FrameClock c = deriveClock(9.9994);
  EXPECT_EQ(c.M, 9999);
  EXPECT_EQ(c.slot, 0);
  EXPECT_EQ(c.timeInSlot, 9999);
  EXPECT_NEAR(c.fade, 0.001f, 1e-6f);
  EXPECT_GT(c.fade, 0.0f);
}

TEST(Clock, SlotBoundaries) {
  FrameClock ten = deriveClock(10.0);
  EXPECT_EQ(ten.slot, 1);
  EXPECT_EQ(ten.timeInSlot, 0);
  EXPECT_EQ(ten.fade, 1.0f);

  FrameClock half = deriveClock(19.5);
  EXPECT_EQ(half.slot, 1);
  EXPECT_EQ(half.timeInSlot, 9500);
  EXPECT_EQ(half.fade, 0.5f);

  FrameClock loop = deriveClock(80.0);
  EXPECT_EQ(loop.slot, 8);
  EXPECT_EQ(loop.timeInSlot, 0);
  EXPECT_EQ(loop.fade, 1.0f);
}

TEST(Clock, MillisecondsAreFlooredFromTheSinglePrecisionTime) {
  // 0.0015 s is 1.5 ms: floor, not round.
  EXPECT_EQ(deriveClock(0.0015).M, 1);
  // The music time is narrowed to float before anything else: 12.3456789 s.
  FrameClock c = deriveClock(12.3456789);
  EXPECT_EQ(c.t, 12.3456789f);
  EXPECT_EQ(c.M, 12345);
  EXPECT_EQ(c.timeInSlot, 2345);
}

TEST(Clock, FadeIsOneForNineSecondsThenLinear) {
  for (int ms = 0; ms < 9000; ms += 250) EXPECT_EQ(deriveClock(30.0 + ms / 1000.0).fade, 1.0f);
  EXPECT_EQ(deriveClock(39.25).fade, 0.75f);
}

struct ViewportCase {
  int w, h;
  Viewport expected;
};

TEST(Viewport, LetterboxExamples) {
  const ViewportCase cases[] = {
      {960, 540, {0, 0, 960, 540}},       {1920, 1080, {0, 0, 1920, 1080}},
      {1920, 1200, {0, 60, 1920, 1080}},  {2560, 1080, {320, 0, 1920, 1080}},
      {1366, 768, {0, 0, 1365, 768}},     {1280, 720, {0, 0, 1280, 720}},
      {1024, 768, {0, 96, 1024, 576}},    {3440, 1440, {440, 0, 2560, 1440}},
  };
  for (const ViewportCase& c : cases) {
    Viewport v = letterboxViewport(c.w, c.h);
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    EXPECT_EQ(v.x, c.expected.x);
    EXPECT_EQ(v.y, c.expected.y);
    EXPECT_EQ(v.width, c.expected.width);
    EXPECT_EQ(v.height, c.expected.height);
  }
}

TEST(Viewport, ExactSixteenNinthsTakesTheTallBranch) {
  // 16:9 in float equals the constant, so the "otherwise" branch gives the full window
  // (its height recomputed as w / 1.7777778, which is exact here).
  Viewport v = letterboxViewport(1600, 900);
  EXPECT_EQ(v.x, 0);
  EXPECT_EQ(v.y, 0);
  EXPECT_EQ(v.width, 1600);
  EXPECT_EQ(v.height, 900);
}
