// The floor tendrils: twenty random-walk strands growing from the centre out to radius 120,
// revealed one segment per 20 ms under a brightness envelope over their four-second period.
#include <cmath>

#include "fx/figures.h"
#include "fx/well512.h"
#include "text/lines.h"

namespace {
const double PI = 3.14159265358979323846;
const int STRANDS = 20;
const int SEGMENTS = 200;
}  // namespace

void drawTendrils(int32_t seed, int32_t now) {
  figureRng.seed((uint32_t)seed);
  float start = (float)(figureRng.next() & 1023u);

  int32_t visible = ((now % 4000) * SEGMENTS) / 4000;
  float a = (float)now / 4000.0f;
  double s = std::sin((double)a * PI);
  float envelope = (float)std::pow((double)(float)std::fabs(s), 0.25);
  float height = envelope * 10.0f;
  // Wrapping like the int32 it is; only reached after days of uptime.
  int32_t hueBase = (int32_t)((uint32_t)(now / 60) * 360u);

  for (int strand = 0; strand < STRANDS; ++strand) {
    float angle = start;
    int32_t hueAcc = hueBase;
    for (int k = 0; k < SEGMENTS; ++k) {
      // The radius climbs in whole units: from 0 at the first segment to 120 at the last.
      int c = 240 + 120 * k;
      int r0 = (c - 120) / 200;
      int r1 = c / 200;
      double from = (double)angle;
      float theta = (float)(from + (double)(figureRng.next() & 1023u) / 12800.0);

      float lit = k < visible ? 1.0f : 0.0f;
      float value = (float)std::pow((double)((float)k / 200.0f), 0.5) * lit * envelope;
      int hue = (hueAcc / 200) % 360;
      Rgb colour = hsvToRgb((float)hue, 0.1f, value);

      float x1 = (float)r0 * (float)std::sin(from);
      float z1 = (float)r0 * (float)std::cos(from);
      float x2 = (float)r1 * (float)std::sin((double)theta);
      float z2 = (float)r1 * (float)std::cos((double)theta);
      addLineSegment(x1, z1, x2, z2, height, colour.r, colour.g, colour.b);

      angle = theta;
      hueAcc = (int32_t)((uint32_t)hueAcc + 360u);
    }
    // The second ten strands grow on from where the tenth one ended.
    if (strand == 9) start = angle;
  }
}
