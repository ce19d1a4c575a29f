// make_soundtrack: composes, renders, masters and encodes the show's soundtrack,
// assets/zoov2020.ogg, from nothing but this file. Deterministic: the same build gives the
// same file. Usage: make_soundtrack OUTPUT.ogg [--raw RAW_F32_STEREO_OUT] [--stems DIR]
//
// The piece is 120 s of A minor at 96 BPM: four 4/4 bars to each ten-second step of the
// show, 48 bars in all. Bars 32..47 (80..120 s) are the loop the player repeats. To make
// the loop seamless, the renderer plays the song and then the loop once more and keeps
// that second pass as the file's 80..120 s: every reverb tail, delay echo and release that
// crosses the loop's end is then already part of its start. Bars 31 and 47 are the same
// build-up, so the first arrival at 80 s sounds like every later one.
//
// --stems DIR also writes every part of the band on its own (DIR/NAME.wav, 32-bit float,
// with its own echoes and reverb and the master gain, before the bus compressor and the
// limiter), and one bell at the highest pitch the piece gives it, dry (DIR/bell-probe.wav
// with its carrier and modulator ratio in DIR/bell-probe.txt), so the mix can be measured
// part by part (tools/measure-soundtrack.sh).
#include <SDL.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "loudness.h"
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
int seedBar(int sb) { return sb == SONG_BARS - 1 ? sb - LOOP_BARS : sb; }

// A note's seed comes from where it sits in the song, not in the render, so every pass
// through the loop plays the same noise.
uint64_t noteSeed(int instrument, double renderTime, int extra) {
  int renderBar = (int)std::floor(renderTime / BAR + 1e-9);
  double inBar = renderTime - renderBar * BAR;
  int sixtyFourth = (int)std::lround(inBar / (STEP / 4.0));
  return seedOf(instrument, seedBar(songBar(renderBar)) * 64 + sixtyFourth, extra);
}

// ---- Feel: swing on the sixteenths, a few milliseconds of looseness and uneven velocity,
// as a player would have them. The kick alone stays on the grid: it is the clock.

constexpr double SWING = 0.56;  // the first sixteenth of each eighth takes 56 % of it

// When a note played on the given sixteenth sounds. `part` seeds its own looseness.
double feel(int part, int renderBar, double step, bool swing, float looseMs) {
  double t = onset(renderBar, step);
  double whole;
  if (swing && std::modf(step / 2.0, &whole) == 0.5) t += (2.0 * SWING - 1.0) * STEP;
  // Nothing lands before the drop's downbeat: the seam stays in the breath before it.
  if (songBar(renderBar) == LOOP_BAR && step == 0.0) return t;
  Rng r(noteSeed(part, onset(renderBar, step), 911));
  return t + (double)(r.bipolar() * looseMs) * 1e-3;
}

// A velocity near `vel`, different for each note but the same on every pass.
float vary(int part, int renderBar, double step, float vel, float amount) {
  Rng r(noteSeed(part, onset(renderBar, step), 912));
  return vel * (1.0f + amount * r.bipolar());
}

// ---- The parts of the band, each of which can be rendered alone ---------------------------

enum Part {
  KICK,
  SNARE,
  CLAP,
  HATS,
  CYMBALS,
  TOMS,
  EFFECTS,
  BASS,
  PAD,
  STAB,
  ARP,
  LEAD,
  COUNTER,
  BELLS,
  PART_COUNT
};
const char* const PART_NAMES[PART_COUNT] = {"kick", "snare", "clap",    "hats", "cymbals",
                                            "toms", "fx",    "bass",    "pad",  "stab",
                                            "arp",  "lead",  "counter", "bells"};

int soloPart = -1;  // -1: the whole band
bool muted(Part p) { return soloPart >= 0 && soloPart != (int)p; }

// The highest bell the piece plays: the one most at risk of folding partials back.
float highestBell = 0.0f;
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

// ---- Instruments: each renders one note straight into the mix ---------------------------

// Tuned to A (55 Hz), a short body so the bass owns the low end between the beats.
void kick(double t0, float vel) {
  if (muted(KICK)) return;
  const Placed strip = place(Strip{0.50f * vel, 0.0f, 0.03f, 0.0f, 0.0f});
  size_t i0 = frameAt(t0);
  const float length = 0.32f;
  size_t n = frameAt(length);
  Osc body;
  Rng rng(noteSeed(1, t0, 0));
  Svf click;
  click.tune(3000.0f, 0.7f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float hz = 55.0f + 80.0f * std::exp(-t / 0.022f) + 260.0f * std::exp(-t / 0.0025f);
    float amp = std::min(1.0f, t / 0.0006f) * (t < 0.03f ? 1.0f : std::exp(-(t - 0.03f) / 0.075f));
    if (t > length - 0.05f) amp *= (length - t) / 0.05f;
    click.run(rng.bipolar());
    float v = body.sine(hz / RATE) * amp +
              click.hp * 0.5f * std::min(1.0f, t / 0.0003f) * std::exp(-t / 0.005f);
    v = std::tanh(2.0f * v) / std::tanh(2.0f);
    put(strip, i0 + j, v, v);
  }
}

