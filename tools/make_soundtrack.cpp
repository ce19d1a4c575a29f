// make_soundtrack: composes, renders, masters and encodes the show's soundtrack,
// assets/zoov2020.ogg, from nothing but this file. Deterministic: the same build gives the
// same file. Usage: make_soundtrack OUTPUT.ogg [--raw RAW_F32_STEREO_OUT]
//
// The piece is 120 s of A minor at 96 BPM: four 4/4 bars to each ten-second step of the
// show, 48 bars in all. Bars 32..47 (80..120 s) are the loop the player repeats. To make
// the loop seamless, the renderer plays the song and then the loop once more and keeps
// that second pass as the file's 80..120 s: every reverb tail, delay echo and release that
// crosses the loop's end is then already part of its start. Bars 30..31 and 46..47 are the
// same build-up, so the first arrival at 80 s sounds like every later one.
#include <SDL.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "music/soloud.h"

namespace {

constexpr int RATE = 44100;
constexpr double PI = 3.14159265358979323846;
constexpr double BPM = 96.0;
constexpr double BEAT = 60.0 / BPM;  // 0.625 s
constexpr double BAR = 4.0 * BEAT;   // 2.5 s
constexpr double STEP = BEAT / 4.0;  // a sixteenth
constexpr int SONG_BARS = 48;        // 120 s
constexpr int LOOP_BAR = 32;         // 80 s
constexpr int LOOP_BARS = SONG_BARS - LOOP_BAR;
constexpr int RENDER_BARS = SONG_BARS + LOOP_BARS + 2;  // song, loop again, run-out
constexpr size_t SONG_FRAMES = (size_t)(SONG_BARS * BAR * RATE + 0.5);
constexpr size_t LOOP_START = (size_t)(LOOP_BAR * BAR * RATE + 0.5);
constexpr size_t LOOP_FRAMES = SONG_FRAMES - LOOP_START;
constexpr size_t RENDER_FRAMES = (size_t)(RENDER_BARS * BAR * RATE + 0.5);

// The bar of the song that a rendered bar plays: after the song, the loop repeats.
int songBar(int renderBar) {
  return renderBar < SONG_BARS ? renderBar : LOOP_BAR + (renderBar - LOOP_BAR) % LOOP_BARS;
}

// The drop's downbeat lands a hair after 80 s, so the loop seam itself sits in the quiet
// breath before it and the codec's smearing of that big attack stays clear of the seam.
constexpr double DROP_LATE = 0.015;

// When a note on the given sixteenth of a rendered bar starts.
double onset(int renderBar, double step) {
  double late = (songBar(renderBar) == LOOP_BAR && step == 0.0) ? DROP_LATE : 0.0;
  return renderBar * BAR + step * STEP + late;
}

size_t frameAt(double seconds) { return (size_t)std::llround(seconds * RATE); }

float noteHz(float midi) { return 440.0f * (float)std::pow(2.0, (midi - 69.0f) / 12.0); }

// ---- Randomness: every noise and every humanised value comes from a seeded generator, so
// a note sounds the same each time it is rendered, in the first pass and in the loop.

struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull ^ 0xD1B54A32D192ED03ull) {
    if (s == 0) s = 1;
    for (int i = 0; i < 4; ++i) next();
  }
  uint64_t next() {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return s * 2685821657736338717ull;
  }
  float bipolar() { return (float)((double)(next() >> 11) * (2.0 / 9007199254740992.0) - 1.0); }
  float unit() { return (float)((double)(next() >> 11) * (1.0 / 9007199254740992.0)); }
};

uint64_t seedOf(int a, int b, int c) {
  return ((uint64_t)(uint32_t)a << 40) ^ ((uint64_t)(uint32_t)b << 20) ^ (uint64_t)(uint32_t)c;
}

// The bar whose randomness a song bar uses: the build before the loop's end is the very
// same take as the build before 80 s, so the seam hears the same noise both times.
int seedBar(int sb) { return sb >= SONG_BARS - 2 ? sb - LOOP_BARS : sb; }

// A note's seed comes from where it sits in the song, not in the render, so every pass
// through the loop plays the same noise.
uint64_t noteSeed(int instrument, double renderTime, int extra) {
  int renderBar = (int)std::floor(renderTime / BAR + 1e-9);
  double inBar = renderTime - renderBar * BAR;
  int sixtyFourth = (int)std::lround(inBar / (STEP / 4.0));
  return seedOf(instrument, seedBar(songBar(renderBar)) * 64 + sixtyFourth, extra);
}

// ---- Building blocks -------------------------------------------------------------------

