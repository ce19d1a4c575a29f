// soundtrack_meter: the soundtrack's mix as a listener meets it, in figures: octave balance,
// loudness by slot, each part against the bass, the tune over the fountain, breakdown and
// drop, the loop seam, swing and looseness, the pad's bar lines and the bells' aliasing.
// tools/measure-soundtrack.sh runs it on the decoded asset and on the synthesizer's stems.
// Usage: soundtrack_meter SONG.wav [STEMS_DIR]
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "loudness.h"

namespace {

constexpr double RATE = 44100.0;
constexpr double PI = 3.14159265358979323846;
constexpr double STEP = 60.0 / 96.0 / 4.0;  // a sixteenth at 96 BPM
constexpr double BAR = 16.0 * STEP;
constexpr double LOOP = 80.0;

struct Audio {
  std::vector<float> lr;  // interleaved stereo
  size_t frames() const { return lr.size() / 2; }
};

// 16-bit PCM or 32-bit float WAV, mono or stereo (mono is copied to both sides).
bool readWav(const std::string& path, Audio& out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  char id[4];
  uint32_t size;
  if (fread(id, 1, 4, f) != 4 || memcmp(id, "RIFF", 4) != 0 || fread(&size, 4, 1, f) != 1 ||
      fread(id, 1, 4, f) != 4 || memcmp(id, "WAVE", 4) != 0) {
    fclose(f);
    return false;
  }
  uint16_t format = 0, channels = 0, bits = 0;
  bool ok = false;
  while (fread(id, 1, 4, f) == 4 && fread(&size, 4, 1, f) == 1) {
    if (memcmp(id, "fmt ", 4) == 0) {
      std::vector<unsigned char> fmt(size);
      if (fread(fmt.data(), 1, size, f) != size) break;
      memcpy(&format, &fmt[0], 2);
      memcpy(&channels, &fmt[2], 2);
      memcpy(&bits, &fmt[14], 2);
      if (format == 0xFFFE && size >= 26) memcpy(&format, &fmt[24], 2);
    } else if (memcmp(id, "data", 4) == 0) {
      if (channels < 1 || channels > 2) break;
      size_t samples = size / (bits / 8);
      std::vector<float> raw(samples);
      if (format == 3 && bits == 32) {
        ok = fread(raw.data(), 4, samples, f) == samples;
      } else if (format == 1 && bits == 16) {
        std::vector<int16_t> pcm(samples);
        ok = fread(pcm.data(), 2, samples, f) == samples;
        for (size_t i = 0; i < samples; ++i) raw[i] = pcm[i] / 32768.0f;
      }
      if (channels == 2) {
        out.lr = std::move(raw);
      } else {
        out.lr.resize(samples * 2);
        for (size_t i = 0; i < samples; ++i) out.lr[2 * i] = out.lr[2 * i + 1] = raw[i];
      }
      break;
    } else {
      fseek(f, size + (size & 1), SEEK_CUR);
    }
  }
  fclose(f);
  return ok;
}

size_t frameAt(double s) { return (size_t)std::llround(s * RATE); }
double db(double power) { return 10.0 * std::log10(std::max(power, 1e-30)); }

// ---- Loudness (ITU-R BS.1770): K-weighted power in 100 ms hops -----------------------------

std::vector<double> hops(const Audio& a) {
  return loudness::kWeightedHops(a.lr.data(), a.frames(), 4410);
}

double lufs(double e) { return -0.691 + db(e); }

// The mix's targets, checked as the figures are measured and listed at the end.
std::vector<std::string> targets;
int missed = 0;
void target(bool ok, const char* what, double value) {
  char line[256];
  snprintf(line, sizeof line, "  %s: %s (%.1f)", ok ? "ok  " : "MISS", what, value);
  targets.push_back(line);
  missed += !ok;
}

// Mean K-weighted power of [from, to) seconds, ungated.
double meanPower(const std::vector<double>& h, double from, double to) {
  size_t a = (size_t)std::lround(from * 10.0),
         b = std::min(h.size(), (size_t)std::lround(to * 10.0));
  double s = 0.0;
  for (size_t i = a; i < b; ++i) s += h[i];
  return b > a ? s / (double)(b - a) : 0.0;
}

// Short-term loudness of the three seconds that end at `end`.
double shortTerm(const std::vector<double>& h, double end) {
  return lufs(meanPower(h, end - 3.0, end));
}

// Gated loudness of [from, to): 400 ms blocks, absolute and relative gates.
double gated(const std::vector<double>& h, double from, double to) {
  std::vector<double> blocks;
  for (double t = from; t + 0.4 <= to + 1e-9; t += 0.1) blocks.push_back(meanPower(h, t, t + 0.4));
  double sum = 0.0;
  int n = 0;
  for (double e : blocks)
    if (lufs(e) > -70.0) sum += e, ++n;
  if (!n) return -70.0;
  double rel = lufs(sum / n) - 10.0;
  sum = 0.0;
  n = 0;
  for (double e : blocks)
    if (lufs(e) > -70.0 && lufs(e) > rel) sum += e, ++n;
  return n ? lufs(sum / n) : -70.0;
}

// ---- Spectra -----------------------------------------------------------------------------

void fft(std::vector<std::complex<double>>& x) {
  const size_t n = x.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    std::complex<double> w(std::cos(-2.0 * PI / len), std::sin(-2.0 * PI / len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> v(1.0, 0.0);
      for (size_t k = 0; k < len / 2; ++k) {
        std::complex<double> a = x[i + k], b = x[i + k + len / 2] * v;
        x[i + k] = a + b;
        x[i + k + len / 2] = a - b;
        v *= w;
      }
    }
  }
}

constexpr size_t NFFT = 8192;

// Power per FFT bin over [from, to) s, both channels, Hann windows overlapping by half.
std::vector<double> spectrum(const Audio& a, double from, double to) {
  std::vector<double> power(NFFT / 2 + 1, 0.0);
  std::vector<double> win(NFFT);
  for (size_t i = 0; i < NFFT; ++i) win[i] = 0.5 - 0.5 * std::cos(2.0 * PI * i / NFFT);
  std::vector<std::complex<double>> x(NFFT);
  size_t end = std::min(a.frames(), frameAt(to));
  for (size_t at = frameAt(from); at + NFFT <= end; at += NFFT / 2) {
    for (int c = 0; c < 2; ++c) {
      for (size_t i = 0; i < NFFT; ++i) x[i] = a.lr[2 * (at + i) + c] * win[i];
      fft(x);
      for (size_t k = 0; k <= NFFT / 2; ++k) power[k] += std::norm(x[k]);
    }
  }
  return power;
}

double bandPower(const std::vector<double>& p, double lo, double hi) {
  double s = 0.0;
  for (size_t k = 1; k < p.size(); ++k) {
    double f = k * RATE / NFFT;
    if (f >= lo && f < hi) s += p[k];
  }
  return s;
}

const double CENTRES[10] = {31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
const char* const CENTRE_NAMES[10] = {"31.5", "63", "125", "250", "500",
                                      "1k",   "2k", "4k",  "8k",  "16k"};

std::vector<double> octaves(const std::vector<double>& p) {
  std::vector<double> out;
  for (double c : CENTRES) out.push_back(bandPower(p, c / std::sqrt(2.0), c * std::sqrt(2.0)));
  return out;
}

void octaveTable(const Audio& a, double from, double to, bool check) {
  std::vector<double> p = spectrum(a, from, to);
  std::vector<double> o = octaves(p);
  double top = *std::max_element(o.begin(), o.end());
  double total = bandPower(p, 0.0, RATE);
  printf("octave bands %.0f-%.0f s, dB against the loudest band:\n ", from, to);
  for (int k = 0; k < 10; ++k) printf(" %5s", CENTRE_NAMES[k]);
  printf("\n ");
  for (int k = 0; k < 10; ++k) printf(" %5.1f", db(o[k]) - db(top));
  printf("\n  63 Hz band's share of all energy: %.1f %%\n", 100.0 * o[1] / total);
  if (!check) return;
  const double floors[7] = {-5, -8, -10, -11, -12, -14, -17};
  const char* const what[7] = {"125 Hz band at least -5 dB under the loudest",
                               "250 Hz band at least -8 dB",
                               "500 Hz band at least -10 dB",
                               "1 kHz band at least -11 dB",
                               "2 kHz band at least -12 dB",
                               "4 kHz band at least -14 dB",
                               "8 kHz band at least -17 dB"};
  for (int k = 0; k < 7; ++k)
    target(db(o[k + 2]) - db(top) >= floors[k], what[k], db(o[k + 2]) - db(top));
  target(o[1] / total <= 0.45, "63 Hz band holds at most 45 % of the energy (%)",
         100.0 * o[1] / total);
}

// ---- Onsets, swing, looseness ------------------------------------------------------------

struct Onset {
  double t;
  double peakDb;
};

std::vector<Onset> onsets(const Audio& a) {
  const size_t hop = 44;  // 1 ms
  std::vector<double> y(a.frames());
  double prev = 0.0;
  for (size_t i = 0; i < a.frames(); ++i) {
    double x = a.lr[2 * i] + a.lr[2 * i + 1];
    y[i] = x - prev;
    prev = x;
  }
  std::vector<double> e(y.size() / hop, 0.0);
  for (size_t k = 0; k < e.size(); ++k)
    for (size_t i = 0; i < hop; ++i) e[k] += y[k * hop + i] * y[k * hop + i];
  double top = *std::max_element(e.begin(), e.end());
  std::vector<Onset> out;
  size_t last = 0;
  for (size_t k = 12; k + 2 < e.size(); ++k) {
    double before = 0.0;
    for (size_t j = k - 10; j < k - 2; ++j) before += e[j];
    before /= 8.0;
    if (e[k] < top * 1e-5 || e[k] < 8.0 * before || (last && k - last < 40)) continue;
    // The first sample that reaches a third of the attack's height.
    size_t from = (k - 1) * hop, to = (k + 2) * hop;
    double m = 0.0;
    for (size_t i = from; i < to; ++i) m = std::max(m, std::fabs(y[i]));
    size_t at = from;
    while (at < to && std::fabs(y[at]) < m / 3.0) ++at;
    double peak = 0.0;
    for (size_t i = at; i < std::min(a.frames(), at + 882); ++i)
      peak = std::max(peak, (double)std::fabs(a.lr[2 * i]) + std::fabs(a.lr[2 * i + 1]));
    out.push_back({at / RATE, 20.0 * std::log10(std::max(peak, 1e-9))});
    last = k;
  }
  return out;
}

double median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, (size_t)(p * v.size()))];
}

