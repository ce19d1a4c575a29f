// drawGlyph and drawText: the pieces, colours, wall heights and advances they append,
// against worked numbers and, bit for bit, against an independent model.
#include <gtest/gtest.h>

#include <cmath>

#include "fx/lines.h"
#include "text/layout.h"
#include "support/cpu_show.h"
#include "support/line_capture.h"
#include "unit/text_model.h"

using test::LineVertex;

namespace {

// Glyphs and texts appended to the test show's batch.
float drawGlyph(char code, float x, float z, float scale, float brightness) {
  return ::drawGlyph(test::lines(), code, x, z, scale, brightness);
}
void drawText(const char* text, float x0, float z, float scale, float brightness) {
  ::drawText(test::lines(), text, x0, z, scale, brightness);
}

// What one glyph appends to an empty buffer, and its advance in *advance.
std::vector<LineVertex> glyph(char code, float x, float z, float scale, float brightness,
                              float* advance = nullptr) {
  test::freshLineBuffer();
  float a = drawGlyph(code, x, z, scale, brightness);
  if (advance) *advance = a;
  return test::capturedLineVertices();
}

// What a string appends to an empty buffer.
std::vector<LineVertex> text(const char* s, float x, float z, float scale, float brightness) {
  test::freshLineBuffer();
  drawText(s, x, z, scale, brightness);
  return test::capturedLineVertices();
}

// The first segment of each glyph, found where the colour changes.
std::vector<int> glyphStarts(const std::vector<LineVertex>& v) {
  std::vector<int> starts{0};
  for (size_t i = 1; i < v.size() / 8; ++i)
    if (v[8 * i].b != v[8 * (i - 1)].b) starts.push_back((int)i);
  return starts;
}

// Length of segment i, in double.
double pieceLength(const std::vector<LineVertex>& v, size_t i) {
  double dx = (double)v[8 * i + 1].x - v[8 * i].x, dz = (double)v[8 * i + 1].z - v[8 * i].z;
  return std::sqrt(dx * dx + dz * dz);
}

}  // namespace

TEST(Glyph, StrokesUnderTwoStayWholeLongerOnesAreCut) {
  // The bar is one stroke from row 0 to row 32; the scale sets its length.
  const struct {
    float length;
    std::vector<float> ends;  // z of each piece's start and end
  } cases[] = {{1.9f, {0.0f, 1.9f}}, {2.0f, {0.0f, 2.0f}}, {2.5f, {0.0f, 1.25f, 1.25f, 2.5f}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "length " << c.length);
    std::vector<LineVertex> v = glyph('|', 0.0f, 0.0f, c.length / 32.0f, 1.0f);
    ASSERT_EQ(v.size(), 8 * (c.ends.size() / 2));
    for (size_t k = 0; k < c.ends.size(); ++k) EXPECT_EQ(v[8 * (k / 2) + k % 2].z, c.ends[k]) << k;
  }
}

TEST(Glyph, CapitalStemIsElevenPiecesByRepeatedAddition) {
  float advance = 0;
  std::vector<LineVertex> v = glyph('I', 0.0f, 0.0f, 1.0f, 1.0f, &advance);
  EXPECT_EQ(advance, 4.0f);
  ASSERT_EQ(v.size(), 8u * 11);
  // Each piece starts where the previous one ended; the ends are running float sums.
  float step = 21.0f / 11.0f;
  float z = 4.0f;
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(v[8 * i].x, 0.0f);
    EXPECT_EQ(v[8 * i].z, z) << i;
    z += step;
    EXPECT_EQ(v[8 * i + 1].z, z) << i;
    EXPECT_LE(pieceLength(v, i), 2.0);
  }
  EXPECT_NEAR(z, 25.0f, 1e-5);
}

TEST(Glyph, NoPieceIsLongerThanTwoUnits) {
  for (float scale : {0.75f, 0.8f, 1.0f, 1.25f, 3.0f}) {
    for (int code = 32; code < 128; ++code) {
      std::vector<LineVertex> v = glyph((char)code, -17.25f, 3.5f, scale, 1.0f);
      for (size_t i = 0; i < v.size() / 8; ++i) EXPECT_LE(pieceLength(v, i), 2.0 + 1e-5) << code;
    }
  }
}