// Band-limited step correction for the saw and pulse oscillators.
float polyBlep(double t, double dt) {
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

float held(const Adsr& e, float t) {
  if (t < e.a) return t / e.a;
  return e.s + (1.0f - e.s) * std::exp(-(t - e.a) / e.d);
}

// Releases last seven time constants (-60 dB) and fade to zero over the last one.
float envelopeLength(const Adsr& e, float gate) { return gate + 7.0f * e.r; }

float envelope(const Adsr& e, float t, float gate) {
  if (t < gate) return held(e, t);
  float v = held(e, gate) * std::exp(-(t - gate) / e.r);
  float left = envelopeLength(e, gate) - t;
  return left < e.r ? v * std::max(0.0f, left / e.r) : v;
}

// ---- The mix: a dry bus, two effect sends, and the kick's ducking curve ----------------

struct Stereo {
  std::vector<float> l, r;
  void init(size_t n) {
    l.assign(n, 0.0f);
    r.assign(n, 0.0f);
  }
};

struct Mix {
  Stereo dry, reverb, delay;
  std::vector<float> duck;  // 0..1: how far the kick pushes the other parts down
} mix;

// Where one part sits in the mix.
struct Strip {
  float gain;
  float pan;  // -1 left .. 1 right
  float reverb;
  float delay;
  float duck;
};

// The strip turned into per-channel gains once per note, not once per sample.
struct Placed {
  float gainLeft, gainRight, reverb, delay, duck;
};

// The fader of the bar being composed: the whole band rides it as the show builds up.
float sectionGain = 1.0f;

Placed place(const Strip& s) {
  // Equal-power pan normalised to unity at centre.
  float angle = (s.pan + 1.0f) * (float)(PI / 4.0);
  float g = s.gain * sectionGain;
  return {std::cos(angle) * 1.41421356f * g, std::sin(angle) * 1.41421356f * g, s.reverb, s.delay,
          s.duck};
}

void put(const Placed& s, size_t i, float left, float right) {
  if (i >= RENDER_FRAMES) return;
  float g = 1.0f - s.duck * mix.duck[i];
  float l = left * s.gainLeft * g;
  float r = right * s.gainRight * g;
  mix.dry.l[i] += l;
  mix.dry.r[i] += r;
  mix.reverb.l[i] += l * s.reverb;
  mix.reverb.r[i] += r * s.reverb;
  mix.delay.l[i] += l * s.delay;
  mix.delay.r[i] += r * s.delay;
}

// ---- Instruments: each renders one note straight into the mix ---------------------------

void kick(double t0, float vel) {
  const Placed strip = place(Strip{0.85f * vel, 0.0f, 0.04f, 0.0f, 0.0f});
  size_t i0 = frameAt(t0);
  size_t n = frameAt(0.7);
  Osc body;
  Rng rng(noteSeed(1, t0, 0));
  Svf click;
  click.tune(2500.0f, 0.7f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float hz = 50.0f + 120.0f * std::exp(-t / 0.03f) + 300.0f * std::exp(-t / 0.003f);
    float amp = std::min(1.0f, t / 0.0008f) * std::exp(-t / 0.2f);
    if (t > 0.6f) amp *= (0.7f - t) / 0.1f;
    click.run(rng.bipolar());
    float v = body.sine(hz / RATE) * amp +
              click.hp * 0.35f * std::min(1.0f, t / 0.0003f) * std::exp(-t / 0.004f);
    v = std::tanh(1.8f * v) / std::tanh(1.8f);
    put(strip, i0 + j, v, v);
  }
}

void snare(double t0, float vel, float room) {
  const Placed strip = place(Strip{0.42f * vel, 0.05f, room, 0.0f, 0.0f});
  size_t i0 = frameAt(t0);
  size_t n = frameAt(0.5);
  Osc a, b;
  Rng rng(noteSeed(2, t0, 0));
  Svf hp, bp;
  hp.tune(1400.0f, 0.6f);
  bp.tune(5200.0f, 0.8f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float attack = std::min(1.0f, t / 0.0006f);
    float tone = (a.sine((175.0f + 60.0f * std::exp(-t / 0.01f)) / RATE) * 0.8f +
                  b.sine(330.0f / RATE) * 0.35f) *
                 std::exp(-t / 0.045f);
    float noise = rng.bipolar();
    hp.run(noise);
    bp.run(hp.hp);
    float crack = (hp.hp * 0.6f + bp.bp * 0.7f) * std::exp(-t / 0.14f);
    float v = attack * (tone * 0.8f + crack);
    if (t > 0.45f) v *= (0.5f - t) / 0.05f;
    put(strip, i0 + j, v, v);
  }
}

void clap(double t0, float vel) {
  const Placed strip = place(Strip{0.5f * vel, -0.05f, 0.28f, 0.0f, 0.0f});
  size_t i0 = frameAt(t0);
  size_t n = frameAt(0.45);
  Rng rngL(noteSeed(3, t0, 1)), rngR(noteSeed(3, t0, 2));
  Svf fl, fr;
  fl.tune(1150.0f, 1.3f);
  fr.tune(1250.0f, 1.3f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float env = 0.0f;
    const float bursts[3] = {0.0f, 0.010f, 0.021f};
    for (float tb : bursts) {
      if (t >= tb) env += std::min(1.0f, (t - tb) / 0.0005f) * std::exp(-(t - tb) / 0.0045f);
    }
    if (t >= 0.031f)
      env += 0.9f * std::min(1.0f, (t - 0.031f) / 0.001f) * std::exp(-(t - 0.031f) / 0.12f);
    if (t > 0.4f) env *= (0.45f - t) / 0.05f;
    fl.run(rngL.bipolar());
    fr.run(rngR.bipolar());
    put(strip, i0 + j, fl.bp * env * 2.2f, fr.bp * env * 2.2f);
  }
}

// Six detuned square waves, the classic metallic source for cymbals, plus some noise.
void hat(double t0, float vel, bool open) {
  const Placed strip =
      place(Strip{(open ? 0.10f : 0.13f) * vel, open ? -0.25f : 0.25f, 0.10f, 0.0f, 0.15f});
  const float ratios[6] = {1.0f, 1.4826f, 1.8002f, 2.5461f, 2.6302f, 3.8966f};
  size_t i0 = frameAt(t0);
  float decay = open ? 0.22f : 0.028f;
  float length = open ? 1.3f : 0.22f;
  size_t n = frameAt(length);
  Osc osc[6];
  Rng rng(noteSeed(4, t0, open ? 1 : 0));
  for (int k = 0; k < 6; ++k) osc[k].phase = rng.unit();
  Svf hp, hp2;
  hp.tune(7200.0f, 0.9f);
  hp2.tune(6000.0f, 0.7f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float metal = 0.0f;
    for (int k = 0; k < 6; ++k) metal += osc[k].pulse(420.0 * ratios[k] / RATE, 0.5);
    float src = metal * 0.12f + rng.bipolar() * 0.6f;
    hp.run(src);
    hp2.run(hp.hp);
    float env = std::min(1.0f, t / 0.0005f) * std::exp(-t / decay);
    if (t > length - 0.05f) env *= (length - t) / 0.05f;
    put(strip, i0 + j, hp2.hp * env, hp2.hp * env);
  }
}

void crash(double t0, float vel) {
  const Placed strip = place(Strip{0.11f * vel, 0.0f, 0.22f, 0.0f, 0.0f});
  const float ratios[6] = {1.0f, 1.3421f, 1.7309f, 2.1143f, 2.7531f, 3.3117f};
  size_t i0 = frameAt(t0);
  const float length = 4.5f;
  size_t n = frameAt(length);
  Osc osc[6];
  Rng rngL(noteSeed(5, t0, 1)), rngR(noteSeed(5, t0, 2));
  for (int k = 0; k < 6; ++k) osc[k].phase = rngL.unit();
  Svf hl, hr, tone;
  hl.tune(4200.0f, 0.7f);
  hr.tune(4400.0f, 0.7f);
  tone.tune(8500.0f, 0.8f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float metal = 0.0f;
    for (int k = 0; k < 6; ++k) metal += osc[k].pulse(311.0 * ratios[k] / RATE, 0.5);
    tone.run(metal * 0.1f);
    hl.run(rngL.bipolar() + tone.bp);
    hr.run(rngR.bipolar() + tone.bp);
    float env =
        std::min(1.0f, t / 0.002f) * (0.75f * std::exp(-t / 1.1f) + 0.25f * std::exp(-t / 0.12f));
    if (t > length - 0.3f) env *= (length - t) / 0.3f;
    put(strip, i0 + j, hl.hp * env, hr.hp * env);
  }
}

void tom(double t0, float midi, float vel, float pan) {
  const Placed strip = place(Strip{0.5f * vel, pan, 0.25f, 0.0f, 0.0f});
  size_t i0 = frameAt(t0);
  size_t n = frameAt(0.6);
  float base = noteHz(midi);
  Osc o;
  Rng rng(noteSeed(6, t0, 0));
  Svf nf;
  nf.tune(900.0f, 0.8f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float hz = base * (1.0f + 0.7f * std::exp(-t / 0.04f));
    nf.run(rng.bipolar());
    float v = o.sine(hz / RATE) * std::exp(-t / 0.2f) + nf.bp * 0.25f * std::exp(-t / 0.03f);
    v *= std::min(1.0f, t / 0.001f);
    if (t > 0.55f) v *= (0.6f - t) / 0.05f;
    put(strip, i0 + j, v, v);
  }
}

// Noise through a resonant band-pass that rises over the build, swelling into the drop.
void riser(double t0, double duration, float vel) {
  const Placed strip = place(Strip{0.2f * vel, 0.0f, 0.45f, 0.15f, 0.0f});
  size_t i0 = frameAt(t0);
  size_t n = frameAt(duration);
  Rng rngL(noteSeed(7, t0, 1)), rngR(noteSeed(7, t0, 2));
  Svf fl, fr;
  Osc sweep;
  for (size_t j = 0; j < n; ++j) {
    float x = (float)j / (float)n;
    if (j % 16 == 0) {
      float hz = 350.0f * std::pow(28.0f, x);
      fl.tune(hz, 2.5f);
      fr.tune(hz * 1.07f, 2.5f);
    }
    float tone = sweep.saw(noteHz(45.0f + 36.0f * x * x) / RATE) * 0.08f;
    fl.run(rngL.bipolar() + tone);
    fr.run(rngR.bipolar() + tone);
    float env = x * x * x;
    float tail = std::min(1.0f, (float)(n - j) / (0.004f * RATE));
    put(strip, i0 + j, fl.bp * env * tail, fr.bp * env * tail);
  }
}

// A cymbal played backwards: swells up to the downbeat it leads into.
void swell(double t0, double duration, float vel) {
  const Placed strip = place(Strip{0.12f * vel, 0.0f, 0.35f, 0.0f, 0.0f});
  size_t i0 = frameAt(t0);
  size_t n = frameAt(duration);
  Rng rngL(noteSeed(8, t0, 1)), rngR(noteSeed(8, t0, 2));
  Svf hl, hr;
  hl.tune(3500.0f, 0.7f);
  hr.tune(3700.0f, 0.7f);
  for (size_t j = 0; j < n; ++j) {
    float x = (float)j / (float)n;
    float env = x * x * x * x;
    float tail = std::min(1.0f, (float)(n - j) / (0.003f * RATE));
    hl.run(rngL.bipolar());
    hr.run(rngR.bipolar());
    put(strip, i0 + j, hl.hp * env * tail, hr.hp * env * tail);
  }
}

// The weight under the drop: a long falling sub tone.
void boom(double t0, float vel) {
  const Placed strip = place(Strip{0.75f * vel, 0.0f, 0.12f, 0.0f, 0.0f});
  size_t i0 = frameAt(t0);
  const float length = 2.4f;
  size_t n = frameAt(length);
  Osc o;
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float hz = 31.0f + 34.0f * std::exp(-t / 0.35f);
    float v = o.sine(hz / RATE) * std::min(1.0f, t / 0.003f) * std::exp(-t / 0.7f);
    if (t > length - 0.2f) v *= (length - t) / 0.2f;
    v = std::tanh(1.5f * v);
    put(strip, i0 + j, v, v);
  }
}