struct Feel {
  double swing, deviationMs, spreadDb;
};

Feel feel(const std::string& name, const Audio& a) {
  std::vector<Onset> on = onsets(a);
  std::vector<double> swing;
  for (const Onset& o : on) {
    double p = o.t / STEP;
    long n = std::lround(p);
    if (n % 2 != 0) swing.push_back((p - (double)(n - 1)) / 2.0);
  }
  double s = swing.empty() ? 0.5 : median(swing);
  std::vector<double> dev, level;
  for (const Onset& o : on) {
    double p = o.t / STEP;
    long n = std::lround(p);
    double grid = n % 2 ? (double)(n - 1) + 2.0 * s : (double)n;
    dev.push_back(std::fabs(p - grid) * STEP * 1000.0);
    level.push_back(o.peakDb);
  }
  double mean = 0.0, var = 0.0;
  for (double l : level) mean += l / level.size();
  for (double l : level) var += (l - mean) * (l - mean) / level.size();
  printf(
      "  %-8s %5zu onsets, %4zu off the eighths: swing %5.1f %%, deviation from the (swung) "
      "grid median %4.1f ms, 90th pct %4.1f ms, level spread %4.1f dB\n",
      name.c_str(), on.size(), swing.size(), 100.0 * s, median(dev), percentile(dev, 0.9),
      std::sqrt(var));
  return {s, median(dev), std::sqrt(var)};
}

