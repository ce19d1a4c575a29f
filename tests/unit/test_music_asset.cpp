// The committed soundtrack: its format and length, and a loop from its end back to 80 s
// that neither clicks nor gaps, checked on the reference decoder's output and through
// the engine with the show's own settings.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <string>

#include "music/soloud.h"
#include "test_music_support.h"
#include "tools/loudness.h"

namespace {

const std::string ASSET = std::string(ZOOV_SOURCE_DIR) + "/assets/zoov2020.ogg";
const long RATE = 44100;
const size_t LOOP = 80 * 44100;

// The asset as oggdec decodes it, as floats, interleaved stereo.
const std::vector<float>& decoded() {
  static std::vector<float> pcm = musictest::oggdecFloats(ASSET);
  return pcm;
}

// One channel of frames [from, from + count).
std::vector<double> channel(const std::vector<float>& pcm, size_t from, size_t count, int ch) {
  std::vector<double> out(count);
  for (size_t k = 0; k < count; ++k) out[k] = pcm[2 * (from + k) + (size_t)ch];
  return out;
}

std::vector<double> concat(std::vector<double> a, const std::vector<double>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}


double rms(const std::vector<double>& x) {
  double s = 0.0;
  for (double v : x) s += v * v;
  return std::sqrt(s / (double)x.size());
}

double dbfs(double v) { return 20.0 * std::log10(std::max(v, 1e-12)); }

TEST(MusicAsset, IsTwoMinutesOfStereoAt44100) {
  FILE* f = fopen(ASSET.c_str(), "rb");
  ASSERT_NE(f, nullptr) << ASSET;
  OggVorbis_File vf;
  ASSERT_EQ(ov_open_callbacks(f, &vf, nullptr, 0, OV_CALLBACKS_DEFAULT), 0);
  vorbis_info* info = ov_info(&vf, -1);
  EXPECT_EQ(info->rate, RATE);
  EXPECT_EQ(info->channels, 2);
  EXPECT_EQ(ov_streams(&vf), 1);
  EXPECT_NEAR(ov_time_total(&vf, -1), 120.0, 0.05);
  ov_clear(&vf);  // closes f

  EXPECT_NEAR(decoded().size() / 2 / (double)RATE, 120.0, 0.05);
  SoLoud::Wav wav;
  ASSERT_EQ(wav.load(ASSET.c_str()), 0u);
  EXPECT_NEAR(wav.getLength(), 120.0, 0.05);
  EXPECT_EQ((size_t)wav.getFrameCount() * 2, decoded().size());
}

// The audio as the player plays it through the seam (the last 100 ms, then 80 s on) has
// the same low band as the first pass through 80 s: a step, a gap or an offset at the
// seam would show there, while the codec's own noise in the highs does not.
TEST(MusicAsset, LoopEndFlowsIntoEightySecondsLikeTheFirstPass) {
  const std::vector<float>& pcm = decoded();
  const size_t end = pcm.size() / 2;
  const size_t W = 4410;
  ASSERT_GT(end, LOOP + W);
  for (int ch = 0; ch < 2; ++ch) {
    std::vector<double> seam = concat(channel(pcm, end - W, W, ch), channel(pcm, LOOP, W, ch));
    std::vector<double> first = channel(pcm, LOOP - W, 2 * W, ch);
    std::vector<double> ls = loudness::zeroPhaseLowPass(seam, 150.0);
    std::vector<double> lf = loudness::zeroPhaseLowPass(first, 150.0);
    double worst = 0.0;
    for (size_t i = 0; i < ls.size(); ++i) worst = std::max(worst, std::fabs(ls[i] - lf[i]));
    EXPECT_LT(dbfs(worst), -40.0) << "channel " << ch;

    // Neither side of the seam is a gap of silence, and both sides are equally loud.
    std::vector<double> tail(seam.begin() + (long)W - 441, seam.begin() + (long)W);
    std::vector<double> lead(first.begin() + (long)W - 441, first.begin() + (long)W);
    EXPECT_GT(dbfs(rms(tail)), -50.0);
    EXPECT_NEAR(dbfs(rms(tail)), dbfs(rms(lead)), 1.0);
    std::vector<double> after(seam.begin() + (long)W, seam.begin() + (long)W + 441);
    EXPECT_GT(dbfs(rms(after)), -50.0);
  }
}

// A click is a sudden jump; the second difference shows it as a spike. At the seam it
// must stay under -40 dBFS or at least no sharper than the music within 5 ms of it.
TEST(MusicAsset, LoopSeamHasNoClick) {
  const std::vector<float>& pcm = decoded();
  const size_t end = pcm.size() / 2;
  const size_t W = 221;
  for (int ch = 0; ch < 2; ++ch) {
    std::vector<double> y = concat(channel(pcm, end - W, W, ch), channel(pcm, LOOP, W, ch));
    double atSeam = 0.0, around = 0.0;
    for (size_t i = 2; i < y.size(); ++i) {
      double d2 = std::fabs(y[i] - 2.0 * y[i - 1] + y[i - 2]);
      if (i == W || i == W + 1) {
        atSeam = std::max(atSeam, d2);
      } else {
        around = std::max(around, d2);
      }
    }
    EXPECT_LE(atSeam, std::max(0.01, around))
        << "channel " << ch << ": seam " << dbfs(atSeam) << " dBFS, around " << dbfs(around);
    // The plain jump across the seam is of the size of the music's own steps there.
    double step = std::fabs(y[W] - y[W - 1]);
    double steps = 0.0;
    for (size_t i = 1; i < y.size(); ++i) {
      if (i != W) steps = std::max(steps, std::fabs(y[i] - y[i - 1]));
    }
    EXPECT_LE(step, std::max(0.01, steps)) << "channel " << ch;
  }
}

// The show's settings through the engine: looping from 80.0 s, the frames around the seam
// are the asset's own, in order, with the position jumping back to exactly 80 s.
TEST(MusicAsset, EngineLoopsTheShowMusicFromEightySeconds) {
  const std::vector<float>& ref = decoded();
  SoLoud::Soloud engine;
  engine.initOffline();
  SoLoud::Wav wav;
  ASSERT_EQ(wav.load(ASSET.c_str()), 0u);
  wav.setLooping(true);
  wav.setLoopPoint(80.0);
  SoLoud::handle h = engine.play(wav, -1.0f, 0.0f, false, 0);
  const size_t end = wav.getFrameCount();

  std::vector<float> buffer(2048 * 2);
  size_t mixed = 0;
  std::vector<float> around;  // the last 3 buffers before and 3 after the wrap
  double before = 0.0;
  while (mixed < end + 3 * 2048) {
    engine.mix(buffer.data(), 2048);
    mixed += 2048;
    if (mixed + 3 * 2048 > end) around.insert(around.end(), buffer.begin(), buffer.end());
    double p = engine.getStreamPosition(h);
    if (mixed < end) {
      EXPECT_EQ(p, mixed / (double)RATE);
      before = p;
    }
  }
  EXPECT_GT(before, 119.9);
  EXPECT_EQ(engine.getStreamPosition(h), (80.0 * RATE + (double)(mixed - end)) / RATE);

  const size_t first = mixed - around.size() / 2;  // frame index of around[0]
  for (size_t k = 0; k < around.size() / 2; ++k) {
    size_t played = first + k;
    size_t src = played < end ? played : LOOP + (played - end);
    ASSERT_EQ(around[2 * k], ref[2 * src]) << "played frame " << played;
    ASSERT_EQ(around[2 * k + 1], ref[2 * src + 1]) << "played frame " << played;
  }
}

}  // namespace