void bass(double t0, float midi, double gate, float vel, float cutoff, float bite) {
  const Placed strip = place(Strip{0.36f * vel, 0.0f, 0.0f, 0.0f, 0.75f});
  const Adsr env{0.002f, 0.25f, 0.75f, 0.035f};
  size_t i0 = frameAt(t0);
  size_t n = frameAt(envelopeLength(env, (float)gate));
  float hz = noteHz(midi);
  Osc a, b, sub;
  Rng rng(noteSeed(9, t0, (int)midi));
  a.phase = rng.unit();
  b.phase = rng.unit();
  Svf f1, f2;
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    if (j % 8 == 0) {
      float c = cutoff * (1.0f + bite * std::exp(-t / 0.09f));
      f1.tune(c, 0.85f);
      f2.tune(c, 0.7f);
    }
    float raw = a.saw(hz / RATE) * 0.5f + b.saw(hz * 1.004f / RATE) * 0.5f;
    f1.run(raw);
    f2.run(f1.lp);
    float v = f2.lp * 0.85f + sub.sine(hz / RATE) * 0.45f;
    v = std::tanh(1.4f * v * envelope(env, t, (float)gate));
    put(strip, i0 + j, v, v);
  }
}

// Seven detuned saws per note, spread across the stereo field.
void supersaw(double t0, const int* notes, int count, double gate, const Adsr& env,
              const Placed& strip, float cutoffStart, float cutoffEnd, float cutoffDecay,
              uint64_t seed) {
  const float detune[7] = {-0.19f, -0.12f, -0.05f, 0.0f, 0.05f, 0.12f, 0.19f};
  const float spread[7] = {-1.0f, 0.66f, -0.33f, 0.0f, 0.33f, -0.66f, 1.0f};
  size_t i0 = frameAt(t0);
  size_t n = frameAt(envelopeLength(env, (float)gate));
  Rng rng(seed);
  for (int k = 0; k < count; ++k) {
    Osc osc[7];
    double inc[7];
    float hz = noteHz((float)notes[k]);
    for (int v = 0; v < 7; ++v) {
      osc[v].phase = rng.unit();
      inc[v] = hz * std::pow(2.0, detune[v] / 12.0) / RATE;
    }
    Svf fl, fr, hl, hr;
    hl.tune(160.0f, 0.7f);
    hr.tune(160.0f, 0.7f);
    for (size_t j = 0; j < n; ++j) {
      float t = (float)j / RATE;
      if (j % 16 == 0) {
        float c = cutoffEnd + (cutoffStart - cutoffEnd) * std::exp(-t / cutoffDecay);
        fl.tune(c, 0.9f);
        fr.tune(c * 1.03f, 0.9f);
      }
      float l = 0.0f, r = 0.0f;
      for (int v = 0; v < 7; ++v) {
        float s = osc[v].saw(inc[v]);
        l += s * (1.0f - spread[v]) * 0.5f;
        r += s * (1.0f + spread[v]) * 0.5f;
      }
      hl.run(l);
      hr.run(r);
      fl.run(hl.hp);
      fr.run(hr.hp);
      float e = envelope(env, t, (float)gate) * 0.3f;
      put(strip, i0 + j, fl.lp * e, fr.lp * e);
    }
  }
}

void pad(double t0, const int* notes, double gate, float cutoff, float brighten, float vel,
         uint64_t seed) {
  const Placed strip = place(Strip{0.16f * vel, 0.0f, 0.32f, 0.05f, 0.55f});
  const Adsr env{0.35f, 1.2f, 0.85f, 0.6f};
  supersaw(t0, notes, 4, gate, env, strip, cutoff, cutoff * brighten, (float)gate * 0.5f, seed);
}

void stab(double t0, const int* notes, double gate, float vel, uint64_t seed) {
  const Placed strip = place(Strip{0.30f * vel, 0.0f, 0.22f, 0.12f, 0.6f});
  const Adsr env{0.003f, 0.16f, 0.35f, 0.12f};
  supersaw(t0, notes, 4, gate, env, strip, 7500.0f, 1800.0f, 0.12f, seed);
}

void arp(double t0, float midi, double gate, float vel, float cutoff, float pan) {
  const Placed strip = place(Strip{0.13f * vel, pan, 0.18f, 0.30f, 0.5f});
  const Adsr env{0.0015f, 0.16f, 0.25f, 0.09f};
  size_t i0 = frameAt(t0);
  size_t n = frameAt(envelopeLength(env, (float)gate));
  float hz = noteHz(midi);
  Osc p, s;
  Svf f;
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    if (j % 8 == 0) f.tune(cutoff * (1.0f + 2.5f * std::exp(-t / 0.07f)), 1.8f);
    float raw = p.pulse(hz / RATE, 0.3) * 0.55f + s.saw(hz * 1.003f / RATE) * 0.45f;
    f.run(raw);
    float v = f.lp * envelope(env, t, (float)gate);
    put(strip, i0 + j, v, v);
  }
}

// The lead: two detuned saws and a square an octave down, with glide and delayed vibrato.
void lead(double t0, float midi, double gate, float vel, float fromMidi, float gain) {
  const Placed strip = place(Strip{0.20f * vel * gain, 0.0f, 0.28f, 0.26f, 0.2f});
  const Adsr env{0.008f, 0.5f, 0.78f, 0.2f};
  size_t i0 = frameAt(t0);
  size_t n = frameAt(envelopeLength(env, (float)gate));
  Osc a, b, c;
  Rng rng(noteSeed(10, t0, (int)midi));
  a.phase = rng.unit();
  b.phase = rng.unit();
  c.phase = rng.unit();
  Svf fl, fr;
  float vibPhase = 0.0f;
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float pitch = midi;
    if (fromMidi > 0.0f) pitch = midi + (fromMidi - midi) * std::exp(-t / 0.035f);
    float vibDepth = 0.14f * std::min(1.0f, std::max(0.0f, (t - 0.22f) / 0.3f));
    vibPhase += 5.3f / RATE;
    pitch += vibDepth * std::sin(2.0f * (float)PI * vibPhase);
    float hz = noteHz(pitch);
    if (j % 8 == 0) {
      float cut = 2600.0f + 3200.0f * std::exp(-t / 0.25f);
      fl.tune(cut, 1.1f);
      fr.tune(cut * 1.05f, 1.1f);
    }
    float sa = a.saw(hz * 0.9960f / RATE);
    float sb = b.saw(hz * 1.0040f / RATE);
    float sq = c.pulse(hz * 0.5f / RATE, 0.5) * 0.35f;
    fl.run(sa * 0.8f + sb * 0.2f + sq);
    fr.run(sa * 0.2f + sb * 0.8f + sq);
    float e = envelope(env, t, (float)gate) * 0.6f;
    put(strip, i0 + j, fl.lp * e, fr.lp * e);
  }
}