// ---- The loop seam, as the player plays it: the file's end, then 80 s -------------------

std::vector<double> lowPass(const std::vector<double>& x, double hz) {
  return loudness::zeroPhaseLowPass(x, hz);
}

void seam(const Audio& a) {
  const size_t end = a.frames(), loop = frameAt(LOOP), W = 4410;
  printf("loop seam (the end, then 80.0 s), against the first pass through 80 s:\n");
  for (int c = 0; c < 2; ++c) {
    std::vector<double> played, first;
    for (size_t i = 0; i < W; ++i) played.push_back(a.lr[2 * (end - W + i) + c]);
    for (size_t i = 0; i < W; ++i) played.push_back(a.lr[2 * (loop + i) + c]);
    for (size_t i = 0; i < 2 * W; ++i) first.push_back(a.lr[2 * (loop - W + i) + c]);
    std::vector<double> lp = lowPass(played, 150.0), lf = lowPass(first, 150.0);
    double worst = 0.0;
    for (size_t i = 0; i < lp.size(); ++i) worst = std::max(worst, std::fabs(lp[i] - lf[i]));
    auto rms = [](const std::vector<double>& v, size_t from, size_t n) {
      double s = 0.0;
      for (size_t i = from; i < from + n; ++i) s += v[i] * v[i];
      return 10.0 * std::log10(std::max(s / n, 1e-24));
    };
    double d2Seam = 0.0, d2Around = 0.0;
    for (size_t i = W - 220; i < W + 221; ++i) {
      double d2 = std::fabs(played[i] - 2.0 * played[i - 1] + played[i - 2]);
      if (i == W || i == W + 1)
        d2Seam = std::max(d2Seam, d2);
      else
        d2Around = std::max(d2Around, d2);
    }
    target(20.0 * std::log10(std::max(worst, 1e-12)) < -40.0,
           "seam: low band within -40 dBFS of the first pass",
           20.0 * std::log10(std::max(worst, 1e-12)));
    target(std::fabs(rms(played, W - 441, 441) - rms(first, W - 441, 441)) <= 1.0,
           "seam: the end as loud as the first pass into 80 s (dB apart)",
           rms(played, W - 441, 441) - rms(first, W - 441, 441));
    printf(
        "  channel %d: low band (<150 Hz) differs by at most %.1f dBFS; last 10 ms %.1f dBFS "
        "vs first pass %.1f dBFS; first 10 ms after %.1f dBFS; click (2nd difference) at the "
        "seam %.1f dBFS vs %.1f dBFS around it\n",
        c, 20.0 * std::log10(std::max(worst, 1e-12)), rms(played, W - 441, 441),
        rms(first, W - 441, 441), rms(played, W, 441), 20.0 * std::log10(std::max(d2Seam, 1e-12)),
        20.0 * std::log10(std::max(d2Around, 1e-12)));
  }
}

