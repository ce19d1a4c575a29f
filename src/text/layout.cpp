// Text layout: one stroke-font glyph at a time into the line batch, pale-tinted by its pen
// position, long strokes cut into short pieces so the write-on reveal advances smoothly.
#include "text/layout.h"

#include <cmath>

#include "fx/math.h"
#include "text/font.h"

float drawGlyph(LineBatch& lines, char code, float x, float z, float scale, float brightness) {
  // Taken as signed on every platform: bytes of 128 and above come out negative.
  int gi = (int)(signed char)code - GLYPH_FIRST_CODE;
  // Anything the font does not cover is skipped without moving the pen.
  if (gi < 0 || gi >= GLYPH_COUNT) return 0.0f;

  int n = glyphStrokeBytes[gi] / 4;
  if (n > 0) {
    // The tint follows the pen: truncated toward zero, and a negative position keeps a
    // negative hue (hsvToRgb has its own rule for those).
    float along = (x + z) * 5.0f;
    int k = (int)along;
    float hue = (float)(k % 360);
    float wallHeight = brightness * 10.0f;
    Rgb c = hsvToRgb(hue, 0.2f, brightness);

    const int8_t* s = glyphStrokes[gi];
    for (int j = 0; j < n; ++j, s += 4) {
      float x1 = (float)s[0] * scale + x;
      float z1 = (float)s[1] * scale + z;
      float x2 = (float)s[2] * scale + x;
      float z2 = (float)s[3] * scale + z;
      float ex = x1 - x2;
      float ez = z1 - z2;
      float len = floatSqrt(ex * ex + ez * ez);
      if (len < 2.0f) {
        addLineSegment(lines, x1, z1, x2, z2, wallHeight, c.r, c.g, c.b);
        continue;
      }
      // Pieces of at most 2 units. Walked by repeated addition: the last piece ends
      // wherever the sums lead, which may miss (x2, z2) by a rounding.
      int m = (int)(float)std::ceil((double)(len * 0.5f));
      float dx = (x2 - x1) / (float)m;
      float dz = (z2 - z1) / (float)m;
      float px = x1;
      float pz = z1;
      for (int i = 0; i < m; ++i) {
        addLineSegment(lines, px, pz, px + dx, pz + dz, wallHeight, c.r, c.g, c.b);
        px += dx;
        pz += dz;
      }
    }
  }
  int widthSum = glyphInkWidth[gi] + glyphWidth[gi];
  return (float)widthSum * 0.5f * scale;
}

void drawText(LineBatch& lines, const char* text, float x0, float z, float scale,
              float brightness) {
  float x = x0;
  for (const char* c = text; *c; ++c) x += drawGlyph(lines, *c, x, z, scale, brightness);
}