// Two-operator FM with an inharmonic ratio: a glassy bell.
void bell(double t0, float midi, float vel, float pan, float decay) {
  const Placed strip = place(Strip{0.16f * vel, pan, 0.45f, 0.35f, 0.3f});
  size_t i0 = frameAt(t0);
  const float length = decay * 6.0f;
  size_t n = frameAt(length);
  float hz = noteHz(midi);
  Osc car, mod;
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float index = 2.4f * std::exp(-t / 0.25f) + 0.35f;
    float m = mod.sine(hz * 3.5f / RATE) * index;
    float v = (float)std::sin(2.0 * PI * car.phase + m);
    car.advance(hz / RATE);
    float env = std::min(1.0f, t / 0.002f) * std::exp(-t / decay);
    if (t > length - 0.1f) env *= (length - t) / 0.1f;
    put(strip, i0 + j, v * env, v * env);
  }
}

// ---- The composition --------------------------------------------------------------------

struct Chord {
  int bass;    // MIDI note of the bass root
  int pad[4];  // pad voicing around middle C
};

const Chord AM{33, {57, 60, 64, 67}};
const Chord FM{29, {53, 57, 60, 64}};
const Chord CM{36, {55, 60, 64, 67}};
const Chord GM{31, {55, 59, 62, 67}};
const Chord EMIN{28, {55, 59, 64, 67}};
const Chord DMIN{38, {57, 62, 65, 69}};
const Chord EMAJ{28, {56, 59, 64, 68}};

const Chord* const CHORDS[SONG_BARS] = {
    &AM, &FM, &CM,   &GM,    // 0-10 s: intro
    &AM, &FM, &CM,   &GM,    // "Yet again.."
    &AM, &FM, &CM,   &GM,    // "First release of the year.."
    &FM, &GM, &AM,   &GM,    // breathing space
    &AM, &FM, &CM,   &GM,    // "Let's do the Credits:"
    &AM, &FM, &CM,   &GM,    // code
    &AM, &FM, &CM,   &GM,    // music
    &FM, &GM, &DMIN, &EMAJ,  // font; the build
    &AM, &FM, &CM,   &GM,    // 80 s: the drop, the fountain
    &FM, &GM, &EMIN, &AM,    // "Long Live"
    &FM, &GM, &CM,   &EMAJ,  // "demo release"
    &AM, &FM, &DMIN, &EMAJ,  // back to the drop
};

struct Note {
  int bar;  // within the phrase
  int step;
  int length;
  int midi;
};

// Verse melody, first statement (50 s) and answer (60 s).
const Note THEME_A[] = {
    {0, 0, 4, 76},  {0, 4, 2, 69},  {0, 6, 2, 72},  {0, 8, 3, 76},  {0, 11, 3, 74},
    {0, 14, 2, 72}, {1, 0, 4, 72},  {1, 4, 2, 69},  {1, 6, 2, 72},  {1, 8, 4, 77},
    {1, 12, 4, 76}, {2, 0, 6, 76},  {2, 6, 2, 74},  {2, 8, 2, 72},  {2, 10, 2, 74},
    {2, 12, 4, 76}, {3, 0, 10, 74}, {3, 12, 2, 71}, {3, 14, 2, 72},
};
const Note THEME_A2[] = {
    {0, 0, 4, 76},  {0, 4, 2, 69}, {0, 6, 2, 72}, {0, 8, 3, 76}, {0, 11, 3, 79},
    {0, 14, 2, 76}, {1, 0, 4, 77}, {1, 4, 2, 76}, {1, 6, 2, 74}, {1, 8, 4, 72},
    {1, 12, 4, 69}, {2, 0, 4, 79}, {2, 4, 2, 76}, {2, 6, 2, 72}, {2, 8, 4, 76},
    {2, 12, 4, 79}, {3, 0, 6, 74}, {3, 6, 2, 76}, {3, 8, 8, 79},
};
// The anthem over "Long Live" (90 s) and its lifted repeat over "demo release" (100 s).
const Note THEME_B[] = {
    {0, 0, 6, 81}, {0, 6, 2, 79},  {0, 8, 2, 81},  {0, 10, 4, 84}, {0, 14, 2, 81}, {1, 0, 6, 79},
    {1, 6, 2, 77}, {1, 8, 2, 79},  {1, 10, 4, 83}, {1, 14, 2, 79}, {2, 0, 4, 76},  {2, 4, 2, 79},
    {2, 6, 4, 83}, {2, 10, 2, 81}, {2, 12, 4, 79}, {3, 0, 12, 81}, {3, 12, 2, 84}, {3, 14, 2, 83},
};
const Note THEME_B2[] = {
    {0, 0, 6, 81}, {0, 6, 2, 79},  {0, 8, 2, 81},  {0, 10, 4, 84}, {0, 14, 2, 81}, {1, 0, 6, 83},
    {1, 6, 2, 81}, {1, 8, 2, 83},  {1, 10, 4, 86}, {1, 14, 2, 83}, {2, 0, 6, 84},  {2, 6, 2, 83},
    {2, 8, 4, 79}, {2, 12, 4, 76}, {3, 0, 6, 80},  {3, 6, 2, 76},  {3, 8, 8, 83},
};
// Bar 44 (110 s): the anthem comes home.
const Note HOMECOMING[] = {{0, 0, 16, 81}};

template <size_t N>
void playMelody(const Note (&notes)[N], int phraseBar, int renderBar, float gain, int transpose) {
  for (size_t k = 0; k < N; ++k) {
    const Note& note = notes[k];
    if (note.bar != phraseBar) continue;
    double t = renderBar * BAR + note.step * STEP;
    double gate = note.length * STEP * 0.92;
    // Glide from the previous note when they touch.
    float from = 0.0f;
    if (k > 0) {
      const Note& prev = notes[k - 1];
      if (prev.bar * 16 + prev.step + prev.length == note.bar * 16 + note.step) {
        from = (float)(prev.midi + transpose);
      }
    }
    float vel = note.step % 4 == 0 ? 1.0f : 0.9f;
    lead(t, (float)(note.midi + transpose), gate, vel, from, gain);
  }
}

bool isBuildBar(int sb) { return sb == 30 || sb == 31 || sb == 46 || sb == 47; }

// Steps of the bar (sixteenths) on which the kick falls.
int kickPattern(int sb, int* steps) {
  int slot = sb / 4;
  int n = 0;
  if (slot == 0) return 0;
  if (sb == 31 || sb == 47) return 0;  // the last bar of a build holds its breath
  if (slot == 1) {
    steps[n++] = 0;
    if (sb % 4 >= 2) steps[n++] = 8;
    return n;
  }
  for (int s = 0; s < 16; s += 4) steps[n++] = s;
  // A push into the next phrase.
  if (sb % 4 == 3 && slot >= 3 && slot != 7 && slot != 11) steps[n++] = 14;
  return n;
}

float kickLevel(int sb) {
  int slot = sb / 4;
  if (slot == 1) return 0.55f;
  if (slot == 2) return 0.8f;
  return 1.0f;
}