TEST(Glyph, HueFollowsThePenPosition) {
  // x + z = 10: hue 50; -20: hue -100; -60: hue -300; 75.5: 377 truncated, hue 17.
  const struct {
    float x, z;
    float r, g, b;
  } cases[] = {{10, 0, 1, 0.96667f, 0.8f},     {-30, 10, 1, 0.8f, 0.93333f},
               {-40, -20, 1, 0.8f, 1},         {75.5f, 0, 1, 0.85667f, 0.8f},
               {-65, 20, 1, 0.8f, 0.95f},      {-48, 20, 1, 0.8f, 0.86667f},
               {-33, 20, 1, 0.8f, 0.81667f}};
  for (const auto& c : cases) {
    std::vector<LineVertex> v = glyph('A', c.x, c.z, 1.0f, 1.0f);
    ASSERT_FALSE(v.empty());
    for (size_t i = 0; i < v.size(); i += 8) {
      EXPECT_NEAR(v[i].r, c.r, 1e-5) << c.x + c.z;
      EXPECT_NEAR(v[i].g, c.g, 1e-5) << c.x + c.z;
      EXPECT_NEAR(v[i].b, c.b, 1e-5) << c.x + c.z;
    }
  }
}

TEST(Glyph, HueIsTruncatedTowardZero) {
  // -0.19 * 5 = -0.95 truncates to 0, not -1; 0.39 * 5 truncates to 1.
  Rgb zero = hsvToRgb(0.0f, 0.2f, 1.0f), one = hsvToRgb(1.0f, 0.2f, 1.0f);
  std::vector<LineVertex> v = glyph('I', -0.19f, 0.0f, 1.0f, 1.0f);
  EXPECT_EQ(v[0].g, zero.g);
  EXPECT_EQ(v[0].b, zero.b);
  EXPECT_EQ(glyph('I', 0.39f, 0.0f, 1.0f, 1.0f)[0].g, one.g);
}

TEST(Glyph, BrightnessSetsColourValueAndWallHeight) {
  size_t bright = glyph('A', 0.0f, 0.0f, 1.0f, 1.0f).size();
  std::vector<LineVertex> dark = glyph('A', 0.0f, 0.0f, 1.0f, 0.0f);
  // Still appended in full: they count for capacity and for the reveal.
  ASSERT_EQ(dark.size(), bright);
  for (const LineVertex& v : dark) {
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_EQ(v.r + v.g + v.b, 0.0f);
  }
  std::vector<LineVertex> v = glyph('A', 0.0f, 0.0f, 1.0f, 0.5f);
  for (size_t i = 0; i < v.size(); i += 8) {
    EXPECT_EQ(v[i + 2].y, 5.0f);
    EXPECT_EQ(v[i + 3].y, 5.0f);
    EXPECT_EQ(v[i].r, 0.5f);  // hue 0: (v, p, p)
    EXPECT_EQ(v[i].g, 0.4f);
  }
}

TEST(Glyph, SpaceIsOneZeroLengthSegment) {
  float advance = 0;
  std::vector<LineVertex> v = glyph(' ', 3.0f, 4.0f, 0.5f, 1.0f, &advance);
  EXPECT_EQ(advance, 8.0f);
  ASSERT_EQ(v.size(), 8u);
  for (const LineVertex& p : v) {
    EXPECT_EQ(p.x, 3.0f);
    EXPECT_EQ(p.z, 12.0f);
  }
}

TEST(Glyph, Advances) {
  const struct {
    char code;
    float scale, advance;
  } cases[] = {{'A', 1.0f, 17.0f}, {'m', 1.0f, 26.0f}, {'l', 1.0f, 4.0f},  {'|', 1.0f, 4.0f},
               {127, 1.0f, 16.0f}, {' ', 1.0f, 16.0f}, {'A', 0.5f, 8.5f}};
  test::freshLineBuffer();
  for (const auto& c : cases)
    EXPECT_EQ(drawGlyph(c.code, 0, 0, c.scale, 1.0f), c.advance) << (int)c.code << " at " << c.scale;
}

