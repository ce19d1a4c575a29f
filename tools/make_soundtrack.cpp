// make_soundtrack: composes, renders, masters and encodes the show's soundtrack,
// assets/zoov2020.ogg, from the score and the instruments in tools/soundtrack/.
// Deterministic: the same build gives the same file.
// Usage: make_soundtrack OUTPUT.ogg [--raw RAW_F32_STEREO_OUT] [--stems DIR] [--score FILE]
//
// The piece is 120 s at 96 BPM (tools/soundtrack/score.cpp). Bars 32..47 (80..120 s) are the
// loop the player repeats. To make the loop seamless, the renderer plays the song and then
// the loop once more and keeps that second pass as the file's 80..120 s: every reverb tail,
// delay echo and release that crosses the loop's end is then already part of its start.
//
// --stems DIR also writes every part of the band on its own (DIR/NAME.wav, 32-bit float,
// with its own echoes and reverb and the master gain, before the bus compressor and the
// limiter), and one bell at the highest pitch the piece gives it, dry (DIR/bell-probe.wav
// with its carrier and modulator ratio in DIR/bell-probe.txt), so the mix can be measured
// part by part (tools/measure-soundtrack.sh).
//
// --score FILE writes every pitched note of the first 120 s, one a line:
// `SECONDS PART MIDI LENGTH VELOCITY`, with a `# melodic:` line naming the parts that carry
// the tune (tools/score_report.py reads it). With OUTPUT "-" only the score is written:
// nothing is rendered.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "music/soloud.h"
#include "soundtrack/band.h"
#include "soundtrack/effects.h"
#include "soundtrack/instruments.h"
#include "soundtrack/master.h"
#include "soundtrack/mix.h"
#include "soundtrack/timing.h"

using namespace soundtrack;

namespace {

// Every bar of the render, with the band as it stands (all of it, or one part).
void renderBand() {
  mix.dry.init(RENDER_FRAMES);
  mix.reverb.init(RENDER_FRAMES);
  mix.delay.init(RENDER_FRAMES);
  composeDucking();
  for (int rb = 0; rb < RENDER_BARS; ++rb) composeBar(rb);
  if (!mix.audible) return;  // the notes are logged: that is all the score needs
  pingPong(mix.delay, mix.dry, mix.reverb, 0.38f, 1.0f);
  plateReverb(mix.reverb, mix.dry, 0.72f, 0.35f, 0.55f);
  mix.reverb = Stereo();
  mix.delay = Stereo();
}

// Each part alone, at the master gain, and the highest bell on its own.
bool writeStems(const std::string& dir, float gain) {
  std::vector<float> probe, lr;
  bellTone(mix.highestBell, 0.5f, probe);
  lr.resize(probe.size() * 2);
  for (size_t j = 0; j < probe.size(); ++j) lr[2 * j] = lr[2 * j + 1] = probe[j] * 0.5f;
  if (!writeWav(dir + "/bell-probe.wav", lr)) return false;
  FILE* f = fopen((dir + "/bell-probe.txt").c_str(), "w");
  if (!f) return false;
  fprintf(f, "%.4f %.4f\n", (double)noteHz(mix.highestBell), (double)BELL_RATIO);
  fclose(f);
  for (int p = 0; p < PART_COUNT; ++p) {
    mix.solo = p;
    renderBand();
    std::vector<float> render(RENDER_FRAMES * 2);
    for (size_t i = 0; i < RENDER_FRAMES; ++i) {
      render[2 * i] = mix.dry.l[i] * gain;
      render[2 * i + 1] = mix.dry.r[i] * gain;
    }
    if (!writeWav(dir + "/" + PART_NAMES[p] + ".wav", assemble(render))) return false;
  }
  mix.solo = -1;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s OUTPUT.ogg [--raw F32_STEREO_OUT] [--stems DIR] [--score FILE]\n",
            argv[0]);
    return 2;
  }
  const char* output = argv[1];
  const char* rawOut = nullptr;
  const char* stemsDir = nullptr;
  const char* scoreOut = nullptr;
  for (int a = 2; a + 1 < argc; a += 2) {
    if (strcmp(argv[a], "--raw") == 0) {
      rawOut = argv[a + 1];
    } else if (strcmp(argv[a], "--stems") == 0) {
      stemsDir = argv[a + 1];
    } else if (strcmp(argv[a], "--score") == 0) {
      scoreOut = argv[a + 1];
    } else {
      fprintf(stderr, "make_soundtrack: unknown option %s\n", argv[a]);
      return 2;
    }
  }

  if (argc % 2 != 0) {
    fprintf(stderr, "make_soundtrack: %s wants a value\n", argv[argc - 1]);
    return 2;
  }
  const bool scoreOnly = strcmp(output, "-") == 0;
  if (scoreOnly && !scoreOut) {
    fprintf(stderr, "make_soundtrack: the output \"-\" is for --score alone\n");
    return 2;
  }

  auto started = std::chrono::steady_clock::now();
  auto elapsed = [&]() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };
  mix.audible = !scoreOnly;
  renderBand();
  if (scoreOut && !writeScore(scoreOut)) {
    fprintf(stderr, "make_soundtrack: cannot write the score to %s\n", scoreOut);
    return 1;
  }
  if (scoreOnly) return 0;
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
    const float highestBell = mix.highestBell;
    mix = Mix();
    mix.highestBell = highestBell;
    if (!writeStems(stemsDir, (float)std::pow(10.0, appliedGainDb / 20.0))) {
      fprintf(stderr, "make_soundtrack: cannot write the stems to %s\n", stemsDir);
      return 1;
    }
    printf("[%5.1f s] stems written to %s\n", elapsed(), stemsDir);
  }
  return 0;
}
