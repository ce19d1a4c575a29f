// The glowing line segment every text and figure is made of, and the HSV colour helper.
#include "fx/lines.h"

#include <cmath>

#include "fx/math.h"

void addLineSegment(LineBatch& lines, float x1, float z1, float x2, float z2, float h, float r,
                    float g, float b) {
  // Checked before writing and appended in whole segments: never past the capacity.
  if (lines.vertexCount >= LINE_BUFFER_VERTICES) return;

  float dx = x2 - x1;
  float dz = z2 - z1;
  float px = 0.0f;
  float pz = 0.0f;
  if (dx != 0.0f || dz != 0.0f) {
    float len = floatSqrt(dx * dx + dz * dz);
    px = dz / len * 0.25f;
    pz = -dx / len * 0.25f;
  }

  // A wall standing on the segment (coloured foot, black top) and a flat ribbon around it.
  const float position[8][3] = {
      {x1, 0.0f, z1},           {x2, 0.0f, z2},           {x1, h, z1},
      {x2, h, z2},              {x1 - px, 0.0f, z1 - pz}, {x2 - px, 0.0f, z2 - pz},
      {x1 + px, 0.0f, z1 + pz}, {x2 + px, 0.0f, z2 + pz},
  };
  float* pos = lines.positions + 3 * lines.vertexCount;
  float* col = lines.colours + 4 * lines.vertexCount;
  for (int v = 0; v < 8; ++v) {
    bool top = v == 2 || v == 3;
    pos[3 * v + 0] = position[v][0];
    pos[3 * v + 1] = position[v][1];
    pos[3 * v + 2] = position[v][2];
    col[4 * v + 0] = top ? 0.0f : r;
    col[4 * v + 1] = top ? 0.0f : g;
    col[4 * v + 2] = top ? 0.0f : b;
    col[4 * v + 3] = 1.0f;
  }
  lines.indexCount += 12;
  lines.vertexCount += 8;
}

Rgb hsvToRgb(float hue, float s, float v) {
  if (s <= 0.0f) return {v, v, v};
  if (hue >= 360.0f) hue = 0.0f;
  float h = hue / 60.0f;
  // A negative hue is not wrapped: its own floor picks the last branch.
  int i = (int)(float)std::floor((double)h);
  float f = h - (float)i;
  float p = (1.0f - s) * v;
  float q = (1.0f - f * s) * v;
  float t = (1.0f - (1.0f - f) * s) * v;
  switch (i) {
    case 0: return {v, t, p};
    case 1: return {q, v, p};
    case 2: return {p, v, t};
    case 3: return {p, q, v};
    case 4: return {t, p, v};
    default: return {v, p, q};
  }
}