void snare(double t0, float vel, float room) {
  if (muted(SNARE)) return;
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
    float tone = (a.sine((185.0f + 60.0f * std::exp(-t / 0.01f)) / RATE) * 0.8f +
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
  if (muted(CLAP)) return;
  const Placed strip = place(Strip{0.75f * vel, -0.05f, 0.25f, 0.0f, 0.0f});
  size_t i0 = frameAt(t0);
  size_t n = frameAt(0.45);
  Rng rngL(noteSeed(3, t0, 1)), rngR(noteSeed(3, t0, 2));
  Svf fl, fr, sl, sr;
  fl.tune(1250.0f, 1.2f);
  fr.tune(1350.0f, 1.2f);
  sl.tune(3200.0f, 1.0f);
  sr.tune(3400.0f, 1.0f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float env = 0.0f;
    const float bursts[3] = {0.0f, 0.010f, 0.021f};
    for (float tb : bursts) {
      if (t >= tb) env += std::min(1.0f, (t - tb) / 0.0005f) * std::exp(-(t - tb) / 0.0045f);
    }
    if (t >= 0.031f)
      env += 0.9f * std::min(1.0f, (t - 0.031f) / 0.001f) * std::exp(-(t - 0.031f) / 0.11f);
    if (t > 0.4f) env *= (0.45f - t) / 0.05f;
    float nl = rngL.bipolar(), nr = rngR.bipolar();
    fl.run(nl);
    fr.run(nr);
    sl.run(nl);
    sr.run(nr);
    put(strip, i0 + j, (fl.bp * 2.0f + sl.bp * 0.9f) * env, (fr.bp * 2.0f + sr.bp * 0.9f) * env);
  }
}

// Six detuned square waves, the classic metallic source for cymbals, with a little noise,
// band-passed around 8 kHz so the hat has a ring and a body instead of a hiss.
void hat(double t0, float vel, bool open, float pan) {
  if (muted(HATS)) return;
  const Placed strip = place(Strip{(open ? 0.36f : 0.50f) * vel, pan, 0.10f, 0.0f, 0.1f});
  const float ratios[6] = {1.0f, 1.4826f, 1.8002f, 2.5461f, 2.6302f, 3.8966f};
  size_t i0 = frameAt(t0);
  float decay = open ? 0.16f : 0.03f;
  float length = open ? 0.9f : 0.2f;
  size_t n = frameAt(length);
  Osc osc[6];
  Rng rng(noteSeed(4, t0, open ? 1 : 0));
  for (int k = 0; k < 6; ++k) osc[k].phase = rng.unit();
  Svf hp, bp, body;
  hp.tune(4500.0f, 0.7f);
  bp.tune(8200.0f, 1.1f);
  body.tune(5200.0f, 2.0f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float metal = 0.0f;
    for (int k = 0; k < 6; ++k) metal += osc[k].pulse(540.0 * ratios[k] / RATE, 0.5);
    float src = metal * 0.22f + rng.bipolar() * 0.35f;
    hp.run(src);
    bp.run(hp.hp);
    body.run(hp.hp);
    float env = std::min(1.0f, t / 0.0005f) * std::exp(-t / decay);
    if (t > length - 0.05f) env *= (length - t) / 0.05f;
    float v = (bp.bp * 1.4f + body.bp * 0.5f) * env;
    put(strip, i0 + j, v, v);
  }
}

void crash(double t0, float vel) {
  if (muted(CYMBALS)) return;
  const Placed strip = place(Strip{0.16f * vel, 0.0f, 0.22f, 0.0f, 0.0f});
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
  if (muted(TOMS)) return;
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
  if (muted(EFFECTS)) return;
  const Placed strip = place(Strip{0.2f * vel, 0.0f, 0.45f, 0.15f, 0.0f});
  size_t i0 = frameAt(t0);
  size_t n = frameAt(duration);
  Rng rngL(noteSeed(7, t0, 1)), rngR(noteSeed(7, t0, 2));
  Svf fl, fr;
  Osc sweep;
  for (size_t j = 0; j < n; ++j) {
    float x = (float)j / (float)n;
    if (j % 16 == 0) {
      float hz = 500.0f * std::pow(20.0f, x);
      fl.tune(hz, 2.5f);
      fr.tune(hz * 1.07f, 2.5f);
    }
    float tone = sweep.saw(noteHz(57.0f + 24.0f * x * x) / RATE) * 0.08f;
    fl.run(rngL.bipolar() + tone);
    fr.run(rngR.bipolar() + tone);
    float env = x * x;
    float tail = std::min(1.0f, (float)(n - j) / (0.004f * RATE));
    put(strip, i0 + j, fl.bp * env * tail, fr.bp * env * tail);
  }
}

// A cymbal played backwards: swells up to the downbeat it leads into.
void swell(double t0, double duration, float vel) {
  if (muted(CYMBALS)) return;
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

// The weight under the drop: a falling tone from A down to the sub.
void boom(double t0, float vel) {
  if (muted(EFFECTS)) return;
  const Placed strip = place(Strip{0.55f * vel, 0.0f, 0.12f, 0.0f, 0.0f});
  size_t i0 = frameAt(t0);
  const float length = 1.8f;
  size_t n = frameAt(length);
  Osc o;
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float hz = 41.2f + 13.8f * std::exp(-t / 0.35f);
    float v = o.sine(hz / RATE) * std::min(1.0f, t / 0.003f) * std::exp(-t / 0.5f);
    if (t > length - 0.2f) v *= (length - t) / 0.2f;
    v = std::tanh(1.5f * v);
    put(strip, i0 + j, v, v);
  }
}

// Two saws and a sub, driven: the low end is the sub, the body and the growl (100-800 Hz)
// come from the saws through an open filter and the drive.
void bass(double t0, float midi, double gate, float vel, float cutoff, float bite) {
  if (muted(BASS)) return;
  const Placed strip = place(Strip{0.62f * vel, 0.0f, 0.0f, 0.0f, 0.35f});
  const Adsr env{0.002f, 0.22f, 0.7f, 0.03f};
  size_t i0 = frameAt(t0);
  size_t n = frameAt(envelopeLength(env, (float)gate));
  float hz = noteHz(midi);
  Osc a, b, sub;
  Rng rng(noteSeed(9, t0, (int)midi));
  a.phase = rng.unit();
  b.phase = rng.unit();
  Svf f1, f2, low;
  low.tune(90.0f, 0.7f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    if (j % 8 == 0) {
      float c = cutoff * (1.0f + bite * std::exp(-t / 0.08f));
      f1.tune(c, 1.1f);
      f2.tune(c, 0.7f);
    }
    float raw = a.saw(hz / RATE) * 0.5f + b.saw(hz * 1.006f / RATE) * 0.5f;
    f1.run(raw);
    f2.run(f1.lp);
    low.run(f2.lp);
    // The saws' own lowest partials give way to the clean sub below 90 Hz.
    float v = (f2.lp - 0.5f * low.lp) * 1.3f + sub.sine(hz / RATE) * 0.3f;
    v = std::tanh(1.9f * v * envelope(env, t, (float)gate));
    put(strip, i0 + j, v, v);
  }
}

// Seven detuned saws per note, spread across the stereo field. A gate pattern (one bit
// per sixteenth, counted from `gateZero`) chops it into a rhythm when asked.
void supersaw(double t0, const int* notes, int count, double gate, const Adsr& env,
              const Placed& strip, float cutoffStart, float cutoffEnd, float cutoffDecay,
              uint64_t seed, unsigned gatePattern = 0, double gateZero = 0.0) {
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
    hl.tune(180.0f, 0.7f);
    hr.tune(180.0f, 0.7f);
    float chop = 1.0f;
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
      if (gatePattern) {
        double pos = (t0 + t - gateZero) / STEP;
        double whole = std::floor(pos);
        int step = ((int)whole % 16 + 16) % 16;
        bool on = (gatePattern >> (15 - step)) & 1u;
        float want = on && pos - whole < 0.72 ? 1.0f : 0.12f;
        chop += (want - chop) * (want > chop ? 0.02f : 0.006f);  // a few ms each way
        e *= chop;
      }
      put(strip, i0 + j, fl.lp * e, fr.lp * e);
    }
  }
}

void stab(double t0, const int* notes, double gate, float vel, uint64_t seed) {
  if (muted(STAB)) return;
  const Placed strip = place(Strip{0.26f * vel, 0.0f, 0.22f, 0.12f, 0.4f});
  const Adsr env{0.003f, 0.14f, 0.3f, 0.1f};
  supersaw(t0, notes, 4, gate, env, strip, 9000.0f, 2600.0f, 0.12f, seed);
}

