// An independent model of the text layout for bit-exact comparison: the segments a string
// should append, computed from the font tables step by step in the show's precisions
// (single-precision geometry, square root and ceiling in double rounded to float).
#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "support/line_capture.h"
#include "text/font.h"
#include "fx/lines.h"

namespace model {

using Piece = test::Segment;

struct Glyph {
  std::vector<Piece> pieces;
  float advance;
};

// Hue of a glyph whose pen stands at (x, z): (x + z) * 5 in float, truncated toward zero,
// reduced to -359..359 keeping the sign.
inline float glyphHue(float x, float z) {
  float sum = x + z;
  float product = sum * 5.0f;
  double truncated = std::trunc((double)product);
  double reduced = std::fmod(truncated, 360.0);  // fmod keeps the dividend's sign
  return (float)reduced;
}

inline Glyph glyph(int code, float x, float z, float scale, float brightness) {
  Glyph out{{}, 0.0f};
  if (code < 0) code += 256;  // the byte as unsigned: 128..255 are outside the font
  if (code < 32 || code > 127) return out;
  int g = code - 32;
  Rgb c = hsvToRgb(glyphHue(x, z), 0.2f, brightness);
  float h = brightness * 10.0f;
  for (int j = 0; j < glyphStrokeBytes[g] / 4; ++j) {
    const int8_t* s = &glyphStrokes[g][4 * j];
    float ax = (float)s[0] * scale + x, az = (float)s[1] * scale + z;
    float bx = (float)s[2] * scale + x, bz = (float)s[3] * scale + z;
    float ddx = bx - ax, ddz = bz - az;
    float sq = ddx * ddx + ddz * ddz;
    float len = (float)std::sqrt((double)sq);
    int m = 1;
    bool cut = !(len < 2.0f);
    if (cut) {
      float half = len * 0.5f;
      m = (int)(float)std::ceil((double)half);
    }
    if (!cut) {
      out.pieces.push_back({ax, az, bx, bz, h, c.r, c.g, c.b});
      continue;
    }
    float stepX = ddx / (float)m, stepZ = ddz / (float)m;
    std::vector<float> px{ax}, pz{az};
    for (int i = 0; i < m; ++i) {
      px.push_back(px.back() + stepX);
      pz.push_back(pz.back() + stepZ);
    }
    for (int i = 0; i < m; ++i) out.pieces.push_back({px[i], pz[i], px[i + 1], pz[i + 1], h, c.r, c.g, c.b});
  }
  float widths = (float)(glyphInkWidth[g] + glyphWidth[g]);
  out.advance = widths * 0.5f * scale;
  return out;
}

inline std::vector<Piece> text(const char* s, float x0, float z, float scale, float brightness) {
  std::vector<Piece> out;
  float x = x0;
  for (; *s; ++s) {
    Glyph g = glyph((signed char)*s, x, z, scale, brightness);
    out.insert(out.end(), g.pieces.begin(), g.pieces.end());
    x = x + g.advance;
  }
  return out;
}

// Compares the segments in `v` from segment `first` on with the model's pieces, bit for
// bit: the wall's foot, its height and the colour. Returns a description of the first
// mismatch, or "" when all agree.
inline std::string compare(const std::vector<test::LineVertex>& v, size_t first,
                           const std::vector<Piece>& pieces) {
  if (v.size() < 8 * (first + pieces.size())) return "buffer holds too few segments";
  std::vector<Piece> got;
  for (size_t i = first; i < first + pieces.size(); ++i) {
    const test::LineVertex* s = &v[8 * i];
    got.push_back({s[0].x, s[0].z, s[1].x, s[1].z, s[2].y, s[0].r, s[0].g, s[0].b});
  }
  return test::firstDifference(got, pieces);
}

}  // namespace model