void composeDucking() {
  mix.duck.assign(RENDER_FRAMES, 0.0f);
  for (int rb = 0; rb < RENDER_BARS; ++rb) {
    int sb = songBar(rb);
    int steps[8];
    int n = kickPattern(sb, steps);
    for (int k = 0; k < n; ++k) {
      size_t i0 = frameAt(onset(rb, steps[k]));
      size_t len = frameAt(0.45);
      for (size_t j = 0; j < len && i0 + j < RENDER_FRAMES; ++j) {
        float t = (float)j / RATE;
        float shape = t < 0.006f ? t / 0.006f : std::exp(-(t - 0.006f) / 0.11f);
        shape *= kickLevel(sb);
        mix.duck[i0 + j] = std::max(mix.duck[i0 + j], shape);
      }
    }
  }
}

void composeBar(int rb) {
  const int sb = songBar(rb);
  const int slot = sb / 4;
  const int inSlot = sb % 4;
  const double t0 = rb * BAR;
  const Chord& chord = *CHORDS[sb];
  const bool build = isBuildBar(sb);
  const bool drop = slot == 8;
  const bool climax = slot == 9 || slot == 10;
  // Section levels in dB: a soft start that grows through the credits, the builds
  // climbing into the drop, everything from the drop to the climax at full level.
  const float levels[12] = {-5.0f, -4.0f, -3.5f, -3.5f, -3.0f, -3.0f,
                            -2.5f, -2.5f, 0.0f,  0.0f,  0.0f,  -3.0f};
  float level = levels[slot];
  if (build) level = sb % 2 == 0 ? -2.0f : -1.0f;
  sectionGain = std::pow(10.0f, level / 20.0f);

  // Drums.
  int steps[8];
  int kicks = kickPattern(sb, steps);
  for (int k = 0; k < kicks; ++k)
    kick(onset(rb, steps[k]), kickLevel(sb) * (steps[k] == 14 ? 0.8f : 1.0f));

  // The last eighth before the drop is a breath: only tails sound in it.
  const bool lastBuildBar = sb == 31 || sb == 47;
  const int lastStep = lastBuildBar ? 14 : 16;

  if (build) {
    // Snare roll: eighths, then sixteenths, then thirty-seconds in the last beat.
    bool last = lastBuildBar;
    int divisions = last ? 16 : 8;
    for (int k = 0; k < (last ? lastStep : divisions); ++k) {
      double at = (double)k / divisions;
      float vel = last ? 0.55f + 0.45f * (float)at : 0.3f + 0.25f * (float)at;
      snare(t0 + at * BAR, vel, 0.3f);
      if (last && k >= 12) snare(t0 + (at + 0.5 / divisions) * BAR, vel * 0.9f, 0.3f);
    }
  } else if (slot >= 3 && !(slot == 11 && inSlot < 2)) {
    clap(t0 + 4 * STEP, 1.0f);
    clap(t0 + 12 * STEP, 1.0f);
    if (drop || climax) {
      snare(t0 + 4 * STEP, 0.5f, 0.2f);
      snare(t0 + 12 * STEP, 0.5f, 0.2f);
    }
  }

  if (slot >= 2) {
    Rng human(seedOf(20, seedBar(sb), 0));
    for (int s = 0; s < lastStep; ++s) {
      float h = 0.85f + 0.15f * human.unit();
      bool offbeat = s % 4 == 2;
      if (slot == 2) {
        if (offbeat) hat(onset(rb, s), 0.8f * h, false);
      } else if (slot == 3 || (slot == 11 && inSlot < 2)) {
        hat(onset(rb, s), (offbeat ? 0.9f : 0.45f) * h, false);
      } else if (build) {
        float rise = sb == 31 || sb == 47 ? 0.6f + 0.4f * s / 15.0f : 0.7f;
        hat(onset(rb, s), rise * (s % 2 == 0 ? 1.0f : 0.6f) * h, false);
      } else {
        if (offbeat) {
          hat(onset(rb, s), (drop || climax ? 1.0f : 0.8f) * h, true);
        } else {
          hat(onset(rb, s), (s % 4 == 0 ? 0.7f : 0.5f) * h, false);
        }
      }
    }
  }

  // Cymbals, fills and effects at the seams of the form.
  if (sb == 4) crash(t0, 0.25f);
  if (sb == 8) crash(t0, 0.45f);
  if (sb == 16 || sb == 20 || sb == 24 || sb == 36 || sb == 40) crash(t0, 1.0f);
  if (sb == LOOP_BAR) {
    crash(onset(rb, 0), 1.1f);
    boom(onset(rb, 0), 1.0f);
  }
  if (sb == 3) swell(t0 + 0.5 * BAR, 0.5 * BAR, 0.8f);
  if (sb == 15) swell(t0, BAR, 1.0f);
  if (sb == 30 || sb == 46) riser(t0, 2.0 * BAR - 2.0 * STEP, 1.0f);
  if (sb == 35 || sb == 39) {
    // Tom fill down the last two beats.
    const int fill[6] = {8, 10, 11, 12, 14, 15};
    const float pitch[6] = {52.0f, 50.0f, 50.0f, 47.0f, 45.0f, 43.0f};
    for (int k = 0; k < 6; ++k) tom(t0 + fill[k] * STEP, pitch[k], 0.8f, 0.4f - 0.16f * k);
  }

  // Bass.
  if (slot >= 2) {
    const int root = chord.bass;
    if (slot == 2) {
      bass(t0, (float)root, 6 * STEP, 0.8f, 240.0f + 60.0f * inSlot, 1.5f);
      bass(t0 + 8 * STEP, (float)root, 6 * STEP, 0.75f, 240.0f + 60.0f * inSlot, 1.5f);
    } else if (slot == 11 && inSlot < 2) {
      bass(t0, (float)root, 14 * STEP, 0.85f, 300.0f, 1.2f);
    } else if (drop || climax) {
      // Rolling sixteenths between the kicks.
      for (int s = 0; s < 16; ++s) {
        if (s % 4 == 0) continue;
        int midi = root + (s % 4 == 2 ? 12 : 0);
        bass(t0 + s * STEP, (float)midi, STEP * 0.8, s % 4 == 2 ? 0.95f : 0.85f, 420.0f, 3.5f);
      }
    } else if (build && (sb == 31 || sb == 47)) {
      for (int s = 0; s < 8; s += 2)
        bass(t0 + s * STEP, (float)root, STEP * 1.6, 0.9f, 500.0f, 3.0f);
    } else {
      // Driving eighths with an octave pop.
      const int octave[8] = {0, 0, 12, 0, 0, 0, 12, 0};
      float cutoff = slot == 3 ? 330.0f : 400.0f;
      if (build) cutoff = 400.0f + 300.0f * (sb % 2);
      for (int k = 0; k < 8; ++k) {
        bass(t0 + 2 * k * STEP, (float)(root + octave[k]), STEP * 1.6, k % 2 == 0 ? 0.9f : 0.8f,
             cutoff, 2.8f);
      }
    }
  }

  // Pads: the harmonic bed, opening as the piece grows.
  {
    float cutoff = 1900.0f;
    float brighten = 1.0f;
    float vel = 1.0f;
    if (slot == 0) {
      cutoff = 350.0f * std::pow(1.6f, (float)inSlot);
      brighten = 1.6f;
      vel = 0.9f;
    } else if (slot == 1) {
      cutoff = 1100.0f + 150.0f * inSlot;
    } else if (build) {
      cutoff = sb % 2 == 0 ? 1500.0f : 3000.0f;
      brighten = 2.0f;
    } else if (drop) {
      cutoff = 2600.0f;
      vel = 0.7f;
    } else if (climax) {
      cutoff = 3600.0f;
    } else if (slot == 11) {
      cutoff = 1700.0f;
    } else if (slot >= 5) {
      cutoff = 2300.0f;
    }
    pad(t0, chord.pad, lastBuildBar ? 12 * STEP : BAR, cutoff, brighten, vel,
        seedOf(30, seedBar(sb), 0));
  }

  // Drop hook: stabbed chords an octave up.
  if (drop) {
    int up[4];
    for (int k = 0; k < 4; ++k) up[k] = chord.pad[k] + 12;
    const int hits[6] = {0, 3, 6, 8, 10, 13};
    const int lengths[6] = {2, 2, 2, 1, 2, 2};
    for (int k = 0; k < 6; ++k) {
      stab(onset(rb, hits[k]), up, lengths[k] * STEP * 0.9, k == 0 ? 1.0f : 0.85f,
           seedOf(31, sb, k));
    }
  }

  // Arpeggio: chord tones rising and falling in sixteenths.
  if (slot >= 1 || inSlot >= 2) {
    int tones[5];
    int lift = drop ? 24 : 12;
    for (int k = 0; k < 4; ++k) tones[k] = chord.pad[k] + lift;
    tones[4] = chord.pad[0] + lift + 12;
    const int order[16] = {0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3, 4, 3, 2, 1};
    float cutoff;
    float vel = 1.0f;
    if (slot == 0) {
      cutoff = 500.0f + 200.0f * (inSlot - 2);
      vel = 0.5f + 0.2f * (inSlot - 2);
    } else if (slot == 1) {
      cutoff = 700.0f + 200.0f * inSlot;
      vel = 0.8f;
    } else if (build) {
      cutoff = 1600.0f + 1800.0f * (float)(sb % 2);
    } else if (drop) {
      cutoff = 2400.0f;
      vel = 0.75f;
    } else if (climax) {
      cutoff = 2000.0f;
      vel = 0.8f;
    } else {
      cutoff = 1300.0f + 60.0f * (float)(slot - 2);
    }
    for (int s = 0; s < lastStep; ++s) {
      float accent = s % 4 == 0 ? 1.0f : 0.8f;
      arp(onset(rb, s), (float)tones[order[s]], STEP * 0.7, vel * accent, cutoff,
          s % 2 == 0 ? -0.35f : 0.35f);
    }
  }

  // Bells: the opening motif, and sparks over the fountain (80 to 88 s).
  if (slot <= 1) {
    const int at[3] = {0, 6, 10};
    const int voice[3] = {3, 1, 2};
    float vel = slot == 0 ? 0.9f : 0.55f;
    for (int k = 0; k < 3; ++k) {
      bell(t0 + at[k] * STEP, (float)(chord.pad[voice[k]] + 12), vel, -0.4f + 0.4f * k, 0.9f);
    }
  }
  if (drop) {
    Rng sparks(seedOf(40, sb, 0));
    for (int s = 0; s < 16; s += 2) {
      double at = onset(rb, s);
      if ((double)sb * BAR + s * STEP >= 88.0) break;
      int tone = chord.pad[sparks.next() % 4] + 24 + (sparks.next() % 2 ? 12 : 0);
      bell(at, (float)tone, 0.45f + 0.2f * sparks.unit(), sparks.bipolar() * 0.8f, 0.5f);
    }
  }

  // Lead.
  if (slot == 5) playMelody(THEME_A, inSlot, rb, 1.0f, 0);
  if (slot == 6) playMelody(THEME_A2, inSlot, rb, 1.0f, 0);
  if (slot == 9) playMelody(THEME_B, inSlot, rb, 1.0f, 0);
  if (slot == 10) {
    playMelody(THEME_B2, inSlot, rb, 1.0f, 0);
    playMelody(THEME_B2, inSlot, rb, 0.45f, -12);
    for (const Note& n : THEME_B2) {
      if (n.bar == inSlot && n.step % 4 == 0) {
        bell(t0 + n.step * STEP, (float)(n.midi + 12), 0.35f, 0.3f, 0.6f);
      }
    }
  }
  if (sb == 44) playMelody(HOMECOMING, 0, rb, 1.0f, 0);
}

