// The glowing line segment (wall, ribbon, capacity) and the HSV colour rule every line
// of the show goes through.
#include <gtest/gtest.h>

#include <cmath>

#include "fx/lines.h"
#include "show/meshes.h"
#include "support/cpu_show.h"
#include "support/line_capture.h"

using test::LineVertex;

namespace {

// The segment appended to the test show's batch, as the texts and figures append it.
void addLineSegment(float x1, float z1, float x2, float z2, float h, float r, float g, float b) {
  ::addLineSegment(test::lines(), x1, z1, x2, z2, h, r, g, b);
}

void expectVertex(const LineVertex& v, float x, float y, float z, float r, float g, float b) {
  const float got[6] = {v.x, v.y, v.z, v.r, v.g, v.b}, want[6] = {x, y, z, r, g, b};
  for (int k = 0; k < 6; ++k)
    EXPECT_TRUE(test::sameBits(got[k], want[k])) << "xyzrgb"[k] << ": " << got[k] << " vs " << want[k];
  EXPECT_EQ(v.a, 1.0f);
}

void expectColour(Rgb c, double r, double g, double b, double tolerance) {
  EXPECT_NEAR(c.r, r, tolerance);
  EXPECT_NEAR(c.g, g, tolerance);
  EXPECT_NEAR(c.b, b, tolerance);
}

// Textbook HSV for hues in [0, 360), in double, to check the float version against.
void referenceHsv(double hue, double s, double v, double out[3]) {
  double h = hue / 60.0;
  int i = (int)std::floor(h);
  double f = h - i;
  double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  const double table[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
  for (int k = 0; k < 3; ++k) out[k] = table[i % 6][k];
}

}  // namespace

TEST(LineSegment, WallAndRibbonAlongX) {
  test::freshLineBuffer();
  addLineSegment(0.0f, 0.0f, 10.0f, 0.0f, 3.0f, 0.25f, 0.5f, 0.75f);
  ASSERT_EQ(test::lines().vertexCount, 8);
  ASSERT_EQ(test::lines().indexCount, 12);
  std::vector<LineVertex> v = test::capturedLineVertices();
  // The wall: coloured along the ground, black at the top.
  expectVertex(v[0], 0, 0, 0, 0.25f, 0.5f, 0.75f);
  expectVertex(v[1], 10, 0, 0, 0.25f, 0.5f, 0.75f);
  expectVertex(v[2], 0, 3, 0, 0, 0, 0);
  expectVertex(v[3], 10, 3, 0, 0, 0, 0);
  // The ribbon, half a unit wide: 4 and 5 on the +z side, 6 and 7 on the -z side.
  expectVertex(v[4], 0, 0, 0.25f, 0.25f, 0.5f, 0.75f);
  expectVertex(v[5], 10, 0, 0.25f, 0.25f, 0.5f, 0.75f);
  expectVertex(v[6], 0, 0, -0.25f, 0.25f, 0.5f, 0.75f);
  expectVertex(v[7], 10, 0, -0.25f, 0.25f, 0.5f, 0.75f);
}

TEST(LineSegment, RibbonAlongZIsOffsetInX) {
  test::freshLineBuffer();
  addLineSegment(2.0f, 1.0f, 2.0f, -7.0f, 1.0f, 1, 1, 1);
  std::vector<LineVertex> v = test::capturedLineVertices();
  // dz = -8, so the offset is (-0.25, 0): 4 and 5 at x + 0.25, 6 and 7 at x - 0.25.
  expectVertex(v[4], 2.25f, 0, 1, 1, 1, 1);
  expectVertex(v[5], 2.25f, 0, -7, 1, 1, 1);
  expectVertex(v[6], 1.75f, 0, 1, 1, 1, 1);
  expectVertex(v[7], 1.75f, 0, -7, 1, 1, 1);
}

TEST(LineSegment, DiagonalRibbonIsPerpendicularAndHalfAUnitWide) {
  test::freshLineBuffer();
  const float x1 = -3.5f, z1 = 1.25f, x2 = 4.0f, z2 = 9.0f;
  addLineSegment(x1, z1, x2, z2, 2.0f, 0.1f, 0.2f, 0.3f);
  std::vector<LineVertex> v = test::capturedLineVertices();
  ASSERT_EQ(v.size(), 8u);
  double dx = x2 - x1, dz = z2 - z1, len = std::sqrt(dx * dx + dz * dz);
  double px = dz / len * 0.25, pz = -dx / len * 0.25;
  const double ex[8] = {x1, x2, x1, x2, x1 - px, x2 - px, x1 + px, x2 + px};
  const double ez[8] = {z1, z2, z1, z2, z1 - pz, z2 - pz, z1 + pz, z2 + pz};
  const double ey[8] = {0, 0, 2, 2, 0, 0, 0, 0};
  for (int i = 0; i < 8; ++i) {
    EXPECT_NEAR(v[i].x, ex[i], 1e-5) << i;
    EXPECT_NEAR(v[i].y, ey[i], 0.0) << i;
    EXPECT_NEAR(v[i].z, ez[i], 1e-5) << i;
  }
  // Ribbon width 0.5 across the segment, no extent along it.
  double wx = v[4].x - v[6].x, wz = v[4].z - v[6].z;
  EXPECT_NEAR(std::sqrt(wx * wx + wz * wz), 0.5, 1e-6);
  EXPECT_NEAR(wx * dx + wz * dz, 0.0, 1e-5);
}

TEST(LineSegment, ZeroLengthAppendsEightVerticesOnOnePoint) {
  test::freshLineBuffer();
  addLineSegment(5.0f, -6.0f, 5.0f, -6.0f, 0.0f, 1, 0.5f, 0);
  ASSERT_EQ(test::lines().vertexCount, 8);
  for (const LineVertex& v : test::capturedLineVertices()) {
    EXPECT_FALSE(std::isnan(v.x) || std::isnan(v.z));
    EXPECT_EQ(v.x, 5.0f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_EQ(v.z, -6.0f);
  }
}

TEST(LineSegment, AppendsAfterTheCursorAndKeepsTheInvariants) {
  test::freshLineBuffer();
  for (int i = 0; i < 5; ++i) addLineSegment((float)i, 0, (float)i + 1, 1, 1, 1, 1, 1);
  EXPECT_EQ(test::lines().vertexCount, 40);
  EXPECT_EQ(test::lines().indexCount, 60);
  std::vector<LineVertex> v = test::capturedLineVertices();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(v[8 * i].x, (float)i);
  // The index array was written once at set-up: quad k is 4k, 4k+1, 4k+2, 4k+1, 4k+2, 4k+3.
  for (int k = 0; k < 20000; k += 9999) {
    const unsigned offsets[6] = {0, 1, 2, 1, 2, 3};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(test::cpuShow().lineBuffer->indices[6 * k + i], 4u * k + offsets[i]) << k;
  }
}

TEST(LineSegment, CapacityAcceptsTheTenThousandthAndDropsTheNext) {
  test::freshLineBuffer();
  for (int i = 0; i < 9999; ++i) addLineSegment(0, 0, 1, 0, 1, 1, 1, 1);
  ASSERT_EQ(test::lines().vertexCount, 79992);
  ASSERT_EQ(test::lines().indexCount, 119988);

  addLineSegment(7, 8, 9, 10, 2, 0.5f, 0.5f, 0.5f);
  EXPECT_EQ(test::lines().vertexCount, LINE_BUFFER_VERTICES);
  EXPECT_EQ(test::lines().indexCount, LINE_BUFFER_INDICES);

  addLineSegment(-1, -2, -3, -4, 5, 0.9f, 0.9f, 0.9f);
  addLineSegment(-1, -2, -3, -4, 5, 0.9f, 0.9f, 0.9f);
  EXPECT_EQ(test::lines().vertexCount, LINE_BUFFER_VERTICES);
  EXPECT_EQ(test::lines().indexCount, LINE_BUFFER_INDICES);
  // The last accepted segment is intact; the dropped ones wrote nothing.
  std::vector<LineVertex> v = test::capturedLineVertices();
  expectVertex(v[79992], 7, 0, 8, 0.5f, 0.5f, 0.5f);
  expectVertex(v[79993], 9, 0, 10, 0.5f, 0.5f, 0.5f);
  expectVertex(v[79995], 9, 2, 10, 0, 0, 0);
}

TEST(Hsv, NoSaturationIsGreyForAnyHue) {
  for (float hue : {-500.0f, -100.0f, 0.0f, 17.0f, 359.0f, 360.0f, 1000.0f}) {
    for (float s : {0.0f, -0.0f, -0.5f}) expectColour(hsvToRgb(hue, s, 0.37f), 0.37f, 0.37f, 0.37f, 0.0);
  }
}

TEST(Hsv, Hue360IsHueZero) {
  Rgb a = hsvToRgb(360.0f, 0.6f, 0.9f);
  Rgb b = hsvToRgb(0.0f, 0.6f, 0.9f);
  EXPECT_TRUE(test::sameBits(a.r, b.r));
  EXPECT_TRUE(test::sameBits(a.g, b.g));
  EXPECT_TRUE(test::sameBits(a.b, b.b));
}

// Worked values: the primaries and secondaries, text hues (saturation 0.2) and hues below
// -60, which take the last branch with the hue's own fraction from floor, not the colour
// of the wrapped hue. Red, the value in all of these, must be exact; green and blue within
// the row's tolerance.
TEST(Hsv, WorkedExamples) {
  const struct {
    float hue, s, v;
    float r, g, b, tolerance;
  } cases[] = {
      {0, 1, 1, 1, 0, 0, 0},          {60, 1, 1, 1, 1, 0, 0},
      {120, 1, 1, 0, 1, 0, 0},        {180, 1, 1, 0, 1, 1, 0},
      {240, 1, 1, 0, 0, 1, 0},        {300, 1, 1, 1, 0, 1, 0},
      {360, 0.6f, 0.9f, 0.9f, 0.36f, 0.36f, 1e-6f},
      {50, 0.2f, 1, 1, 0.96667f, 0.8f, 1e-5f},
      {-100, 0.2f, 1, 1, 0.8f, 0.93333f, 1e-5f},
      {-300, 0.2f, 1, 1, 0.8f, 1, 1e-6f},
      {-330, 0.5f, 1, 1, 0.5f, 0.75f, 0},  // h = -5.5, f = 0.5: (v, p, q)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "hue " << c.hue << " s " << c.s << " v " << c.v);
    Rgb got = hsvToRgb(c.hue, c.s, c.v);
    EXPECT_EQ(got.r, c.r);
    EXPECT_NEAR(got.g, c.g, c.tolerance);
    EXPECT_NEAR(got.b, c.b, c.tolerance);
  }
  EXPECT_EQ(hsvToRgb(-300.0f, 0.2f, 1.0f).b, 1.0f);
}

TEST(Hsv, MatchesTheTextbookConversionOverTheCircle) {
  for (int tenth = 0; tenth < 3600; tenth += 7) {
    float hue = (float)tenth / 10.0f;
    for (float s : {0.1f, 0.2f, 0.75f, 1.0f}) {
      double ref[3];
      referenceHsv(hue, s, 0.8, ref);
      SCOPED_TRACE(testing::Message() << "hue " << hue << " s " << s);
      expectColour(hsvToRgb(hue, s, 0.8f), ref[0], ref[1], ref[2], 2e-6);
    }
  }
}

TEST(Hsv, NegativeHuesAreNotWrapped) {
  // Below -60 the last branch is taken with the hue's own fraction: not the colour of
  // the wrapped hue.
  Rgb neg = hsvToRgb(-100.0f, 0.2f, 1.0f);
  Rgb wrapped = hsvToRgb(260.0f, 0.2f, 1.0f);
  EXPECT_GT(std::fabs(neg.r - wrapped.r) + std::fabs(neg.g - wrapped.g), 0.1f);
  // From -60 up to 0 the last branch is the wrapped colour anyway.
  for (float hue : {-60.0f, -45.5f, -30.0f, -0.5f}) {
    SCOPED_TRACE(testing::Message() << "hue " << hue);
    Rgb wrapped = hsvToRgb(hue + 360.0f, 0.2f, 0.9f);
    expectColour(hsvToRgb(hue, 0.2f, 0.9f), wrapped.r, wrapped.g, wrapped.b, 1e-5);
  }
}
