// The floor tendrils: twenty random-walk strands growing from the centre out to radius 120,
// revealed one segment per 20 ms under a brightness envelope over their four-second period.
#include "fx/tendrils.h"

#include <cmath>

namespace {
const double PI = 3.14159265358979323846;
const int STRANDS = TENDRIL_STRANDS;
const int SEGMENTS = TENDRIL_SEGMENTS;

// Made once: sqrt(k / 200) along a strand, and every turn a random word can give,
// word / 12800 (the exact quotients, looked up instead of divided).
struct Tables {
  float root[SEGMENTS];
  double turn[1024];
  Tables() {
    for (int k = 0; k < SEGMENTS; ++k) root[k] = (float)std::pow((double)((float)k / 200.0f), 0.5);
    for (int w = 0; w < 1024; ++w) turn[w] = (double)w / 12800.0;
  }
};

void walk(Well512& figureRng, TendrilShape& shape, int32_t seed, const Tables& tables) {
  figureRng.seed((uint32_t)seed);
  float start = (float)(figureRng.next() & 1023u);
  TendrilSegment* out = shape.segment;
  for (int strand = 0; strand < STRANDS; ++strand) {
    float angle = start;
    // Each segment starts at the angle where the last one ended: its sine and cosine are
    // carried over instead of taken again.
    float sinFrom = (float)std::sin((double)angle);
    float cosFrom = (float)std::cos((double)angle);
    for (int k = 0; k < SEGMENTS; ++k) {
      // The radius climbs in whole units: from 0 at the first segment to 120 at the last.
      int c = 240 + 120 * k;
      float r0 = (float)((c - 120) / 200);
      float r1 = (float)(c / 200);
      float theta = (float)((double)angle + tables.turn[figureRng.next() & 1023u]);
      float sinTo = (float)std::sin((double)theta);
      float cosTo = (float)std::cos((double)theta);
      *out++ = TendrilSegment{r0 * sinFrom, r0 * cosFrom, r1 * sinTo, r1 * cosTo};
      angle = theta;
      sinFrom = sinTo;
      cosFrom = cosTo;
    }
    // The second ten strands grow on from where the tenth one ended.
    if (strand == 9) start = angle;
  }
  shape.rngAfter = figureRng;
  shape.seed = seed;
  shape.valid = true;
}

}  // namespace

void drawTendrils(LineBatch& lines, Well512& figureRng, TendrilShape& shape, int32_t seed,
                  int32_t now) {
  static const Tables tables;
  if (!shape.valid || shape.seed != seed) walk(figureRng, shape, seed, tables);
  figureRng = shape.rngAfter;

  int32_t visible = ((now % 4000) * SEGMENTS) / 4000;
  float a = (float)now / 4000.0f;
  double s = std::sin((double)a * PI);
  float envelope = (float)std::pow((double)(float)std::fabs(s), 0.25);
  float height = envelope * 10.0f;
  // Wrapping like the int32 it is; only reached after days of uptime.
  int32_t hueBase = (int32_t)((uint32_t)(now / 60) * 360u);

  // Every strand starts its hue at the same base and its value depends on k alone, so the
  // colour of segment k is the same in all twenty strands.
  Rgb colours[SEGMENTS];
  int32_t hueAcc = hueBase;
  for (int k = 0; k < SEGMENTS; ++k) {
    float lit = k < visible ? 1.0f : 0.0f;
    float value = tables.root[k] * lit * envelope;
    int hue = (hueAcc / 200) % 360;
    colours[k] = hsvToRgb((float)hue, 0.1f, value);
    hueAcc = (int32_t)((uint32_t)hueAcc + 360u);
  }

  const TendrilSegment* seg = shape.segment;
  for (int strand = 0; strand < STRANDS; ++strand) {
    for (int k = 0; k < SEGMENTS; ++k, ++seg) {
      const Rgb& c = colours[k];
      addLineSegment(lines, seg->x1, seg->z1, seg->x2, seg->z2, height, c.r, c.g, c.b);
    }
  }
}