TEST(Glyph, SolidBlockFillsItsBox) {
  std::vector<LineVertex> v = glyph(127, 0.0f, 0.0f, 1.0f, 1.0f);
  // 17 columns of 21 rows, cut into 11 pieces each, and 16 unit steps between them.
  EXPECT_EQ(v.size(), 8u * (17 * 11 + 16));
  float minX = 1e9f, maxX = -1e9f, minZ = 1e9f, maxZ = -1e9f;
  for (const LineVertex& p : v) {
    if (p.y != 0.0f) continue;
    minX = std::fmin(minX, p.x), maxX = std::fmax(maxX, p.x);
    minZ = std::fmin(minZ, p.z), maxZ = std::fmax(maxZ, p.z);
  }
  // The ribbons stick out a quarter unit on either side.
  EXPECT_NEAR(minX, -0.25f, 1e-5);
  EXPECT_NEAR(maxX, 16.25f, 1e-5);
  EXPECT_NEAR(minZ, 4.0f - 0.25f, 1e-4);
  EXPECT_NEAR(maxZ, 25.0f + 0.25f, 1e-4);
}

TEST(Glyph, CodesOutsideTheFontAreSkipped) {
  for (int code : {0, 1, 31, 128, 200, 255, -1, -128}) {
    float advance = 1;
    glyph((char)code, 1.0f, 2.0f, 1.0f, 1.0f, &advance);
    EXPECT_EQ(advance, 0.0f) << code;
    EXPECT_EQ(test::lines().vertexCount, 0) << code;
  }
  // Whole segments compared bit for bit: every vertex is made from them.
  test::freshLineBuffer();
  drawText("A\x80\xe9\x1f\xff" "B", -10.0f, 5.0f, 1.0f, 1.0f);
  std::vector<test::Segment> withJunk = test::capturedSegments();
  test::freshLineBuffer();
  drawText("AB", -10.0f, 5.0f, 1.0f, 1.0f);
  EXPECT_EQ(test::firstDifference(withJunk, test::capturedSegments()), "");
}

TEST(Text, YetAtScaleOne) {
  // A bar after the word shows where the pen ended: it stands at the pen.
  std::vector<LineVertex> v = text("Yet|", -65.0f, 20.0f, 1.0f, 1.0f);
  // Y at -65, e at -48, t at -33 (its first stroke is on column 3), the bar at -23.
  std::vector<int> starts = glyphStarts(v);
  ASSERT_EQ(starts.size(), 4u);
  // Hues -225, -140, -65 and -15: the last branch, blue = 1 - f * 0.2 with f the hue/60 - floor.
  const float x[4] = {-65.0f, -48.0f, -30.0f, -23.0f}, blue[4] = {0.95f, 0.86667f, 0.81667f, 0.85f};
  for (int k = 0; k < 4; ++k) {
    const LineVertex& first = v[8 * starts[k]];
    EXPECT_EQ(first.x, x[k]) << k;
    EXPECT_EQ(first.r, 1.0f);
    EXPECT_NEAR(first.g, 0.8f, 1e-6);
    EXPECT_NEAR(first.b, blue[k], 1e-5) << k;
  }
}

TEST(Text, YetAtScaleFourFifths) {
  std::vector<LineVertex> v = text("Yet|", -65.0f, 20.0f, 0.8f, 1.0f);
  std::vector<int> starts = glyphStarts(v);
  ASSERT_EQ(starts.size(), 4u);
  const float x[4] = {-65.0f, -51.4f, -39.4f + 3 * 0.8f, -39.4f + 8.0f};
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(v[8 * starts[k]].x, x[k], 1e-5) << k;
}