void arp(double t0, float midi, double gate, float vel, float cutoff, float pan) {
  if (muted(ARP)) return;
  const Placed strip = place(Strip{0.20f * vel, pan, 0.18f, 0.28f, 0.3f});
  const Adsr env{0.0015f, 0.14f, 0.25f, 0.08f};
  size_t i0 = frameAt(t0);
  size_t n = frameAt(envelopeLength(env, (float)gate));
  float hz = noteHz(midi);
  Osc p, s;
  Svf f;
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    if (j % 8 == 0) f.tune(cutoff * (1.0f + 2.0f * std::exp(-t / 0.06f)), 1.6f);
    float raw = p.pulse(hz / RATE, 0.3) * 0.55f + s.saw(hz * 1.003f / RATE) * 0.45f;
    f.run(raw);
    float v = f.lp * envelope(env, t, (float)gate);
    put(strip, i0 + j, v, v);
  }
}

// The lead: two detuned saws and a square an octave down, with glide and delayed vibrato,
// driven a little and lifted at 3 kHz so it speaks over the band.
void lead(double t0, float midi, double gate, float vel, float fromMidi, float gain) {
  if (muted(LEAD)) return;
  const Placed strip = place(Strip{0.38f * vel * gain, 0.0f, 0.22f, 0.22f, 0.15f});
  const Adsr env{0.006f, 0.45f, 0.8f, 0.16f};
  size_t i0 = frameAt(t0);
  size_t n = frameAt(envelopeLength(env, (float)gate));
  Osc a, b, c;
  Rng rng(noteSeed(10, t0, (int)midi));
  a.phase = rng.unit();
  b.phase = rng.unit();
  c.phase = rng.unit();
  Svf fl, fr, presL, presR, lowL, lowR;
  presL.tune(3000.0f, 1.2f);
  presR.tune(3000.0f, 1.2f);
  lowL.tune(300.0f, 0.7f);
  lowR.tune(300.0f, 0.7f);
  float vibPhase = 0.0f;
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float pitch = midi;
    if (fromMidi > 0.0f) pitch = midi + (fromMidi - midi) * std::exp(-t / 0.03f);
    float vibDepth = 0.14f * std::min(1.0f, std::max(0.0f, (t - 0.22f) / 0.3f));
    vibPhase += 5.3f / RATE;
    pitch += vibDepth * std::sin(2.0f * (float)PI * vibPhase);
    float hz = noteHz(pitch);
    if (j % 8 == 0) {
      float cut = 4200.0f + 4500.0f * std::exp(-t / 0.2f);
      fl.tune(cut, 1.0f);
      fr.tune(cut * 1.05f, 1.0f);
    }
    float sa = a.saw(hz * 0.9965f / RATE);
    float sb = b.saw(hz * 1.0035f / RATE);
    float sq = c.pulse(hz * 0.5f / RATE, 0.5) * 0.25f;
    fl.run(sa * 0.8f + sb * 0.2f + sq);
    fr.run(sa * 0.2f + sb * 0.8f + sq);
    presL.run(fl.lp);
    presR.run(fr.lp);
    lowL.run(fl.lp);
    lowR.run(fr.lp);
    float e = envelope(env, t, (float)gate) * 0.6f;
    float l = std::tanh(1.6f * (fl.lp + 0.8f * presL.bp - 0.5f * lowL.lp)) * e;
    float r = std::tanh(1.6f * (fr.lp + 0.8f * presR.bp - 0.5f * lowR.lp)) * e;
    put(strip, i0 + j, l, r);
  }
}

// The counter-melody's voice: a plucked saw and narrow pulse with a snapping filter.
void pluck(double t0, float midi, double gate, float vel, float pan) {
  if (muted(COUNTER)) return;
  const Placed strip = place(Strip{0.6f * vel, pan, 0.22f, 0.30f, 0.25f});
  const Adsr env{0.002f, 0.2f, 0.35f, 0.1f};
  size_t i0 = frameAt(t0);
  size_t n = frameAt(envelopeLength(env, (float)gate));
  float hz = noteHz(midi);
  Osc a, b;
  Svf f, hp;
  hp.tune(200.0f, 0.7f);
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    if (j % 8 == 0) f.tune(1400.0f + 5200.0f * std::exp(-t / 0.07f), 1.3f);
    float raw = a.saw(hz / RATE) * 0.6f + b.pulse(hz * 2.0f / RATE, 0.2) * 0.3f;
    f.run(raw);
    hp.run(f.lp);
    float v = hp.hp * envelope(env, t, (float)gate);
    put(strip, i0 + j, v, v);
  }
}

// Two-operator FM with an inharmonic ratio, a glassy bell, built as its exact sum of
// sidebands: each side frequency fc + k fm with its Bessel weight J_k(index). A sideband
// that would pass half the sample rate is left out, so nothing folds back.
constexpr float BELL_RATIO = 3.5f;

void bellTone(float midi, float decay, std::vector<float>& out) {
  const float length = decay * 6.0f;
  const size_t n = frameAt(length);
  out.assign(n, 0.0f);
  const double hz = noteHz(midi);
  constexpr int SIDES = 8;  // J_k of the largest index is below -80 dB past the eighth
  double re[2 * SIDES + 1], im[2 * SIDES + 1], rotRe[2 * SIDES + 1], rotIm[2 * SIDES + 1];
  bool live[2 * SIDES + 1];
  for (int k = -SIDES; k <= SIDES; ++k) {
    double f = hz * (1.0 + BELL_RATIO * k);
    int s = k + SIDES;
    live[s] = std::fabs(f) < 0.45 * RATE;
    re[s] = 1.0;
    im[s] = 0.0;
    rotRe[s] = std::cos(2.0 * PI * f / RATE);
    rotIm[s] = std::sin(2.0 * PI * f / RATE);
  }
  float weight[2 * SIDES + 1] = {};
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    if (j % 32 == 0) {
      double index = 2.4 * std::exp(-t / 0.25) + 0.35;
      for (int k = -SIDES; k <= SIDES; ++k) {
        double w = std::cyl_bessel_j((double)std::abs(k), index);
        weight[k + SIDES] = (float)((k < 0 && (-k) % 2 == 1) ? -w : w);
      }
      for (int s = 0; s < 2 * SIDES + 1; ++s) {  // keep the phasors on the unit circle
        double m = std::sqrt(re[s] * re[s] + im[s] * im[s]);
        re[s] /= m;
        im[s] /= m;
      }
    }
    float v = 0.0f;
    for (int s = 0; s < 2 * SIDES + 1; ++s) {
      if (live[s]) v += weight[s] * (float)im[s];
      double r = re[s] * rotRe[s] - im[s] * rotIm[s];
      im[s] = re[s] * rotIm[s] + im[s] * rotRe[s];
      re[s] = r;
    }
    float env = std::min(1.0f, t / 0.002f) * std::exp(-t / decay);
    if (t > length - 0.1f) env *= (length - t) / 0.1f;
    out[j] = v * env;
  }
}