// ---- The pad's bar lines -----------------------------------------------------------------

void padBarLines(const Audio& a) {
  const size_t hop = 441;  // 10 ms
  std::vector<double> env(a.frames() / hop, 0.0);
  for (size_t k = 0; k < env.size(); ++k) {
    for (size_t i = 0; i < hop; ++i) {
      double l = a.lr[2 * (k * hop + i)], r = a.lr[2 * (k * hop + i) + 1];
      env[k] += (l * l + r * r) / hop;
    }
  }
  auto level = [&](double from, double to) {
    double s = 0.0;
    int n = 0;
    for (size_t k = (size_t)(from * 100.0); k < (size_t)(to * 100.0) && k < env.size(); ++k)
      s += env[k], ++n;
    return n ? s / n : 0.0;
  };
  auto dipAt = [&](double t) {
    double before = level(t - 0.3, t - 0.02), lowest = 1e30;
    for (size_t k = (size_t)(t * 100.0); k < (size_t)((t + 0.3) * 100.0); ++k)
      lowest = std::min(lowest, env[k]);
    return db(before) - db(lowest);
  };
  std::vector<double> bars, beats;
  for (int b = 1; b < 48; ++b) {
    double t = b * BAR;
    if (db(level(t - 0.6, t)) < db(level(0, 120)) - 20.0) continue;  // the pad is silent here
    bars.push_back(dipAt(t));
    for (int q = 1; q < 4; ++q) beats.push_back(dipAt(t + q * 4 * STEP));
  }
  int deep = 0;
  for (double d : bars) deep += d > median(beats) + 3.0;
  target(median(bars) <= median(beats) + 1.0,
         "pad: no extra dip at the bar lines (dB over the other beats)",
         median(bars) - median(beats));
  printf(
      "pad at the bar lines: median dip %.1f dB (on the other beats %.1f dB), %d of %zu bar "
      "lines dip 3 dB more than the other beats do\n",
      median(bars), median(beats), deep, bars.size());
}