// ---- Effects ------------------------------------------------------------------------------

struct DelayLine {
  std::vector<float> buf;
  size_t pos = 0;
  explicit DelayLine(size_t n) : buf(n, 0.0f) {}
  float read(size_t delay) const {
    size_t n = buf.size();
    return buf[(pos + n - delay) % n];
  }
  float readFrac(float delay) const {
    size_t whole = (size_t)delay;
    float frac = delay - (float)whole;
    return read(whole) * (1.0f - frac) + read(whole + 1) * frac;
  }
  void write(float v) {
    buf[pos] = v;
    pos = (pos + 1) % buf.size();
  }
};

// Dattorro's plate: input diffusion into a figure-eight tank, tapped for a wide stereo field.
void plateReverb(const Stereo& in, Stereo& out, float decay, float damping, float wet) {
  const double scale = RATE / 29761.0;
  auto len = [&](int n) { return (size_t)std::lround(n * scale); };
  DelayLine pre(len(600) + 2);
  DelayLine d1(len(142) + 2), d2(len(107) + 2), d3(len(379) + 2), d4(len(277) + 2);
  DelayLine apL(len(672) + 64), dlL(len(4453) + 2), ap2L(len(1800) + 2), dl2L(len(3720) + 2);
  DelayLine apR(len(908) + 64), dlR(len(4217) + 2), ap2R(len(2656) + 2), dl2R(len(3163) + 2);
  float bw = 0.0f, dampL = 0.0f, dampR = 0.0f;
  float feedL = 0.0f, feedR = 0.0f;
  const float excursion = 16.0f * (float)scale;

  auto allpass = [](DelayLine& d, size_t n, float g, float x) {
    float delayed = d.read(n);
    float v = x + g * delayed;
    d.write(v);
    return delayed - g * v;
  };
  auto allpassMod = [](DelayLine& d, float n, float g, float x) {
    float delayed = d.readFrac(n);
    float v = x - g * delayed;
    d.write(v);
    return delayed + g * v;
  };

  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    float x = (in.l[i] + in.r[i]) * 0.5f;
    float p = pre.read(len(600));
    pre.write(x);
    bw += 0.75f * (p - bw);
    float s = allpass(d1, len(142), 0.75f, bw);
    s = allpass(d2, len(107), 0.75f, s);
    s = allpass(d3, len(379), 0.625f, s);
    s = allpass(d4, len(277), 0.625f, s);

    // The modulation repeats every 2 s, so it too runs in step with the 40 s loop.
    double phase = 2.0 * PI * 0.5 * (double)i / RATE;
    float modL = excursion * (1.0f + (float)std::sin(phase));
    float modR = excursion * (1.0f + (float)std::cos(phase));

    float l = allpassMod(apL, (float)len(672) + modL, 0.7f, s + feedR * decay);
    float tl = dlL.read(len(4453));
    dlL.write(l);
    dampL += (1.0f - damping) * (tl - dampL);
    float l2 = allpass(ap2L, len(1800), 0.5f, dampL * decay);
    float ol = dl2L.read(len(3720));
    dl2L.write(l2);

    float r = allpassMod(apR, (float)len(908) + modR, 0.7f, s + feedL * decay);
    float tr = dlR.read(len(4217));
    dlR.write(r);
    dampR += (1.0f - damping) * (tr - dampR);
    float r2 = allpass(ap2R, len(2656), 0.5f, dampR * decay);
    float orr = dl2R.read(len(3163));
    dl2R.write(r2);
    feedL = ol;
    feedR = orr;

    float yl = dlR.read(len(266)) + dlR.read(len(2974)) - ap2R.read(len(1913)) +
               dl2R.read(len(1996)) - dlL.read(len(1990)) - ap2L.read(len(187)) -
               dl2L.read(len(1066));
    float yr = dlL.read(len(353)) + dlL.read(len(3627)) - ap2L.read(len(1228)) +
               dl2L.read(len(2673)) - dlR.read(len(2111)) - ap2R.read(len(335)) -
               dl2R.read(len(121));
    out.l[i] += yl * wet;
    out.r[i] += yr * wet;
  }
}

