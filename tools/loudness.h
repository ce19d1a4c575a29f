// Measuring filters shared by the soundtrack's synthesizer, its meter and the asset tests:
// BS.1770 K-weighted energy per hop (the loudness that the master is set to and that
// ffmpeg's meter reports) and a zero-phase low-pass for comparing the loop seam.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace loudness {

constexpr double SAMPLE_RATE = 44100.0;
constexpr double PI = 3.14159265358979323846;

// Mean K-weighted energy of both channels of interleaved stereo, per `hop` frames; a
// partial last hop is left out. The two biquads are BS.1770's, designed for 44.1 kHz.
inline std::vector<double> kWeightedHops(const float* lr, size_t frames, size_t hop) {
  double b[6], a[4];
  double f0 = 1681.974450955533, g = 3.999843853973347, q = 0.7071752369554196;
  double k = std::tan(PI * f0 / SAMPLE_RATE);
  double vh = std::pow(10.0, g / 20.0), vb = std::pow(vh, 0.4996667741545416);
  double a0 = 1.0 + k / q + k * k;
  b[0] = (vh + vb * k / q + k * k) / a0;
  b[1] = 2.0 * (k * k - vh) / a0;
  b[2] = (vh - vb * k / q + k * k) / a0;
  a[0] = 2.0 * (k * k - 1.0) / a0;
  a[1] = (1.0 - k / q + k * k) / a0;
  f0 = 38.13547087602444;
  q = 0.5003270373238773;
  k = std::tan(PI * f0 / SAMPLE_RATE);
  double a02 = 1.0 + k / q + k * k;
  b[3] = 1.0;
  b[4] = -2.0;
  b[5] = 1.0;
  a[2] = 2.0 * (k * k - 1.0) / a02;
  a[3] = (1.0 - k / q + k * k) / a02;

  std::vector<double> out;
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
      out.push_back(acc / hop);
      acc = 0.0;
    }
  }
  return out;
}

// Second-order Butterworth low-pass run forwards and backwards (no phase shift).
inline std::vector<double> zeroPhaseLowPass(const std::vector<double>& x, double hz) {
  const double w = std::tan(PI * hz / SAMPLE_RATE), q = std::sqrt(2.0);
  const double a0 = 1.0 + q * w + w * w;
  const double b0 = w * w / a0, b1 = 2.0 * b0, b2 = b0;
  const double a1 = 2.0 * (w * w - 1.0) / a0, a2 = (1.0 - q * w + w * w) / a0;
  auto pass = [&](const std::vector<double>& in) {
    std::vector<double> y(in.size());
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < in.size(); ++i) {
      y[i] = b0 * in[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
      x2 = x1;
      x1 = in[i];
      y2 = y1;
      y1 = y[i];
    }
    return y;
  };
  std::vector<double> forward = pass(x);
  std::vector<double> back(forward.rbegin(), forward.rend());
  std::vector<double> twice = pass(back);
  return std::vector<double>(twice.rbegin(), twice.rend());
}

}  // namespace loudness
