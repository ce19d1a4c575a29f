// Building blocks of every voice and effect: band-limited oscillators, a state-variable
// filter and envelopes.
#pragma once

#include <algorithm>
#include <cmath>

#include "timing.h"

namespace soundtrack {

inline float polyBlep(double t, double dt) {
  if (t < dt) {
    double x = t / dt;
    return (float)(x + x - x * x - 1.0);
  }
  if (t > 1.0 - dt) {
    double x = (t - 1.0) / dt;
    return (float)(x * x + x + x + 1.0);
  }
  return 0.0f;
}

struct Osc {
  double phase = 0.0;
  float saw(double inc) {
    float v = (float)(2.0 * phase - 1.0) - polyBlep(phase, inc);
    advance(inc);
    return v;
  }
  float pulse(double inc, double width) {
    float v = phase < width ? 1.0f : -1.0f;
    v += polyBlep(phase, inc);
    double shifted = phase + 1.0 - width;
    if (shifted >= 1.0) shifted -= 1.0;
    v -= polyBlep(shifted, inc);
    advance(inc);
    return v;
  }
  float sine(double inc) {
    float v = (float)std::sin(2.0 * PI * phase);
    advance(inc);
    return v;
  }
  void advance(double inc) {
    phase += inc;
    if (phase >= 1.0) phase -= 1.0;
  }
};

// Zero-delay-feedback state-variable filter (trapezoidal integration).
struct Svf {
  float ic1 = 0.0f, ic2 = 0.0f;
  float a1 = 0.0f, a2 = 0.0f, a3 = 0.0f, k = 1.0f;
  float lp = 0.0f, bp = 0.0f, hp = 0.0f;
  void tune(float hz, float q) {
    hz = std::min(std::max(hz, 16.0f), 0.45f * RATE);
    float g = (float)std::tan(PI * hz / RATE);
    k = 1.0f / q;
    a1 = 1.0f / (1.0f + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
  }
  void run(float x) {
    float v3 = x - ic2;
    float v1 = a1 * ic1 + a2 * v3;
    float v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = 2.0f * v1 - ic1;
    ic2 = 2.0f * v2 - ic2;
    lp = v2;
    bp = v1;
    hp = x - k * v1 - v2;
  }
};

struct Adsr {
  float a, d, s, r;
};

inline float held(const Adsr& e, float t) {
  if (t < e.a) return t / e.a;
  return e.s + (1.0f - e.s) * std::exp(-(t - e.a) / e.d);
}

// Releases last seven time constants (-60 dB) and fade to zero over the last one.
inline float envelopeLength(const Adsr& e, float gate) { return gate + 7.0f * e.r; }

inline float envelope(const Adsr& e, float t, float gate) {
  if (t < gate) return held(e, t);
  float v = held(e, gate) * std::exp(-(t - gate) / e.r);
  float left = envelopeLength(e, gate) - t;
  return left < e.r ? v * std::max(0.0f, left / e.r) : v;
}

}  // namespace soundtrack
