// The band's instruments. Each renders one note straight into the mix (mix.h), and the
// pitched ones log the note for the printed score first.
#include "instruments.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp.h"
#include "mix.h"

namespace soundtrack {

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
  logNote(BASS, t0, midi, gate, vel);
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
              uint64_t seed, unsigned gatePattern, double gateZero) {
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
  for (int k = 0; k < 4; ++k) logNote(STAB, t0, (float)notes[k], gate, vel);
  if (muted(STAB)) return;
  const Placed strip = place(Strip{0.26f * vel, 0.0f, 0.22f, 0.12f, 0.4f});
  const Adsr env{0.003f, 0.14f, 0.3f, 0.1f};
  supersaw(t0, notes, 4, gate, env, strip, 9000.0f, 2600.0f, 0.12f, seed);
}

void arp(double t0, float midi, double gate, float vel, float cutoff, float pan) {
  logNote(ARP, t0, midi, gate, vel);
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

// The lead: two detuned saws and a square an octave down, with delayed vibrato, driven a
// little and lifted at 3 kHz so it speaks over the band. `fromMidi` (0 for none) is the
// pitch it glides in from, quickly, so the note settles before it is half heard.
void lead(double t0, float midi, double gate, float vel, float fromMidi, float gain) {
  logNote(LEAD, t0, midi, gate, vel * gain);
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
    if (fromMidi > 0.0f) pitch = midi + (fromMidi - midi) * std::exp(-t / 0.012f);
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

// The hook's own voice, apart from the lead's: a hollow pulse and a saw doubled an octave
// up, a filter that snaps open on every note, little vibrato, and a glide only into leaps
// (`fromMidi`, 0 for none) that settles within a few milliseconds.
void hook(double t0, float midi, double gate, float vel, float fromMidi) {
  logNote(HOOK, t0, midi, gate, vel);
  if (muted(HOOK)) return;
  const Placed strip = place(Strip{0.78f * vel, 0.0f, 0.18f, 0.24f, 0.15f});
  const Adsr env{0.003f, 0.25f, 0.6f, 0.12f};
  size_t i0 = frameAt(t0);
  size_t n = frameAt(envelopeLength(env, (float)gate));
  Osc a, b, up, up2;
  Rng rng(noteSeed(15, t0, (int)midi));
  a.phase = rng.unit();
  b.phase = rng.unit();
  up.phase = rng.unit();
  up2.phase = rng.unit();
  Svf fl, fr, lowL, lowR;
  lowL.tune(350.0f, 0.7f);
  lowR.tune(350.0f, 0.7f);
  float vibPhase = 0.0f;
  for (size_t j = 0; j < n; ++j) {
    float t = (float)j / RATE;
    float pitch = midi;
    if (fromMidi > 0.0f) pitch = midi + (fromMidi - midi) * std::exp(-t / 0.008f);
    float vibDepth = 0.08f * std::min(1.0f, std::max(0.0f, (t - 0.3f) / 0.3f));
    vibPhase += 5.8f / RATE;
    pitch += vibDepth * std::sin(2.0f * (float)PI * vibPhase);
    float hz = noteHz(pitch);
    if (j % 8 == 0) {
      float cut = 4200.0f + 6500.0f * std::exp(-t / 0.09f);
      fl.tune(cut, 0.9f);
      fr.tune(cut * 1.04f, 0.9f);
    }
    float body = a.pulse(hz / RATE, 0.32) * 0.45f + b.saw(hz * 1.002f / RATE) * 0.4f;
    float octL = up.saw(hz * 2.0f * 0.998f / RATE) * 0.45f;
    float octR = up2.saw(hz * 2.0f * 1.002f / RATE) * 0.45f;
    fl.run(body + octL);
    fr.run(body + octR);
    lowL.run(fl.lp);
    lowR.run(fr.lp);
    float e = envelope(env, t, (float)gate) * 0.6f;
    float l = std::tanh(1.4f * (fl.lp - 0.5f * lowL.lp)) * e;
    float r = std::tanh(1.4f * (fr.lp - 0.5f * lowR.lp)) * e;
    put(strip, i0 + j, l, r);
  }
}

// The counter-melody's voice: a plucked saw and narrow pulse with a snapping filter.
void pluck(double t0, float midi, double gate, float vel, float pan) {
  logNote(COUNTER, t0, midi, gate, vel);
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
  mix.highestBell = std::max(mix.highestBell, midi);
  logNote(BELLS, t0, midi, decay, vel);
  if (muted(BELLS)) return;
  const Placed strip = place(Strip{0.16f * vel, pan, 0.45f, 0.35f, 0.2f});
  std::vector<float> tone;
  bellTone(midi, decay, tone);
  size_t i0 = frameAt(t0);
  for (size_t j = 0; j < tone.size(); ++j) put(strip, i0 + j, tone[j], tone[j]);
}

}  // namespace soundtrack