void bell(double t0, float midi, float vel, float pan, float decay) {
  highestBell = std::max(highestBell, midi);
  if (muted(BELLS)) return;
  const Placed strip = place(Strip{0.16f * vel, pan, 0.45f, 0.35f, 0.2f});
  std::vector<float> tone;
  bellTone(midi, decay, tone);
  size_t i0 = frameAt(t0);
  for (size_t j = 0; j < tone.size(); ++j) put(strip, i0 + j, tone[j], tone[j]);
}

// ---- The composition --------------------------------------------------------------------

// A chord as its root's pitch class and its shape; voiced anew in each section, so the
// same chord comes back in another inversion.
struct Chord {
  int root;  // pitch class, C = 0
  int shape[4];
};

const int MINOR[4] = {0, 3, 7, 12};
const int MAJOR[4] = {0, 4, 7, 12};
const int ADD9[4] = {0, 3, 7, 14};
const int SEVENTH[4] = {0, 4, 7, 10};

Chord make(int root, const int* shape) {
  return Chord{root, {shape[0], shape[1], shape[2], shape[3]}};
}

const Chord AM = make(9, MINOR);
const Chord AM9 = make(9, ADD9);
const Chord FM = make(5, MAJOR);
const Chord CM = make(0, MAJOR);
const Chord GM = make(7, MAJOR);
const Chord EMIN = make(4, MINOR);
const Chord DMIN = make(2, MINOR);
const Chord EMAJ = make(4, SEVENTH);

// Each bar's chord, and the one its second half turns to at a cadence.
struct BarHarmony {
  const Chord* first;
  const Chord* second;
};

const BarHarmony HARMONY[SONG_BARS] = {
    {&AM, &AM},   {&FM, &FM},     {&CM, &CM},     {&GM, &GM},      // 0 s: intro
    {&AM9, &AM9}, {&FM, &FM},     {&CM, &CM},     {&GM, &GM},      // 10 s: "Yet again.."
    {&AM, &AM},   {&FM, &FM},     {&CM, &CM},     {&GM, &EMAJ},    // 20 s: the groove starts
    {&AM, &AM},   {&EMIN, &EMIN}, {&FM, &FM},     {&DMIN, &EMAJ},  // 30 s: counter-melody
    {&FM, &FM},   {&GM, &GM},     {&EMIN, &EMIN}, {&FM, &GM},      // 40 s: counter-melody
    {&AM, &AM},   {&FM, &FM},     {&CM, &CM},     {&GM, &GM},      // 50 s: the verse theme
    {&AM9, &AM9}, {&FM, &FM},     {&CM, &CM},     {&DMIN, &GM},    // 60 s: "Music by:"
    {&FM, &FM},   {&GM, &GM},     {&AM9, &AM9},   {&DMIN, &EMAJ},  // 70 s: breakdown, build
    {&AM, &AM},   {&FM, &FM},     {&CM, &CM},     {&GM, &GM},      // 80 s: the hook, the fountain
    {&FM, &FM},   {&GM, &GM},     {&EMIN, &EMIN}, {&AM, &AM},      // 90 s: "Long Live"
    {&FM, &FM},   {&GM, &GM},     {&CM, &CM},     {&EMAJ, &EMAJ},  // 100 s: "demo release"
    {&AM, &AM},   {&FM, &FM},     {&CM, &GM},     {&DMIN, &EMAJ},  // 110 s: home, build
};

const Chord& chordAt(int sb, int step) {
  return step < 8 ? *HARMONY[sb].first : *HARMONY[sb].second;
}

// The chord's tones from `low` upwards: moving `low` turns root position into inversions.
void voice(const Chord& c, int low, int* out) {
  for (int k = 0; k < 4; ++k) {
    int pc = (c.root + c.shape[k]) % 12;
    int midi = low + ((pc - low) % 12 + 12) % 12;
    if (c.shape[k] >= 12) midi += 12;
    out[k] = midi;
  }
  std::sort(out, out + 4);
  for (int k = 1; k < 4; ++k) {
    if (out[k] <= out[k - 1]) out[k] += 12;
  }
}

// The bass's root: E1 to D#2.
int bassRoot(const Chord& c) { return 28 + ((c.root - 4) % 12 + 12) % 12; }

// A note leading into `to` from `from`: a scale step when the leap is wide, else a semitone.
int approach(int from, int to) {
  if (to == from) return to + 7;
  if (to > from) return to - (to - from >= 3 ? 2 : 1);
  return to + (from - to >= 3 ? 2 : 1);
}

struct Note {
  int bar;  // within the phrase
  int step;
  int length;
  int midi;
};

