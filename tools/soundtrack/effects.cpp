// The two effect returns every part can send to: a plate reverb and a ping-pong echo.
#include "effects.h"

#include <cmath>
#include <vector>

#include "dsp.h"

namespace soundtrack {

namespace {

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

}  // namespace

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

}  // namespace soundtrack
