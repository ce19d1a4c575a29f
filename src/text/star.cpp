// The jagged star: a 17-point star polygon whose edges are random walks towards their ends,
// tinted once round the hue circle per edge and pulsing every four seconds.
#include "text/star.h"

#include <cmath>

#include "fx/math.h"

namespace {
const double PI = 3.14159265358979323846;
const float STAR_RADIUS = 120.0f;
const float POINT_ANGLE = 0.36959913f;  // 2 pi / 17

// Walks one jagged line from A to B with starRng; writes its drawn steps, returns how many.
int walkLine(Well512& starRng, float x1, float z1, float x2, float z2, StarStep* out) {
  // The phase moves the dark gap along the line; it is drawn first, before any step.
  uint32_t r = starRng.next();
  int p = (int)(r % 10u) + 1;

  float lx = x2 - x1;
  float lz = z2 - z1;
  float length = floatSqrt(lx * lx + lz * lz);
  int n = (int)std::floor((double)(length / 3.0f)) + 1;
  if (n > STAR_MAX_STEPS) n = STAR_MAX_STEPS;

  int drawn = 0;
  float cx = x1;
  float cz = z1;
  for (int i = 0; i < n; ++i) {
    // Share what is left evenly among the steps left, aiming at B again each time.
    float dx = x2 - cx;
    float dz = z2 - cz;
    float step = floatSqrt(dx * dx + dz * dz) / (float)(n - i);
    r = starRng.next();
    double jitter = (double)((int)(r & 1023u) - 512) / 1024.0;
    float theta = (float)(std::atan2((double)dz, (double)dx) + jitter);
    float nx = cx + (float)std::cos((double)theta) * step;
    float nz = cz + (float)std::sin((double)theta) * step;
    if (i == n - 1) {
      nx = x2;
      nz = z2;
    }

    float phase = (float)(i + p) / (float)n;
    float envelope = (float)std::fabs(std::cos(PI * (double)phase));
    float e = (float)(1.2 * (double)envelope);
    // A dim step is a gap; its random word is spent all the same, so later steps keep
    // their shape whatever the pulse does.
    if ((double)e > 0.1) out[drawn++] = StarStep{cx, cz, nx, nz, e, (i * 360 / n) % 360};
    cx = nx;
    cz = nz;
  }
  return drawn;
}

// Appends the steps at pulse k: value e x k, walls k x 10.
void paint(LineBatch& lines, const StarStep* steps, int count, float k) {
  float height = k * 10.0f;
  for (int q = 0; q < count; ++q) {
    const StarStep& s = steps[q];
    Rgb colour = hsvToRgb((float)s.hue, 0.1f, s.envelope * k);
    addLineSegment(lines, s.x1, s.z1, s.x2, s.z2, height, colour.r, colour.g, colour.b);
  }
}

}  // namespace

void drawJaggedLine(LineBatch& lines, Well512& starRng, float x1, float z1, float x2, float z2,
                    float k) {
  StarStep steps[STAR_MAX_STEPS];
  int count = walkLine(starRng, x1, z1, x2, z2, steps);
  paint(lines, steps, count, k);
}

void drawJaggedStar(LineBatch& lines, Well512& starRng, StarShape& shape, int32_t seed,
                    int32_t timeMs) {
  if (!shape.valid || shape.seed != seed) {
    starRng.seed((uint32_t)seed);
    // Widened so that no seed can overflow; the step lies in 3..9 for every seed the show uses.
    int u = (int)(((2 * (int64_t)seed + 6) % 7) + 3);
    float px = (float)std::sin(0.0) * STAR_RADIUS;
    float pz = (float)std::cos(0.0) * STAR_RADIUS;
    int count = 0;
    int j = 0;
    do {
      j = (j + u) % 17;
      float angle = (float)j * POINT_ANGLE;
      float qx = (float)std::sin((double)angle) * STAR_RADIUS;
      float qz = (float)std::cos((double)angle) * STAR_RADIUS;
      count += walkLine(starRng, px, pz, qx, qz, shape.step + count);
      px = qx;
      pz = qz;
    } while (j != 0);
    shape.count = count;
    shape.rngAfter = starRng;
    shape.seed = seed;
    shape.valid = true;
  }
  starRng = shape.rngAfter;

  // Dark for most of the first half of the period, a flash at its middle, a slow decay.
  float quotient = (float)timeMs / 4000.0f;
  float w = (float)std::fabs(std::sin(PI * (double)quotient));
  int32_t v = timeMs % 4000;
  float k = (float)std::pow((double)w, v < 2000 ? 50.0 : 0.4);
  paint(lines, shape.step, shape.count, k);
}