// The counter-melody (30 to 50 s): a plucked line in the middle, under the arpeggio.
const Note COUNTER_LINE[] = {
    {0, 0, 3, 72},  {0, 3, 3, 71},  {0, 6, 4, 69},  {0, 10, 4, 64}, {0, 14, 2, 67}, {1, 0, 3, 71},
    {1, 3, 3, 67},  {1, 6, 4, 64},  {1, 10, 2, 62}, {1, 12, 4, 64}, {2, 0, 3, 72},  {2, 3, 3, 69},
    {2, 6, 4, 65},  {2, 10, 4, 69}, {2, 14, 2, 72}, {3, 0, 3, 74},  {3, 3, 3, 69},  {3, 6, 2, 65},
    {3, 8, 4, 68},  {3, 12, 4, 71}, {4, 0, 3, 69},  {4, 3, 3, 72},  {4, 6, 4, 77},  {4, 10, 4, 76},
    {4, 14, 2, 72}, {5, 0, 3, 71},  {5, 3, 3, 74},  {5, 6, 4, 79},  {5, 10, 4, 74}, {5, 14, 2, 71},
    {6, 0, 3, 71},  {6, 3, 3, 67},  {6, 6, 4, 64},  {6, 10, 6, 76}, {7, 0, 3, 72},  {7, 3, 3, 69},
    {7, 6, 2, 65},  {7, 8, 4, 71},  {7, 12, 4, 74},
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
// The hook over the fountain (80 s): a tresillo call that climbs, answered, then again a
// third higher. It comes back at 110 s.
const Note HOOK[] = {
    {0, 0, 3, 76}, {0, 3, 3, 81}, {0, 6, 2, 79}, {0, 8, 2, 76},  {0, 10, 4, 74}, {0, 14, 2, 72},
    {1, 0, 3, 72}, {1, 3, 3, 74}, {1, 6, 2, 76}, {1, 8, 6, 69},  {1, 14, 2, 72}, {2, 0, 3, 76},
    {2, 3, 3, 81}, {2, 6, 2, 79}, {2, 8, 2, 76}, {2, 10, 4, 79}, {2, 14, 2, 84}, {3, 0, 3, 83},
    {3, 3, 3, 79}, {3, 6, 2, 74}, {3, 8, 8, 76},
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
// Bar 46 (115 s): the hook's last call resolves.
const Note HOOK_HOME[] = {{0, 0, 3, 76}, {0, 3, 3, 81}, {0, 6, 2, 79}, {0, 8, 8, 79}};

template <size_t N>
void playMelody(const Note (&notes)[N], int phraseBar, int renderBar, float gain, int transpose) {
  for (size_t k = 0; k < N; ++k) {
    const Note& note = notes[k];
    if (note.bar != phraseBar) continue;
    double t = feel(10, renderBar, note.step, false, 3.0f);
    double gate = note.length * STEP * 0.92;
    // Glide from the previous note when they touch.
    float from = 0.0f;
    if (k > 0) {
      const Note& prev = notes[k - 1];
      if (prev.bar * 16 + prev.step + prev.length == note.bar * 16 + note.step) {
        from = (float)(prev.midi + transpose);
      }
    }
    float vel = vary(10, renderBar, note.step, note.step % 4 == 0 ? 1.0f : 0.88f, 0.06f);
    lead(t, (float)(note.midi + transpose), gate, vel, from, gain);
  }
}

template <size_t N>
void playCounter(const Note (&notes)[N], int phraseBar, int renderBar, float gain) {
  for (const Note& note : notes) {
    if (note.bar != phraseBar) continue;
    double t = feel(11, renderBar, note.step, true, 3.5f);
    float vel = vary(11, renderBar, note.step, gain * (note.step % 4 == 0 ? 1.0f : 0.8f), 0.2f);
    pluck(t, (float)note.midi, note.length * STEP * 0.8, vel, -0.3f);
  }
}

bool isBuildBar(int sb) { return sb == 31 || sb == 47; }
bool isBreakdown(int sb) { return sb >= 28 && sb <= 30; }
bool isMusicBy(int sb) { return sb >= 24 && sb <= 27; }  // the half-time moment at 60 s

// Steps of the bar (sixteenths) on which the kick falls.
int kickPattern(int sb, int* steps) {
  int slot = sb / 4;
  int n = 0;
  if (slot == 0 || isBreakdown(sb) || isBuildBar(sb)) return 0;
  if (sb == 4 || sb == 5) {
    steps[n++] = 0;
    steps[n++] = 8;
    return n;
  }
  if (isMusicBy(sb)) {  // half time: one, the and of two, and a push
    steps[n++] = 0;
    steps[n++] = 10;
    if (sb % 2 == 1) steps[n++] = 14;
    return n;
  }
  for (int s = 0; s < 16; s += 4) steps[n++] = s;
  // A push into the next phrase.
  if (sb % 4 == 3 && slot >= 3 && slot != 8) steps[n++] = 14;
  return n;
}

float kickLevel(int sb) {
  if (sb < 8) return 0.7f;
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
      size_t len = frameAt(0.3);
      for (size_t j = 0; j < len && i0 + j < RENDER_FRAMES; ++j) {
        float t = (float)j / RATE;
        float shape = t < 0.004f ? t / 0.004f : std::exp(-(t - 0.004f) / 0.07f);
        shape *= kickLevel(sb);
        mix.duck[i0 + j] = std::max(mix.duck[i0 + j], shape);
      }
    }
  }
}

// The pad's colour in each stretch of the piece. A pad note is held for as long as its
// voice keeps its pitch within one stretch, so the bed never re-attacks on a bar line.
struct PadSection {
  int id;
  int low;  // lowest note of the voicing
  float cutoff, brighten, vel;
  unsigned gate;  // sixteenth gate pattern, 0 for none
};

PadSection padSection(int sb) {
  int slot = sb / 4;
  if (isBuildBar(sb)) return {100, 57, 1400.0f, 5.0f, 0.9f, 0};
  if (isBreakdown(sb)) return {101, 57, 1500.0f, 1.6f, 1.0f, 0};
  switch (slot) {
    case 0:
      return {0, 57, 700.0f, 4.0f, 0.9f, 0};
    case 1:
      return {1, 55, 2400.0f, 1.2f, 0.9f, 0};
    case 2:
      return {2, 57, 3200.0f, 1.0f, 0.9f, 0};
    case 3:
    case 4:
      return {3 + (sb % 8 >= 4 ? 1 : 0), slot == 3 ? 52 : 59, 3600.0f, 1.0f, 0.85f, 0};
    case 5:
      return {5, 55, 3800.0f, 1.0f, 0.85f, 0};
    case 6:
      return {6, 60, 2200.0f, 2.6f, 1.25f, 0xB6B5u};  // the "Music by:" gate
    case 8:
      return {8, 60, 4500.0f, 1.0f, 0.45f, 0};
    case 9:
    case 10:
      return {slot, slot == 9 ? 57 : 60, 4800.0f, 1.0f, 0.85f, 0};
    default:
      return {11, 57, 3800.0f, 1.0f, 0.85f, 0};
  }
}

// The pad voice k of render bar rb's half h (0 or 1): its pitch in that stretch.
int padPitch(int rb, int h, int k) {
  int sb = songBar(rb);
  int v[4];
  voice(chordAt(sb, h * 8), padSection(sb).low, v);
  return v[k];
}

void composePads(int rb) {
  const int sb = songBar(rb);
  const PadSection sec = padSection(sb);
  for (int h = 0; h < 2; ++h) {
    for (int k = 0; k < 4; ++k) {
      int pitch = padPitch(rb, h, k);
      // Tied over from the half bar before?
      int prb = h == 0 ? rb - 1 : rb, ph = h == 0 ? 1 : 0;
      if (prb >= 0 && padSection(songBar(prb)).id == sec.id && padPitch(prb, ph, k) == pitch)
        continue;
      // Held until the voice moves or the stretch ends.
      int halves = 1;
      for (int nrb = rb, nh = h;;) {
        if (++nh == 2) {
          nh = 0;
          ++nrb;
        }
        if (nrb >= RENDER_BARS || padSection(songBar(nrb)).id != sec.id ||
            padPitch(nrb, nh, k) != pitch)
          break;
        ++halves;
      }
      double start = rb * BAR + h * 0.5 * BAR;
      double gate = halves * 0.5 * BAR;
      // The last eighth before the drop is a breath.
      if (isBuildBar(sb)) gate -= 2.0 * STEP;
      const Placed strip = place(Strip{0.20f * sec.vel, 0.0f, 0.30f, 0.05f, 0.15f});
      const Adsr env{0.2f, 1.5f, 0.9f, 0.45f};
      if (muted(PAD)) continue;
      int note[1] = {pitch};
      supersaw(start, note, 1, gate, env, strip, sec.cutoff, sec.cutoff * sec.brighten,
               (float)gate * 0.6f, seedOf(30, seedBar(sb) * 2 + h, k), sec.gate,
               std::floor(start / BAR) * BAR);
    }
  }
}