// Ping-pong echo on the dotted eighth, darkened and thinned on every repeat.
void pingPong(const Stereo& in, Stereo& out, Stereo& reverbSend, float feedback, float wet) {
  const size_t delay = frameAt(3.0 * STEP);
  DelayLine left(delay + 1), right(delay + 1);
  Svf lpL, lpR, hpL, hpR;
  lpL.tune(3800.0f, 0.7f);
  lpR.tune(3800.0f, 0.7f);
  hpL.tune(250.0f, 0.7f);
  hpR.tune(250.0f, 0.7f);
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    float outL = left.read(delay);
    float outR = right.read(delay);
    lpL.run(outR * feedback + (in.l[i] + in.r[i]) * 0.5f);
    hpL.run(lpL.lp);
    lpR.run(outL * feedback);
    hpR.run(lpR.lp);
    left.write(hpL.hp);
    right.write(hpR.hp);
    out.l[i] += outL * wet;
    out.r[i] += outR * wet;
    reverbSend.l[i] += outL * wet * 0.3f;
    reverbSend.r[i] += outR * wet * 0.3f;
  }
}

// ---- Mastering ----------------------------------------------------------------------------

// Integrated loudness (ITU-R BS.1770: K-weighting, 400 ms blocks, both gates) in LUFS.
double integratedLoudness(const float* lr, size_t frames) {
  auto design = [](double* b, double* a) {
    const double fs = RATE;
    double f0 = 1681.974450955533, g = 3.999843853973347, q = 0.7071752369554196;
    double k = std::tan(PI * f0 / fs);
    double vh = std::pow(10.0, g / 20.0), vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    b[0] = (vh + vb * k / q + k * k) / a0;
    b[1] = 2.0 * (k * k - vh) / a0;
    b[2] = (vh - vb * k / q + k * k) / a0;
    a[0] = 2.0 * (k * k - 1.0) / a0;
    a[1] = (1.0 - k / q + k * k) / a0;
    f0 = 38.13547087602444;
    q = 0.5003270373238773;
    k = std::tan(PI * f0 / fs);
    double a02 = 1.0 + k / q + k * k;
    b[3] = 1.0;
    b[4] = -2.0;
    b[5] = 1.0;
    a[2] = 2.0 * (k * k - 1.0) / a02;
    a[3] = (1.0 - k / q + k * k) / a02;
  };
  double b[6], a[4];
  design(b, a);
  const size_t hop = RATE / 10;  // 100 ms: blocks of four hops overlap by 75 %
  std::vector<double> hopEnergy;
  double z[2][4] = {};
  double acc = 0.0;
  for (size_t i = 0; i < frames; ++i) {
    for (int c = 0; c < 2; ++c) {
      double x = lr[2 * i + c];
      double* s = z[c];
      double y1 = b[0] * x + s[0];
      s[0] = b[1] * x - a[0] * y1 + s[1];
      s[1] = b[2] * x - a[1] * y1;
      double y2 = b[3] * y1 + s[2];
      s[2] = b[4] * y1 - a[2] * y2 + s[3];
      s[3] = b[5] * y1 - a[3] * y2;
      acc += y2 * y2;
    }
    if ((i + 1) % hop == 0) {
      hopEnergy.push_back(acc / hop);
      acc = 0.0;
    }
  }
  std::vector<double> blocks;
  for (size_t h = 3; h < hopEnergy.size(); ++h) {
    blocks.push_back((hopEnergy[h] + hopEnergy[h - 1] + hopEnergy[h - 2] + hopEnergy[h - 3]) / 4.0);
  }
  auto lufs = [](double e) { return -0.691 + 10.0 * std::log10(std::max(e, 1e-20)); };
  double sum = 0.0;
  size_t n = 0;
  for (double e : blocks) {
    if (lufs(e) > -70.0) {
      sum += e;
      ++n;
    }
  }
  if (n == 0) return -70.0;
  double relative = lufs(sum / n) - 10.0;
  sum = 0.0;
  n = 0;
  for (double e : blocks) {
    if (lufs(e) > -70.0 && lufs(e) > relative) {
      sum += e;
      ++n;
    }
  }
  return n ? lufs(sum / n) : -70.0;
}

// True peak in dBTP: the largest magnitude after four-times oversampling (SDL's resampler).
double truePeak(const float* lr, size_t frames) {
  SDL_AudioStream* up = SDL_NewAudioStream(AUDIO_F32SYS, 2, RATE, AUDIO_F32SYS, 2, RATE * 4);
  if (!up) return 0.0;
  float peak = 0.0f;
  std::vector<float> outBuf(65536);
  auto drain = [&]() {
    int got;
    while ((got = SDL_AudioStreamGet(up, outBuf.data(), (int)(outBuf.size() * sizeof(float)))) >
           0) {
      for (int k = 0; k < got / (int)sizeof(float); ++k)
        peak = std::max(peak, std::fabs(outBuf[k]));
    }
  };
  const size_t chunk = 8192;
  for (size_t i = 0; i < frames; i += chunk) {
    size_t n = std::min(chunk, frames - i);
    SDL_AudioStreamPut(up, lr + 2 * i, (int)(n * 2 * sizeof(float)));
    drain();
  }
  SDL_AudioStreamFlush(up);
  drain();
  SDL_FreeAudioStream(up);
  for (size_t i = 0; i < frames * 2; ++i) peak = std::max(peak, std::fabs(lr[i]));
  return 20.0 * std::log10(std::max(peak, 1e-9f));
}

// Bus glue and a look-ahead peak limiter, run over the whole render so that the loop's
// second pass is processed in the same state as any later one.
struct MasterStats {
  float deepestLimitDb;  // largest limiter gain reduction
  float limitedShare;    // share of the time the limiter takes more than 1 dB
};