// ---- The bells: partials that fold back past half the sample rate ------------------------

void bellAliases(const std::string& dir) {
  Audio a;
  FILE* f = fopen((dir + "/bell-probe.txt").c_str(), "r");
  double fc = 0.0, ratio = 0.0;
  if (!f || fscanf(f, "%lf %lf", &fc, &ratio) != 2 || !readWav(dir + "/bell-probe.wav", a)) {
    if (f) fclose(f);
    printf("bells: no probe\n");
    return;
  }
  fclose(f);
  const size_t n = 16384;
  std::vector<std::complex<double>> x(n);
  for (size_t i = 0; i < n; ++i) {
    double w = 0.35875 - 0.48829 * std::cos(2 * PI * i / n) + 0.14128 * std::cos(4 * PI * i / n) -
               0.01168 * std::cos(6 * PI * i / n);
    x[i] = i < a.frames() ? a.lr[2 * i] * w : 0.0;
  }
  fft(x);
  std::vector<double> p(n / 2 + 1);
  for (size_t k = 0; k <= n / 2; ++k) p[k] = std::norm(x[k]);
  std::vector<bool> legit(n / 2 + 1, false);
  for (int k = -40; k <= 40; ++k) {
    double fk = std::fabs(fc * (1.0 + ratio * k));
    if (fk >= RATE / 2) continue;
    long bin = std::lround(fk * n / RATE);
    for (long b = bin - 8; b <= bin + 8; ++b)
      if (b >= 0 && b <= (long)(n / 2)) legit[b] = true;
  }
  for (size_t b = 0; b < 8; ++b) legit[b] = true;
  long main = std::lround(fc * n / RATE);
  double mainPower = 0.0;
  for (long b = main - 3; b <= main + 3; ++b) mainPower = std::max(mainPower, p[b]);
  double worst = 0.0;
  size_t worstBin = 0;
  for (size_t b = 0; b <= n / 2; ++b)
    if (!legit[b] && p[b] > worst) worst = p[b], worstBin = b;
  target(db(mainPower) - db(worst) >= 40.0, "bells: no alias within 40 dB of the main partial",
         db(mainPower) - db(worst));
  printf(
      "bells: the highest (carrier %.0f Hz, modulator x%.2f): strongest component off the FM "
      "partials (an alias) "
      "%.1f dB under the main partial (at %.0f Hz)\n",
      fc, ratio, db(mainPower) - db(worst), worstBin * RATE / n);
}