// Arpeggio shapes over five chord tones (-1 rests); a new one every two to four bars.
const int ARP_SHAPES[6][16] = {
    {0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3, 4, 3, 2, 1},       // up and down
    {0, 2, 4, 2, 1, 3, 4, 3, 0, 2, 4, 2, 1, 3, 4, 1},       // leaps
    {0, -1, 2, 4, -1, 3, 1, -1, 2, 4, -1, 3, 0, -1, 4, 2},  // syncopated
    {4, 3, 2, 1, 3, 2, 1, 0, 4, 2, 3, 1, 2, 0, 1, 3},       // falling
    {0, 0, 2, -1, 1, 1, 3, -1, 2, 2, 4, -1, 3, 3, 4, 1},    // gallop
    {0, 4, 1, 4, 2, 4, 3, 4, 0, 4, 1, 4, 2, 4, 3, 4},       // pedal on top
};

int arpShape(int sb) {
  const int bySlot[12][4] = {
      {0, 0, 0, 0}, {0, 0, 1, 1}, {0, 0, 1, 2}, {2, 2, 3, 1}, {4, 4, 5, 1}, {0, 0, 3, 2},
      {5, 5, 5, 2}, {0, 0, 0, 0}, {1, 1, 1, 4}, {3, 3, 0, 2}, {5, 5, 1, 4}, {1, 1, 4, 0},
  };
  return bySlot[sb / 4][sb % 4];
}