MasterStats master(const Stereo& in, std::vector<float>& out, float gain, float ceilingDb) {
  out.assign(RENDER_FRAMES * 2, 0.0f);
  Svf hpL, hpR;
  hpL.tune(24.0f, 0.7f);
  hpR.tune(24.0f, 0.7f);
  // Glue compressor: gentle ratio, RMS-ish detector.
  float env = 0.0f;
  const float attack = 1.0f - std::exp(-1.0f / (0.012f * RATE));
  const float release = 1.0f - std::exp(-1.0f / (0.180f * RATE));
  const float threshold = 0.35f;
  std::vector<float> glued(RENDER_FRAMES * 2);
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    hpL.run(in.l[i] * gain);
    hpR.run(in.r[i] * gain);
    float l = hpL.hp, r = hpR.hp;
    float level = std::sqrt(0.5f * (l * l + r * r));
    env += (level > env ? attack : release) * (level - env);
    float g = 1.0f;
    if (env > threshold) g = std::pow(env / threshold, 1.0f / 1.5f - 1.0f);
    glued[2 * i] = l * g;
    glued[2 * i + 1] = r * g;
  }
  // Limiter: the gain reaches its target by the time the peak arrives, then recovers.
  const float ceiling = (float)std::pow(10.0, ceilingDb / 20.0);
  const size_t lookahead = frameAt(0.004);
  std::vector<float> target(RENDER_FRAMES, 1.0f);
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    float peak = std::max(std::fabs(glued[2 * i]), std::fabs(glued[2 * i + 1]));
    if (peak > ceiling) target[i] = ceiling / peak;
  }
  // Lowest gain needed anywhere in the look-ahead window.
  std::vector<float> windowMin(RENDER_FRAMES, 1.0f);
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    if (target[i] >= 1.0f) continue;
    size_t from = i > lookahead ? i - lookahead : 0;
    for (size_t j = from; j <= i; ++j) windowMin[j] = std::min(windowMin[j], target[i]);
  }
  // Release: instant down, exponential back up; never above the window minimum.
  const float recover = 1.0f - std::exp(-1.0f / (0.08f * RATE));
  std::vector<float> released(RENDER_FRAMES);
  float g = 1.0f;
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    float want = windowMin[i];
    g = want < g ? want : g + recover * (want - g);
    released[i] = g;
  }
  // Attack: a box average over the look-ahead turns every drop into a ramp. Each averaged
  // value comes from a window that contains the current sample, so no peak gets through.
  const size_t box = lookahead + 1;
  std::vector<float> gainCurve(RENDER_FRAMES);
  double sum = 0.0;
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    sum += released[i];
    if (i >= box) sum -= released[i - box];
    gainCurve[i] = (float)(sum / (double)std::min(i + 1, box));
  }
  MasterStats stats{0.0f, 0.0f};
  size_t limited = 0;
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    out[2 * i] = glued[2 * i] * gainCurve[i];
    out[2 * i + 1] = glued[2 * i + 1] * gainCurve[i];
    float db = 20.0f * std::log10(gainCurve[i]);
    stats.deepestLimitDb = std::min(stats.deepestLimitDb, db);
    if (db < -1.0f) ++limited;
  }
  stats.limitedShare = (float)limited / (float)RENDER_FRAMES;
  return stats;
}

// The file: the first pass up to 80 s, then the loop's second pass.
std::vector<float> assemble(const std::vector<float>& render) {
  std::vector<float> song(SONG_FRAMES * 2);
  std::copy(render.begin(), render.begin() + LOOP_START * 2, song.begin());
  std::copy(render.begin() + SONG_FRAMES * 2, render.begin() + (SONG_FRAMES + LOOP_FRAMES) * 2,
            song.begin() + LOOP_START * 2);
  return song;
}

// ---- Encoding -----------------------------------------------------------------------------

bool encodeVorbis(const std::vector<float>& song, float quality, std::vector<unsigned char>& file) {
  file.clear();
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, 2, RATE, quality) != 0) return false;
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_comment_add_tag(&vc, "TITLE", "zOOv 2020");
  vorbis_comment_add_tag(&vc, "COMMENT", "loops from 80 s to the end");
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 0x20202020);
  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  ogg_page og;
  auto append = [&](const ogg_page& page) {
    file.insert(file.end(), page.header, page.header + page.header_len);
    file.insert(file.end(), page.body, page.body + page.body_len);
  };
  while (ogg_stream_flush(&os, &og) != 0) append(og);

  const size_t frames = song.size() / 2;
  const size_t chunk = 4096;
  bool done = false;
  size_t at = 0;
  while (!done) {
    size_t n = std::min(chunk, frames - at);
    if (n == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** buf = vorbis_analysis_buffer(&vd, (int)n);
      for (size_t i = 0; i < n; ++i) {
        buf[0][i] = song[2 * (at + i)];
        buf[1][i] = song[2 * (at + i) + 1];
      }
      vorbis_analysis_wrote(&vd, (int)n);
      at += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &og) != 0) {
          append(og);
          if (ogg_page_eos(&og)) done = true;
        }
      }
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s OUTPUT.ogg [--raw F32_STEREO_OUT]\n", argv[0]);
    return 2;
  }
  const char* output = argv[1];
  const char* rawOut = (argc >= 4 && strcmp(argv[2], "--raw") == 0) ? argv[3] : nullptr;

  auto started = std::chrono::steady_clock::now();
  auto elapsed = [&]() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };
  mix.dry.init(RENDER_FRAMES);
  mix.reverb.init(RENDER_FRAMES);
  mix.delay.init(RENDER_FRAMES);
  composeDucking();
  for (int rb = 0; rb < RENDER_BARS; ++rb) composeBar(rb);
  printf("[%5.1f s] composed %d bars (%.1f s of audio)\n", elapsed(), RENDER_BARS,
         RENDER_FRAMES / (double)RATE);

  pingPong(mix.delay, mix.dry, mix.reverb, 0.38f, 1.0f);
  plateReverb(mix.reverb, mix.dry, 0.72f, 0.35f, 0.55f);
  mix.reverb = Stereo();
  mix.delay = Stereo();
  printf("[%5.1f s] echoes and reverb\n", elapsed());

  // Level: set the gain from the loudness of the song as the file holds it, then let the
  // limiter trim the peaks; a couple of rounds settle the target.
  const double targetLufs = -14.0;
  double gainDb = 0.0;
  float ceilingDb = -2.2f;
  std::vector<float> rendered, song;
  double lastGainDb = 0.0, lastLoudness = 0.0;
  for (int round = 0; round < 8; ++round) {
    MasterStats stats = master(mix.dry, rendered, (float)std::pow(10.0, gainDb / 20.0), ceilingDb);
    song = assemble(rendered);
    double loudness = integratedLoudness(song.data(), SONG_FRAMES);
    printf(
        "[%5.1f s] master round %d: gain %+.2f dB, %.2f LUFS, limiter down to %.1f dB, "
        "beyond 1 dB %.1f %% of the time\n",
        elapsed(), round, gainDb, loudness, stats.deepestLimitDb, stats.limitedShare * 100.0f);
    if (std::fabs(loudness - targetLufs) < 0.05) break;
    // Secant steps: the compressor and limiter give back less than the gain put in.
    double slope = round == 0 ? 1.0 : (loudness - lastLoudness) / (gainDb - lastGainDb);
    slope = std::min(1.0, std::max(0.2, slope));
    lastGainDb = gainDb;
    lastLoudness = loudness;
    gainDb += (targetLufs - loudness) / slope;
  }
  rendered.clear();
  rendered.shrink_to_fit();

  if (rawOut) {
    FILE* f = fopen(rawOut, "wb");
    if (f) {
      fwrite(song.data(), sizeof(float), song.size(), f);
      fclose(f);
    }
  }

  std::vector<unsigned char> file;
  if (!encodeVorbis(song, 0.4f, file)) {
    fprintf(stderr, "make_soundtrack: the Vorbis encoder refused the settings\n");
    return 1;
  }

  // Check what the player will hear: decode the result with the engine itself.
  SoLoud::Wav check;
  check.loadMem(file.data(), file.size(), output);
  double lufs = integratedLoudness(check.getSamples(), check.getFrameCount());
  double peak = truePeak(check.getSamples(), check.getFrameCount());
  printf("[%5.1f s] encoded %zu bytes, %.3f s, %.2f LUFS, true peak %.2f dBTP\n", elapsed(),
         file.size(), check.getLength(), lufs, peak);
  // A change to the piece that misses the delivery targets must not slip into the asset.
  if (peak > -1.0 || std::fabs(lufs - targetLufs) > 0.5 || file.size() > 2500000 ||
      check.getFrameCount() != SONG_FRAMES) {
    fprintf(stderr, "make_soundtrack: the result misses its targets; %s not written\n", output);
    return 1;
  }

  FILE* f = fopen(output, "wb");
  if (!f || fwrite(file.data(), 1, file.size(), f) != file.size()) {
    fprintf(stderr, "make_soundtrack: cannot write %s\n", output);
    if (f) fclose(f);
    return 1;
  }
  fclose(f);
  return 0;
}