int report() {
  printf("targets (%d missed):\n", missed);
  for (const std::string& t : targets) printf("%s\n", t.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s SONG.wav [STEMS_DIR]\n", argv[0]);
    return 2;
  }
  Audio song;
  if (!readWav(argv[1], song)) {
    fprintf(stderr, "soundtrack_meter: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<double> h = hops(song);
  printf("length %.3f s; integrated %.2f LUFS\n", song.frames() / RATE, gated(h, 0, 120));
  target(std::fabs(gated(h, 0, 120) + 14.0) <= 0.5, "integrated loudness -14 LUFS +-0.5",
         gated(h, 0, 120));
  target(std::fabs(song.frames() / RATE - 120.0) < 0.05, "120 s long", song.frames() / RATE);
  octaveTable(song, 20.0, 120.0, true);
  octaveTable(song, 30.0, 50.0, false);

  printf("loudness by slot (gated, LUFS) and loudest short-term (3 s) within it:\n");
  for (int s = 0; s < 12; ++s) {
    double top = -99.0;
    for (double t = s * 10.0 + 3.0; t <= s * 10.0 + 10.0 + 1e-9; t += 0.1)
      top = std::max(top, shortTerm(h, t));
    printf("  %3d-%3d s: %6.1f  (short-term up to %6.1f)\n", s * 10, s * 10 + 10,
           gated(h, s * 10.0, s * 10.0 + 10.0), top);
  }
  std::vector<double> bd;
  for (double t = 73.0; t <= 77.5 + 1e-9; t += 0.1) bd.push_back(shortTerm(h, t));
  double bdMean = median(bd);
  double drop = shortTerm(h, 83.0);
  printf(
      "breakdown 70-77.5 s: short-term %.1f to %.1f LUFS (median %.1f); drop: short-term "
      "80-83 s %.1f LUFS, %+.1f LU over the breakdown; slot 80-90 s %+.1f LU over 70-80 s\n",
      *std::min_element(bd.begin(), bd.end()), *std::max_element(bd.begin(), bd.end()), bdMean,
      drop, drop - bdMean, gated(h, 80, 90) - gated(h, 70, 80));
  target(std::fabs(bdMean + 20.0) <= 1.5, "breakdown at about -20 LUFS short-term", bdMean);
  target(drop - bdMean >= 6.0, "drop at least +6 LU over the breakdown", drop - bdMean);
  seam(song);

  if (argc < 3) return report();
  const std::string dir = argv[2];
  const char* names[] = {"kick", "snare", "clap", "hats", "cymbals", "toms",    "fx",    "bass",
                         "pad",  "stab",  "arp",  "lead", "hook",    "counter", "bells"};
  std::vector<Audio> stems;
  std::vector<std::string> have;
  Audio sum;
  sum.lr.assign(song.lr.size(), 0.0f);
  for (const char* n : names) {
    Audio a;
    if (!readWav(dir + "/" + n + ".wav", a)) continue;
    a.lr.resize(song.lr.size(), 0.0f);
    for (size_t i = 0; i < a.lr.size(); ++i) sum.lr[i] += a.lr[i];
    stems.push_back(std::move(a));
    have.push_back(n);
  }
  auto find = [&](const std::string& n) -> const Audio* {
    for (size_t k = 0; k < have.size(); ++k)
      if (have[k] == n) return &stems[k];
    return nullptr;
  };
  auto restOf = [&](const Audio& a) {
    Audio r;
    r.lr.resize(sum.lr.size());
    for (size_t i = 0; i < r.lr.size(); ++i) r.lr[i] = sum.lr[i] - a.lr[i];
    return r;
  };
  const Audio* bass = find("bass");
  if (!bass) return report();
  std::vector<double> hb = hops(*bass);
  {
    std::vector<double> p = spectrum(*bass, 20, 120);
    printf("bass: %.0f %% of its energy in 100-800 Hz, %.0f %% below 100 Hz\n",
           100.0 * bandPower(p, 100, 800) / bandPower(p, 0, RATE),
           100.0 * bandPower(p, 0, 100) / bandPower(p, 0, RATE));
  }
  std::vector<double> grooveEnds;
  for (double t = 23.0; t <= 70.0 + 1e-9; t += 0.5) grooveEnds.push_back(t);
  for (double t = 83.0; t <= 110.0 + 1e-9; t += 0.5) grooveEnds.push_back(t);
  printf(
      "each part during the groove (short-term windows in 20-70 s and 80-110 s), "
      "LU against the bass and against all the other parts together:\n");
  for (size_t k = 0; k < stems.size(); ++k) {
    std::vector<double> hs = hops(stems[k]), hr = hops(restOf(stems[k]));
    std::vector<double> vsBass, vsRest;
    for (double t : grooveEnds) {
      double s = shortTerm(hs, t);
      if (s < -70.0) continue;
      vsBass.push_back(s - shortTerm(hb, t));
      vsRest.push_back(s - shortTerm(hr, t));
    }
    if (vsBass.empty()) {
      printf("  %-8s silent in the groove\n", have[k].c_str());
      continue;
    }
    if (have[k] != "bass")
      target(*std::max_element(vsBass.begin(), vsBass.end()) <= 2.0,
             (have[k] + ": never more than 2 LU over the bass in the groove").c_str(),
             *std::max_element(vsBass.begin(), vsBass.end()));
    printf(
        "  %-8s vs bass: median %+6.1f, most %+6.1f;  vs the rest: median %+6.1f, most %+6.1f;"
        "  whole piece %6.1f LUFS\n",
        have[k].c_str(), median(vsBass), *std::max_element(vsBass.begin(), vsBass.end()),
        median(vsRest), *std::max_element(vsRest.begin(), vsRest.end()), gated(hs, 0, 120));
  }
  if (const Audio* kick = find("kick")) {
    double low = bandPower(spectrum(*kick, 20, 120), 0, 120);
    double all = bandPower(spectrum(sum, 20, 120), 0, 120);
    std::vector<double> p = spectrum(*kick, 20, 120);
    size_t peak = 1;
    for (size_t k = 1; k * RATE / NFFT < 200.0; ++k)
      if (p[k] > p[peak]) peak = k;
    printf(
        "kick's share of the energy below 120 Hz (20-120 s): %.0f %%; its strongest "
        "frequency %.0f Hz\n",
        100.0 * low / all, peak * RATE / NFFT);
  }
  // The tune over the fountain: the hook's own voice where the piece has one.
  const Audio* tune = find("hook") ? find("hook") : find("lead");
  if (tune) {
    std::vector<double> ol = octaves(spectrum(*tune, 80, 88)),
                        orr = octaves(spectrum(restOf(*tune), 80, 88));
    int best = (int)(std::max_element(ol.begin(), ol.end()) - ol.begin());
    target(db(ol[best]) - db(orr[best]) > 0.0 && ol[best] > 1e-12,
           "the tune over the fountain above the rest in its own band (dB)",
           db(ol[best]) - db(orr[best]));
    printf("%s over the fountain (80-88 s), against the rest per octave band:",
           find("hook") ? "hook" : "lead");
    for (int k = 4; k < 10; ++k) printf(" %s %+.1f", CENTRE_NAMES[k], db(ol[k]) - db(orr[k]));
    printf(" dB; its own loudest band %s: %+.1f dB\n", CENTRE_NAMES[best],
           db(ol[best]) - db(orr[best]));
  }
  if (const Audio* lead = find("lead")) {
    std::vector<double> hl = hops(*lead);
    double playing = 0.0;
    for (size_t i = 0; i < std::min<size_t>(1200, hl.size()); ++i)
      playing += lufs(hl[i]) > -50.0 ? 0.1 : 0.0;
    printf("lead sounds in %.0f of 120 s\n", playing);
  }
  if (const Audio* counter = find("counter")) {
    std::vector<double> hc = hops(*counter);
    target(gated(hc, 30, 50) - gated(hops(restOf(*counter)), 30, 50) >= -12.0,
           "counter-melody in 30-50 s, within 12 LU of the rest",
           gated(hc, 30, 50) - gated(hops(restOf(*counter)), 30, 50));
    printf("counter-melody: 30-50 s %.1f LUFS (the rest %.1f LUFS); elsewhere %.1f LUFS\n",
           gated(hc, 30, 50), gated(hops(restOf(*counter)), 30, 50),
           std::max(gated(hc, 0, 30), gated(hc, 50, 120)));
  }
  printf("onsets per part (swing is the share of each eighth that its first sixteenth takes):\n");
  for (const char* n : {"kick", "hats", "arp", "clap", "counter"}) {
    const Audio* a = find(n);
    if (!a) continue;
    Feel f = feel(n, *a);
    std::string part = n;
    if (part == "kick") {
      target(f.deviationMs < 0.5, "kick on the grid (median ms off)", f.deviationMs);
      continue;
    }
    if (part == "hats" || part == "arp")
      target(f.swing >= 0.54 && f.swing <= 0.58, (part + ": swing 54-58 %").c_str(),
             100.0 * f.swing);
    target(f.deviationMs >= 1.5, (part + ": a few ms of timing variation (median ms)").c_str(),
           f.deviationMs);
    target(f.spreadDb >= 1.0, (part + ": velocity varies (level spread dB)").c_str(), f.spreadDb);
  }
  if (const Audio* pad = find("pad")) padBarLines(*pad);
  bellAliases(dir);
  return report();
}
