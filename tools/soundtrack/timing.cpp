// The soundtrack's clock, its seeds and its feel (see timing.h).
#include "timing.h"

#include <cmath>

namespace soundtrack {

int songBar(int renderBar) {
  return renderBar < SONG_BARS ? renderBar : LOOP_BAR + (renderBar - LOOP_BAR) % LOOP_BARS;
}

double onset(int renderBar, double step) {
  double late = (songBar(renderBar) == LOOP_BAR && step == 0.0) ? DROP_LATE : 0.0;
  return renderBar * BAR + step * STEP + late;
}

size_t frameAt(double seconds) { return (size_t)std::llround(seconds * RATE); }

float noteHz(float midi) { return 440.0f * (float)std::pow(2.0, (midi - 69.0f) / 12.0); }

Rng::Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull ^ 0xD1B54A32D192ED03ull) {
  if (s == 0) s = 1;
  for (int i = 0; i < 4; ++i) next();
}

uint64_t Rng::next() {
  s ^= s >> 12;
  s ^= s << 25;
  s ^= s >> 27;
  return s * 2685821657736338717ull;
}

uint64_t seedOf(int a, int b, int c) {
  return ((uint64_t)(uint32_t)a << 40) ^ ((uint64_t)(uint32_t)b << 20) ^ (uint64_t)(uint32_t)c;
}

int seedBar(int sb) { return sb == SONG_BARS - 1 ? sb - LOOP_BARS : sb; }

uint64_t noteSeed(int instrument, double renderTime, int extra) {
  int renderBar = (int)std::floor(renderTime / BAR + 1e-9);
  double inBar = renderTime - renderBar * BAR;
  int sixtyFourth = (int)std::lround(inBar / (STEP / 4.0));
  return seedOf(instrument, seedBar(songBar(renderBar)) * 64 + sixtyFourth, extra);
}

double feel(int part, int renderBar, double step, bool swing, float looseMs) {
  double t = onset(renderBar, step);
  double whole;
  if (swing && std::modf(step / 2.0, &whole) == 0.5) t += (2.0 * SWING - 1.0) * STEP;
  // Nothing lands before the drop's downbeat: the seam stays in the breath before it.
  if (songBar(renderBar) == LOOP_BAR && step == 0.0) return t;
  Rng r(noteSeed(part, onset(renderBar, step), 911));
  return t + (double)(r.bipolar() * looseMs) * 1e-3;
}

float vary(int part, int renderBar, double step, float vel, float amount) {
  Rng r(noteSeed(part, onset(renderBar, step), 912));
  return vel * (1.0f + amount * r.bipolar());
}

}  // namespace soundtrack