void composeBar(int rb) {
  const int sb = songBar(rb);
  const int slot = sb / 4;
  const int inSlot = sb % 4;
  const double t0 = rb * BAR;
  const bool build = isBuildBar(sb);
  const bool breakdown = isBreakdown(sb);
  const bool musicBy = isMusicBy(sb);
  const bool drop = slot == 8;
  const bool climax = slot == 9 || slot == 10;
  const bool groove = !breakdown && !build && slot >= 2;
  // Section levels in dB: a soft start that grows through the credits, a breakdown that
  // falls away before the build, everything from the drop on at full level.
  const float levels[12] = {-5.0f, -4.0f, -3.5f, -3.0f, -3.0f, -2.5f,
                            -2.5f, -4.0f, 0.0f,  0.0f,  0.0f,  -1.5f};
  float level = levels[slot];
  if (build) level = -1.0f;
  sectionGain = std::pow(10.0f, level / 20.0f);

  // The last eighth before the drop is a breath: only tails sound in it.
  const int lastStep = build ? 14 : 16;

  // Drums.
  int steps[8];
  int kicks = kickPattern(sb, steps);
  for (int k = 0; k < kicks; ++k)
    kick(onset(rb, steps[k]), kickLevel(sb) * (steps[k] == 14 ? 0.8f : 1.0f));

  if (build) {
    // Snare roll: sixteenths, then thirty-seconds in the last beat.
    for (int k = 0; k < lastStep; ++k) {
      // A crescendo out of the breakdown's quiet.
      float at = (float)k / 16.0f;
      float vel = 0.12f + 0.85f * at * at;
      snare(feel(2, rb, k, false, 2.0f), vel, 0.3f);
      if (k >= 8) snare(feel(2, rb, k + 0.5, false, 2.0f), vel * 0.85f, 0.3f);
    }
  } else if (groove && (slot >= 3 || inSlot >= 2)) {
    float vel = slot == 2 ? 0.8f : 1.0f;
    if (musicBy) {
      clap(feel(3, rb, 8, false, 4.0f), vary(3, rb, 8, 1.0f, 0.08f));
    } else if (!(slot == 11 && inSlot == 1)) {
      clap(feel(3, rb, 4, false, 4.0f), vary(3, rb, 4, vel, 0.08f));
      clap(feel(3, rb, 12, false, 4.0f), vary(3, rb, 12, vel, 0.08f));
    }
    if (drop || climax) {
      snare(feel(2, rb, 4, false, 3.0f), 0.45f, 0.2f);
      snare(feel(2, rb, 12, false, 3.0f), 0.45f, 0.2f);
    }
    // Ghost hits that change with the phrase.
    if (inSlot == 1 && slot >= 3) clap(feel(3, rb, 15, true, 3.0f), 0.35f);
    if (inSlot == 2 && slot >= 4 && !musicBy) snare(feel(2, rb, 7, true, 3.0f), 0.25f, 0.15f);
  }

  // Fills at the ends of phrases, each a little different.
  if (groove && inSlot == 3) {
    switch (slot) {
      case 2:
      case 5:
        for (int s = 12; s < 16; ++s)
          snare(feel(2, rb, s, true, 3.0f), 0.35f + 0.1f * (s - 12), 0.25f);
        break;
      case 3:
      case 8:
      case 10: {
        const int fill[6] = {8, 10, 11, 12, 14, 15};
        const float pitch[6] = {52.0f, 50.0f, 50.0f, 47.0f, 45.0f, 43.0f};
        for (int k = 0; k < 6; ++k)
          tom(feel(6, rb, fill[k], true, 3.0f), pitch[k], vary(6, rb, fill[k], 0.8f, 0.1f),
              0.4f - 0.16f * k);
        break;
      }
      case 4:
      case 9: {
        const int fill[5] = {10, 12, 13, 14, 15};
        const float pitch[5] = {45.0f, 50.0f, 47.0f, 52.0f, 55.0f};
        for (int k = 0; k < 5; ++k)
          tom(feel(6, rb, fill[k], true, 3.0f), pitch[k], vary(6, rb, fill[k], 0.75f, 0.1f),
              -0.4f + 0.2f * k);
        break;
      }
      case 6:
        for (int s = 8; s < 16; ++s) clap(feel(3, rb, s, true, 2.0f), 0.3f + 0.08f * (s - 8));
        break;
      default:
        break;
    }
  }

  // Hats: swung sixteenths, accented on the off-beats, with open hats in the full groove.
  if (slot >= 1 && !breakdown && !(slot == 1 && inSlot < 2)) {
    for (int s = 0; s < lastStep; ++s) {
      bool offbeat = s % 4 == 2;
      double t = feel(4, rb, s, true, 5.0f);
      float h = vary(4, rb, s, 1.0f, 0.15f);
      float pan = s % 2 == 0 ? 0.2f : 0.3f;
      if (slot == 1) {
        if (s % 2 == 0) hat(t, (offbeat ? 0.8f : 0.45f) * h, false, pan);
      } else if (build) {
        float rise = (float)s / 15.0f;
        hat(t, (0.2f + 0.8f * rise * rise) * (s % 2 == 0 ? 1.0f : 0.65f) * h, false, pan);
      } else if (slot == 2 || musicBy) {
        if (offbeat) {
          hat(t, 0.9f * h, musicBy && s == 14, pan);
        } else {
          hat(t, (s % 2 == 0 ? 0.5f : 0.35f) * h, false, pan);
        }
      } else {
        if (offbeat) {
          hat(t, (drop || climax ? 0.95f : 0.85f) * h, true, -0.25f);
        } else {
          hat(t, (s % 4 == 0 ? 0.65f : 0.5f) * h, false, pan);
        }
      }
    }
  }

  // Cymbals and effects at the seams of the form.
  if (sb == 4) crash(t0, 0.3f);
  if (sb == 8 || sb == 24) crash(t0, 0.6f);
  if (sb == 12 || sb == 16 || sb == 20 || sb == 36 || sb == 40 || sb == 44) crash(t0, 1.0f);
  if (sb == 28) crash(t0, 0.5f);
  if (sb == LOOP_BAR) {
    crash(onset(rb, 0), 1.1f);
    boom(onset(rb, 0), 1.0f);
  }
  if (sb == 3) swell(t0 + 0.5 * BAR, 0.5 * BAR, 0.8f);
  if (sb == 11 || sb == 23) swell(t0 + 0.5 * BAR, 0.5 * BAR, 0.7f);
  if (sb == 15 || sb == 27) swell(t0, BAR, 0.9f);
  if (build) {
    riser(t0, BAR - 2.0 * STEP, 1.0f);
    swell(t0 + 0.25 * BAR, 0.75 * BAR - 2.0 * STEP, 1.0f);
  }

  // Bass.
  if (slot >= 1 && !breakdown && !(slot == 1 && inSlot < 2)) {
    const int root = bassRoot(*HARMONY[sb].first);
    const int root2 = bassRoot(*HARMONY[sb].second);
    const int next = bassRoot(*HARMONY[songBar(rb + 1 < RENDER_BARS ? rb + 1 : rb)].first);
    auto play = [&](double step, int midi, double len, float vel, float cutoff, float bite) {
      bass(feel(9, rb, step, true, 2.5f), (float)midi, len * STEP, vary(9, rb, step, vel, 0.08f),
           cutoff, bite);
    };
    auto rootAt = [&](int s) { return s < 8 ? root : root2; };
    if (slot == 1) {
      play(0, root, 7.0, 0.8f, 500.0f, 1.0f);
      play(8, root, 7.0, 0.75f, 500.0f, 1.0f);
    } else if (build) {
      for (int s = 0; s < lastStep; s += 2)
        play(s, rootAt(s), 1.6, 0.85f, 500.0f + 60.0f * s, 2.5f);
    } else if (musicBy) {
      // Long notes that slide into the half-time beat.
      play(0, root, 7.0, 0.95f, 700.0f, 1.5f);
      play(10, rootAt(10) + 7, 3.0, 0.85f, 900.0f, 2.0f);
      play(14, inSlot == 3 ? approach(rootAt(14), next) : rootAt(14) + 12, 1.6, 0.85f, 900.0f,
           2.0f);
    } else if (slot == 2) {
      // Off-beat pumping: the bass answers every kick.
      for (int s = 2; s < 16; s += 4) {
        int midi = rootAt(s) + (inSlot == 3 && s == 14 ? 12 : 0);
        play(s, midi, 1.7, 0.9f, 650.0f, 2.0f);
      }
    } else if (drop || climax) {
      // Rolling sixteenths between the kicks, a passing note into the next bar.
      for (int s = 0; s < 16; ++s) {
        if (s % 4 == 0) continue;
        int midi = rootAt(s) + (s % 4 == 2 ? 12 : 0);
        if (s == 15 && next != rootAt(s)) midi = approach(rootAt(s), next);
        if (climax && s == 11 && inSlot % 2 == 1) midi = rootAt(s) + 7;
        play(s, midi, 0.8, s % 4 == 2 ? 0.95f : 0.8f, 900.0f, 2.5f);
      }
    } else {
      // Driving eighths with an octave pop, fifths and passing notes that change per bar.
      const int octave[4][8] = {
          {0, 0, 12, 0, 0, 0, 12, 0},
          {0, 0, 12, 0, 0, 7, 12, 0},
          {0, 12, 0, 12, 0, 0, 12, 7},
          {0, 0, 12, 0, 7, 0, 12, 0},
      };
      float cutoff = 700.0f + 50.0f * (float)(slot - 3);
      for (int k = 0; k < 8; ++k) {
        int s = 2 * k;
        int midi = rootAt(s) + octave[inSlot][k];
        if (k == 7 && next != rootAt(s)) midi = approach(rootAt(s), next);
        play(s, midi, 1.6, k % 2 == 0 ? 0.95f : 0.8f, cutoff, 2.2f);
      }
    }
  }

  // Pads: the harmonic bed.
  composePads(rb);

  // Stabs: off-beat chords that leave the hook's own beats free.
  if (drop || climax) {
    int v[4];
    const int hits[3] = {2, 7, 12};
    for (int k = 0; k < 3; ++k) {
      if (drop && k == 1) continue;
      voice(chordAt(sb, hits[k]), 64, v);
      stab(feel(12, rb, hits[k], true, 3.0f), v, 1.6 * STEP, vary(12, rb, hits[k], 0.8f, 0.1f),
           seedOf(31, seedBar(sb), k));
    }
  }

  // Arpeggio: chord tones in swung sixteenths, shaped anew every few bars.
  if (!(slot == 0 && inSlot < 2)) {
    const int* shape = ARP_SHAPES[arpShape(sb)];
    float cutoff = 3200.0f;
    float vel = 1.0f;
    int lift = 12;
    if (slot == 0) {
      cutoff = 900.0f + 600.0f * (inSlot - 2);
      vel = 0.5f + 0.2f * (inSlot - 2);
    } else if (slot == 1) {
      cutoff = 1500.0f + 400.0f * inSlot;
      vel = 0.8f;
    } else if (breakdown) {
      cutoff = 1300.0f + 500.0f * (sb - 28);
      vel = 0.55f;
    } else if (build) {
      cutoff = 4500.0f;
    } else if (drop) {
      cutoff = 4200.0f;
      vel = 0.55f;
      lift = 24;
    } else if (climax) {
      cutoff = 3800.0f;
      vel = 0.75f;
    } else if (musicBy) {
      cutoff = 2500.0f + 700.0f * inSlot;
      lift = 24;
      vel = 0.8f;
    }
    for (int s = 0; s < lastStep; ++s) {
      int tones[5];
      voice(chordAt(sb, s), 57, tones);
      tones[4] = tones[0] + 12;
      if (shape[s] < 0) continue;
      float accent = s % 4 == 0 ? 1.0f : 0.8f;
      float opening = 1.0f;
      if (build) {  // the filter and the level climb through the build
        float x = (float)s / 15.0f;
        opening = 0.3f + 0.7f * x * x;
        accent *= 0.5f + 0.5f * x;
      }
      arp(feel(13, rb, s, true, 5.0f), (float)(tones[shape[s]] + lift), STEP * 0.7,
          vary(13, rb, s, vel * accent, 0.12f), cutoff * opening, s % 2 == 0 ? 0.35f : -0.35f);
    }
  }

  // Bells: the opening motif, a first glimpse of the hook in the breakdown, the answers
  // at 60 s, and sparks on the anthem's lifted repeat.
  if (slot <= 1) {
    const int at[3] = {0, 6, 10};
    const int which[3] = {3, 1, 2};
    int v[4];
    voice(chordAt(sb, 0), 60, v);
    float vel = slot == 0 ? 0.9f : 0.55f;
    for (int k = 0; k < 3; ++k) {
      bell(feel(14, rb, at[k], false, 3.0f), (float)(v[which[k]] + 12),
           vary(14, rb, at[k], vel, 0.1f), -0.4f + 0.4f * k, 0.9f);
    }
  }
  if (breakdown) {
    // The hook's first bar, slowed to eighths and quarters.
    const int at[5] = {0, 3, 6, 8, 10};
    const int pitch[3][5] = {{76, 81, 79, 76, 74}, {74, 79, 77, 74, 71}, {76, 81, 79, 76, 84}};
    for (int k = 0; k < 5; ++k) {
      bell(feel(14, rb, at[k], false, 3.0f), (float)pitch[sb - 28][k],
           vary(14, rb, at[k], 0.9f, 0.08f), 0.2f * (float)(k - 2), 1.1f);
    }
  }
  if (musicBy) {
    for (int s : {12, 14}) {
      int v[4];
      voice(chordAt(sb, s), 72, v);
      bell(feel(14, rb, s, false, 3.0f), (float)v[s == 12 ? 2 : 3], vary(14, rb, s, 0.5f, 0.1f),
           s == 12 ? -0.5f : 0.5f, 0.6f);
    }
  }

  // Counter-melody.
  if (slot == 3 || slot == 4) playCounter(COUNTER_LINE, sb - 12, rb, 1.0f);

  // Lead.
  if (slot == 5) playMelody(THEME_A, inSlot, rb, 0.9f, 0);
  if (musicBy) playMelody(THEME_A2, inSlot, rb, 0.9f, 0);
  if (drop) playMelody(HOOK, inSlot, rb, 1.3f, 0);
  if (slot == 9) playMelody(THEME_B, inSlot, rb, 0.95f, 0);
  if (slot == 10) {
    playMelody(THEME_B2, inSlot, rb, 0.95f, 0);
    playMelody(THEME_B2, inSlot, rb, 0.4f, -12);
    for (const Note& n : THEME_B2) {
      if (n.bar == inSlot && n.step % 4 == 0) {
        bell(feel(14, rb, n.step, false, 3.0f), (float)(n.midi + 12), 0.35f, 0.3f, 0.6f);
      }
    }
  }
  if (sb == 44 || sb == 45) playMelody(HOOK, sb - 44, rb, 0.9f, 0);
  if (sb == 46) playMelody(HOOK_HOME, 0, rb, 0.9f, 0);
}

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
  // 100 ms hops: blocks of four hops overlap by 75 %
  std::vector<double> hopEnergy = loudness::kWeightedHops(lr, frames, RATE / 10);
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

