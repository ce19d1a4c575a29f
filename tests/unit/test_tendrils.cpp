// The floor tendrils: always 4000 segments, the reveal and envelope over the period, the
// strands' geometry and hues, and the whole figure bit for bit against its step list.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fx/lines.h"
#include "fx/tendrils.h"
#include "fx/well512.h"
#include "support/cpu_show.h"
#include "support/line_capture.h"
#include "support/well512_ref.h"

using test::RefWell;
using test::Segment;

namespace {

// The tendrils drawn as the script draws them, with the test show's generator and shape.
Well512& figureRng = test::cpuShow().figureRng;
void drawTendrils(int32_t seed, int32_t now) {
  ::drawTendrils(test::lines(), figureRng, test::cpuShow().tendrilShape, seed, now);
}

const double PI = 3.14159265358979323846;

std::vector<Segment> drawn(int32_t seed, int32_t now) {
  test::freshLineBuffer();
  drawTendrils(seed, now);
  return test::capturedSegments();
}

bool isLit(const Segment& s) { return s.r != 0.0f || s.g != 0.0f || s.b != 0.0f; }

int litCount(const std::vector<Segment>& segs) {
  int n = 0;
  for (const Segment& s : segs) n += isLit(s);
  return n;
}

// The figure from its step list, each rounding spelled out.
std::vector<Segment> reference(int32_t seed, int32_t now) {
  RefWell r(seed);
  float start = (float)(r.gen() & 1023u);
  int visible = ((now % 4000) * 200) / 4000;
  float a = (float)now / 4000.0f;
  double s = std::sin((double)a * PI);
  float absS = (float)std::fabs(s);
  float E = (float)std::pow((double)absS, 0.25);
  float height = E * 10.0f;
  int hueBase = (now / 60) * 360;
  std::vector<Segment> out;
  for (int j = 0; j < 20; ++j) {
    float angle = start;
    int hueAcc = hueBase;
    for (int k = 0; k < 200; ++k) {
      int c = 240 + 120 * k;
      float r0 = (float)((c - 120) / 200);
      float r1 = (float)(c / 200);
      double S = (double)angle;
      double turn = (double)(r.gen() & 1023u) / 12800.0;
      float theta = (float)(S + turn);
      float root = (float)std::pow((double)((float)k / 200.0f), 0.5);
      float v = root * (k < visible ? 1.0f : 0.0f);
      v = v * E;
      Rgb col = hsvToRgb((float)((hueAcc / 200) % 360), 0.1f, v);
      out.push_back({r0 * (float)std::sin(S), r0 * (float)std::cos(S), r1 * (float)std::sin((double)theta),
                     r1 * (float)std::cos((double)theta), height, col.r, col.g, col.b});
      angle = theta;
      hueAcc += 360;
    }
    if (j == 9) start = angle;
  }
  return out;
}

}  // namespace

TEST(Tendrils, AlwaysFourThousandSegments) {
  for (int32_t now : {0, 1, 1999, 2000, 3999, 4000, 6000, 7999, 123456, 2000000}) {
    std::vector<Segment> segs = drawn((now / 4000) / 2, now);
    EXPECT_EQ(segs.size(), 4000u) << now;
    EXPECT_EQ(test::lines().indexCount, 4000 * 12);
  }
}

TEST(Tendrils, NothingLitAtPeriodStarts) {
  // At tick 0 the envelope is exactly 0. At later multiples of 4000 the double sine of m pi
  // is about 1.2e-16 m, whose fourth root leaves walls about 0.001 high: flat to the eye.
  std::vector<Segment> first = drawn(0, 0);
  EXPECT_EQ(litCount(first), 0);
  for (const Segment& s : first) ASSERT_EQ(s.h, 0.0f);
  for (int m : {1, 2, 5, 40, 1000}) {
    std::vector<Segment> segs = drawn(m / 2, 4000 * m);
    EXPECT_EQ(segs.size(), 4000u);
    EXPECT_EQ(litCount(segs), 0) << "m " << m;
    EXPECT_LT(segs[0].h, 0.01f) << "m " << m;
    EXPECT_GE(segs[0].h, 0.0f);
  }
  EXPECT_NEAR(drawn(0, 4000)[0].h, 10.0 * std::pow(1.2246e-16, 0.25), 1e-4);
}

TEST(Tendrils, HalfwayIsFullyBrightAndHalfRevealed) {
  for (int m : {0, 1, 7, 300}) {
    std::vector<Segment> segs = drawn(m / 2, 4000 * m + 2000);
    // Segments 0..99 of each strand are revealed; the innermost has value sqrt(0) = 0.
    EXPECT_EQ(litCount(segs), 20 * 99) << "m " << m;
    for (const Segment& s : segs) ASSERT_EQ(s.h, 10.0f);
    for (int j = 0; j < 20; ++j) {
      EXPECT_FALSE(isLit(segs[200 * j]));
      EXPECT_TRUE(isLit(segs[200 * j + 1]));
      EXPECT_TRUE(isLit(segs[200 * j + 99]));
      EXPECT_FALSE(isLit(segs[200 * j + 100]));
    }
  }
}