TEST(Text, StringsStartAtTheirOwnX) {
  test::freshLineBuffer();
  drawText("I", 7.0f, 0.0f, 1.0f, 1.0f);
  drawText("I", 7.0f, 30.0f, 1.0f, 1.0f);
  std::vector<LineVertex> v = test::capturedLineVertices();
  ASSERT_EQ(v.size(), 8u * 22);
  EXPECT_EQ(v[0].x, 7.0f);
  EXPECT_EQ(v[8 * 11].x, 7.0f);
  EXPECT_EQ(v[8 * 11].z, 34.0f);
}

TEST(Text, StemOfEightUnitsIsFourPiecesNotFive) {
  // In "of the year.." at scale 0.8 the right stem of "h" (rows 15 to 25) runs from
  // z = 42 to z = 50 exactly in float, so it is cut into 4 pieces; a real 10 x 0.8 would
  // be a hair longer than 8 and need 5.
  float pen = -60.0f;
  for (char c : std::string("of t")) pen += (float)(glyphInkWidth[c - 32] + glyphWidth[c - 32]) * 0.5f * 0.8f;
  std::vector<LineVertex> v = glyph('h', pen, 30.0f, 0.8f, 1.0f);
  // Stem 9, then the arch 2 + 1 + 2 + 1 + 2, then the right stem.
  ASSERT_EQ(v.size(), 8u * 21);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(v[8 * (17 + i)].z, 42.0f + 2.0f * (float)i);
    EXPECT_EQ(v[8 * (17 + i) + 1].z, 44.0f + 2.0f * (float)i);
  }

  test::freshLineBuffer();
  drawText("First release", -60.0f, 0.0f, 0.8f, 1.0f);
  drawText("of the year..", -60.0f, 30.0f, 0.8f, 1.0f);
  EXPECT_EQ(test::lines().vertexCount, 8 * 434);
}

TEST(Text, EveryGlyphMatchesTheModelBitForBit) {
  const struct {
    float x, z, scale, brightness;
  } pens[] = {{-65.0f, 20.0f, 1.0f, 1.0f},     {-60.0f, 30.0f, 0.8f, 0.5f},
              {13.37f, -41.2f, 0.75f, 0.25f},  {-101.7f, 60.0f, 1.25f, 0.001f},
              {0.0f, 0.0f, 0.9f, 0.0f},        {-72.0f, 0.5f, 3.0f, 0.9f}};
  for (const auto& p : pens) {
    for (int code = 32; code < 128; ++code) {
      float advance = 0;
      std::vector<LineVertex> v = glyph((char)code, p.x, p.z, p.scale, p.brightness, &advance);
      model::Glyph expected = model::glyph(code, p.x, p.z, p.scale, p.brightness);
      EXPECT_TRUE(test::sameBits(advance, expected.advance)) << code;
      ASSERT_EQ(v.size(), 8 * expected.pieces.size()) << code;
      EXPECT_EQ(model::compare(v, 0, expected.pieces), "") << code;
    }
  }
}

TEST(Text, ShowTextsMatchTheModelBitForBit) {
  const struct {
    const char* text;
    float x, z, scale;
  } lines[] = {{"Yet again..", -65.0f, 20.0f, 1.0f},   {"First release", -60.0f, 0.0f, 0.8f},
               {"of the year..", -60.0f, 30.0f, 0.8f}, {"pUoVERLaqGeko", -60.0f, 30.0f, 0.75f},
               {"zOOv 2020!", -60.0f, 30.0f, 0.9f},    {"is dead", -60.0f, 30.0f, 1.25f},
               {"1.1.2020", -60.0f, 60.0f, 1.0f},      {"Let's do the", -60.0f, 0.0f, 0.8f}};
  for (float brightness : {1.0f, 0.5f, 0.0123f}) {
    for (const auto& l : lines) {
      std::vector<LineVertex> v = text(l.text, l.x, l.z, l.scale, brightness);
      std::vector<model::Piece> expected = model::text(l.text, l.x, l.z, l.scale, brightness);
      ASSERT_EQ(v.size(), 8 * expected.size()) << l.text;
      EXPECT_EQ(model::compare(v, 0, expected), "") << l.text;
    }
  }
}