// A 32-bit float stereo WAV file.
bool writeWav(const std::string& path, const std::vector<float>& lr) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  auto u32 = [&](uint32_t v) { fwrite(&v, 4, 1, f); };
  auto u16 = [&](uint16_t v) { fwrite(&v, 2, 1, f); };
  uint32_t bytes = (uint32_t)(lr.size() * sizeof(float));
  fwrite("RIFF", 1, 4, f);
  u32(36 + bytes);
  fwrite("WAVEfmt ", 1, 8, f);
  u32(16);
  u16(3);  // IEEE float
  u16(2);
  u32(RATE);
  u32(RATE * 2 * 4);
  u16(2 * 4);
  u16(32);
  fwrite("data", 1, 4, f);
  u32(bytes);
  bool ok = fwrite(lr.data(), sizeof(float), lr.size(), f) == lr.size();
  return fclose(f) == 0 && ok;
}

// Every bar of the render, with the band as it stands (all of it, or one part).
void renderBand() {
  mix.dry.init(RENDER_FRAMES);
  mix.reverb.init(RENDER_FRAMES);
  mix.delay.init(RENDER_FRAMES);
  composeDucking();
  for (int rb = 0; rb < RENDER_BARS; ++rb) composeBar(rb);
  pingPong(mix.delay, mix.dry, mix.reverb, 0.38f, 1.0f);
  plateReverb(mix.reverb, mix.dry, 0.72f, 0.35f, 0.55f);
  mix.reverb = Stereo();
  mix.delay = Stereo();
}

// Each part alone, at the master gain, and the highest bell on its own.
bool writeStems(const std::string& dir, float gain) {
  std::vector<float> probe, lr;
  bellTone(highestBell, 0.5f, probe);
  lr.resize(probe.size() * 2);
  for (size_t j = 0; j < probe.size(); ++j) lr[2 * j] = lr[2 * j + 1] = probe[j] * 0.5f;
  if (!writeWav(dir + "/bell-probe.wav", lr)) return false;
  FILE* f = fopen((dir + "/bell-probe.txt").c_str(), "w");
  if (!f) return false;
  fprintf(f, "%.4f %.4f\n", (double)noteHz(highestBell), (double)BELL_RATIO);
  fclose(f);
  for (int p = 0; p < PART_COUNT; ++p) {
    soloPart = p;
    renderBand();
    std::vector<float> render(RENDER_FRAMES * 2);
    for (size_t i = 0; i < RENDER_FRAMES; ++i) {
      render[2 * i] = mix.dry.l[i] * gain;
      render[2 * i + 1] = mix.dry.r[i] * gain;
    }
    if (!writeWav(dir + "/" + PART_NAMES[p] + ".wav", assemble(render))) return false;
  }
  soloPart = -1;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s OUTPUT.ogg [--raw F32_STEREO_OUT] [--stems DIR]\n", argv[0]);
    return 2;
  }
  const char* output = argv[1];
  const char* rawOut = nullptr;
  const char* stemsDir = nullptr;
  for (int a = 2; a + 1 < argc; a += 2) {
    if (strcmp(argv[a], "--raw") == 0) {
      rawOut = argv[a + 1];
    } else if (strcmp(argv[a], "--stems") == 0) {
      stemsDir = argv[a + 1];
    } else {
      fprintf(stderr, "make_soundtrack: unknown option %s\n", argv[a]);
      return 2;
    }
  }

  auto started = std::chrono::steady_clock::now();
  auto elapsed = [&]() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };
  renderBand();
  printf("[%5.1f s] composed %d bars (%.1f s of audio), echoes and reverb\n", elapsed(),
         RENDER_BARS, RENDER_FRAMES / (double)RATE);

  // Level: set the gain from the loudness of the song as the file holds it, then let the
  // limiter trim the peaks; a couple of rounds settle the target.
  const double targetLufs = -14.0;
  double gainDb = 0.0;
  float ceilingDb = -2.8f;
  std::vector<float> rendered, song;
  double lastGainDb = 0.0, lastLoudness = 0.0;
  double appliedGainDb = 0.0;
  for (int round = 0; round < 8; ++round) {
    appliedGainDb = gainDb;
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

  if (stemsDir) {
    mix = Mix();
    if (!writeStems(stemsDir, (float)std::pow(10.0, appliedGainDb / 20.0))) {
      fprintf(stderr, "make_soundtrack: cannot write the stems to %s\n", stemsDir);
      return 1;
    }
    printf("[%5.1f s] stems written to %s\n", elapsed(), stemsDir);
  }
  return 0;
}