TEST(Tendrils, RevealGrowsOneSegmentPerTwentyMs) {
  for (int ms : {20, 40, 500, 1020, 3000, 3980, 3999}) {
    int visible = ms / 20;
    EXPECT_EQ(litCount(drawn(2, 16000 + ms)), 20 * (visible - 1)) << ms;
  }
  EXPECT_EQ(litCount(drawn(2, 16019)), 0);
}

TEST(Tendrils, StrandGeometry) {
  std::vector<Segment> segs = drawn(3, 26000);
  RefWell r(3);
  float start = (float)(r.gen() & 1023u);
  for (int j = 0; j < 20; ++j) {
    const Segment* strand = &segs[200 * j];
    // From the origin, outwards in whole units, ending at radius 120.
    EXPECT_EQ(strand[0].x1, 0.0f);
    EXPECT_EQ(strand[0].z1, 0.0f);
    for (int k = 0; k < 200; ++k) {
      int c = 240 + 120 * k;
      EXPECT_NEAR(std::hypot(strand[k].x1, strand[k].z1), (c - 120) / 200, 1e-4);
      EXPECT_NEAR(std::hypot(strand[k].x2, strand[k].z2), c / 200, 1e-4);
      if (k > 0) {
        // A polyline: each segment starts where the last one ended.
        ASSERT_EQ(strand[k].x1, strand[k - 1].x2);
        ASSERT_EQ(strand[k].z1, strand[k - 1].z2);
      }
    }
    EXPECT_NEAR(std::hypot(strand[199].x2, strand[199].z2), 120.0, 1e-4);
    // The first vertex turns from the strand's start angle by the first word / 12800.
    double turn = (double)(r.gen() & 1023u) / 12800.0;
    float theta = (float)((double)start + turn);
    EXPECT_NEAR(strand[0].x2, std::sin(theta), 1e-5) << "strand " << j;
    EXPECT_NEAR(strand[0].z2, std::cos(theta), 1e-5) << "strand " << j;
    // The angle is kept as a float between steps; near 1000 rad that is 6e-5 a step.
    float angle = (float)theta;
    for (int k = 1; k < 200; ++k) angle = (float)((double)angle + (double)(r.gen() & 1023u) / 12800.0);
    // Strands 10..19 start where strand 9 ended.
    if (j == 9) start = angle;
  }
}

TEST(Tendrils, HueRunsRoundTheStrandAndTurnsWithTime) {
  // Along a strand the hue climbs 1.8 degrees a segment from a base that steps by 360 / 200
  // every 60 ms; the value is sqrt(k / 200) under the envelope.
  for (int32_t now : {2000, 2039, 2040, 2420, 3333}) {
    std::vector<Segment> segs = drawn(0, now);
    int base = (now / 60) * 360;
    double E = std::pow(std::fabs(std::sin(PI * now / 4000.0)), 0.25);
    for (int k : {1, 10, 50, 99}) {
      int hue = ((base + 360 * k) / 200) % 360;
      Rgb want = hsvToRgb((float)hue, 0.1f, (float)(std::sqrt(k / 200.0) * E));
      for (int j : {0, 13}) {
        EXPECT_NEAR(segs[200 * j + k].r, want.r, 1e-6) << now << " " << k;
        EXPECT_NEAR(segs[200 * j + k].g, want.g, 1e-6) << now << " " << k;
        EXPECT_NEAR(segs[200 * j + k].b, want.b, 1e-6) << now << " " << k;
      }
    }
  }
}

TEST(Tendrils, BitExactAgainstTheStepList) {
  const int32_t cases[][2] = {{0, 0}, {0, 4100}, {1, 13333}, {12, 99999}, {250, 2002000}, {7, 61999}};
  for (const auto& c : cases)
    EXPECT_EQ(test::firstDifference(drawn(c[0], c[1]), reference(c[0], c[1])), "") << "now " << c[1];
}

TEST(Tendrils, FillsWhatIsLeftOfAFullBuffer) {
  drawn(0, 0);
  test::lines().vertexCount = 80000 - 8 * 100;
  test::lines().indexCount = test::lines().vertexCount / 8 * 12;
  drawTendrils(1, 5000);
  EXPECT_EQ(test::lines().vertexCount, 80000);
  EXPECT_EQ(test::lines().indexCount, 120000);
}

TEST(Tendrils, RepeatedAndAlternatingSeedsDrawTheSameAsAFreshWalk) {
  // A seed holds for a whole period of frames; nothing kept between calls may show, and
  // figureRng ends 4001 words after seeding every time.
  const int32_t cases[][2] = {{9, 76000}, {9, 76016}, {10, 84000}, {9, 79990}, {9, 79990}, {0, 5000}, {10, 86000}};
  for (const auto& c : cases) {
    figureRng.seed(12345);
    figureRng.next();
    EXPECT_EQ(test::firstDifference(drawn(c[0], c[1]), reference(c[0], c[1])), "") << "now " << c[1];
    RefWell after(c[0]);
    after.skip(1 + 4000);
    EXPECT_TRUE(test::sameState(figureRng, after)) << "now " << c[1];
  }
}
