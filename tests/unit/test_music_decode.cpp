// The engine's decoding against the reference decoder: files made by oggenc at several
// rates and channel counts decode to what oggdec writes, converted to the mix format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "music/soloud.h"
#include "test_music_support.h"

namespace {

struct Case {
  const char* name;
  int rate;
  int channels;
};

class MusicDecode : public ::testing::TestWithParam<Case> {};

TEST_P(MusicDecode, MatchesOggdecWithinOneLsb) {
  const Case c = GetParam();
  std::string ogg = musictest::makeOgg(c.name, c.rate, c.channels, 2.0);
  std::vector<int16_t> reference16 = musictest::oggdec(ogg);
  ASSERT_EQ(reference16.size() % (size_t)c.channels, 0u);
  ASSERT_GT(reference16.size(), (size_t)c.rate);  // about two seconds came out
  std::vector<float> reference = musictest::toMixFormat(reference16, c.rate, c.channels);

  SoLoud::Wav wav;
  ASSERT_EQ(wav.load(ogg.c_str()), (SoLoud::result)SoLoud::SO_NO_ERROR);
  const float* ours = wav.getSamples();
  const size_t ourFloats = (size_t)wav.getFrameCount() * 2;

  ASSERT_EQ(ourFloats, reference.size());
  const float lsb = 1.0f / 32768.0f;
  size_t worstAt = 0;
  float worst = 0.0f;
  for (size_t i = 0; i < ourFloats; ++i) {
    float d = std::fabs(ours[i] - reference[i]);
    if (d > worst) {
      worst = d;
      worstAt = i;
    }
  }
  EXPECT_LE(worst, lsb * 1.0001f) << "largest difference " << worst / lsb << " LSB at float "
                                  << worstAt;
  // Same-format files need no conversion at all: every sample is oggdec's exactly.
  if (c.rate == 44100 && c.channels == 2) {
    EXPECT_EQ(worst, 0.0f);
  }
  // Mono becomes identical left and right.
  if (c.channels == 1) {
    for (size_t i = 0; i < ourFloats; i += 2) ASSERT_EQ(ours[i], ours[i + 1]) << i;
  }
  // The length at the mix rate is the file's length, to the frame.
  EXPECT_EQ(wav.getFrameCount(),
            (unsigned)((reference16.size() / (size_t)c.channels * 44100 + (size_t)c.rate / 2) /
                       (size_t)c.rate));
  EXPECT_NEAR(wav.getLength(), 2.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    RatesAndChannels, MusicDecode,
    ::testing::Values(Case{"stereo44100", 44100, 2}, Case{"mono44100", 44100, 1},
                      Case{"stereo48000", 48000, 2}, Case{"mono48000", 48000, 1},
                      Case{"stereo22050", 22050, 2}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The resampling itself against an independent resampler: sox's, on a clean sweep. Small
// differences between two good filters are expected; a resampler fed in pieces that lose
// their alignment would be off by whole waves.
TEST(MusicDecodeResampling, AgreesWithSox) {
  std::string wav = test::scratchPath("sweep48.wav");
  std::string ogg = test::scratchPath("sweep48.ogg");
  std::string raw = test::scratchPath("sweep48-sox.raw");
  ASSERT_TRUE(
      musictest::run("sox -n -r 48000 -c 1 -b 16 " + wav + " synth 2 sine 220-3300 vol 0.45"));
  ASSERT_TRUE(musictest::run("oggenc -Q -q 6 -o " + ogg + " " + wav));
  ASSERT_TRUE(
      musictest::run("sox " + ogg + " -r 44100 -c 2 -b 16 -e signed -t raw " + raw + " rate -v"));
  std::vector<unsigned char> bytes = musictest::readBytes(raw);
  SoLoud::Wav ours;
  ASSERT_EQ(ours.load(ogg.c_str()), 0u);
  const size_t n = std::min<size_t>(bytes.size() / 2, (size_t)ours.getFrameCount() * 2);
  ASSERT_GT(n, 170000u);
  double sum = 0.0, worst = 0.0;
  // Skip the first and last few milliseconds, where the two filters start and stop differently.
  for (size_t i = 400; i + 400 < n; ++i) {
    int16_t s = (int16_t)(uint16_t)(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    double d = ours.getSamples()[i] - s / 32768.0;
    sum += d * d;
    worst = std::max(worst, std::fabs(d));
  }
  double rmsDb = 10.0 * std::log10(sum / (double)(n - 800));
  double worstDb = 20.0 * std::log10(worst);
  EXPECT_LT(rmsDb, -60.0);
  EXPECT_LT(worstDb, -40.0);
}

// One page in the middle damaged (its checksum no longer fits): the reference decoders
// skip it and play on, and so does the engine, with silence where the page was so that
// everything after the gap stays at its own time and the length is the file's.
TEST(MusicDecodeDamage, ALostPageBecomesSilenceAndTheRestKeepsItsTime) {
  std::string ogg = musictest::makeOgg("damaged", 44100, 2, 4.0);
  std::vector<unsigned char> bytes = musictest::readBytes(ogg);
  std::vector<size_t> pages;
  for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
    if (memcmp(&bytes[i], "OggS", 4) == 0) pages.push_back(i);
  }
  ASSERT_GT(pages.size(), 10u);
  const size_t page = pages[pages.size() / 2];
  bytes[page + 27 + bytes[page + 26] + 20] ^= 0x5a;  // a byte of the page's body

  SoLoud::Wav whole, damaged;
  ASSERT_EQ(whole.load(ogg.c_str()), (SoLoud::result)SoLoud::SO_NO_ERROR);
  ASSERT_EQ(damaged.loadMem(bytes.data(), bytes.size(), "damaged.ogg"),
            (SoLoud::result)SoLoud::SO_NO_ERROR);
  ASSERT_EQ(damaged.getFrameCount(), whole.getFrameCount());

  const float* a = whole.getSamples();
  const float* b = damaged.getSamples();
  const size_t floats = (size_t)whole.getFrameCount() * 2;
  size_t first = floats, last = 0;
  for (size_t i = 0; i < floats; ++i) {
    if (a[i] != b[i]) {
      first = std::min(first, i);
      last = i;
    }
  }
  ASSERT_LT(first, floats) << "the damage changed nothing";
  // The damage stays local: about a page of audio (a third of a second here) differs.
  EXPECT_LT((last - first) / 2, 44100u / 2) << "differs from frame " << first / 2 << " to "
                                             << last / 2;
  EXPECT_GT(first / 2, 44100u) << "the audio before the page is untouched";
  EXPECT_LT(last / 2, (size_t)whole.getFrameCount() - 44100u) << "and so is the audio after it";
  // Where the page was, silence.
  size_t zeros = 0, run = 0;
  for (size_t i = first; i <= last; ++i) {
    run = b[i] == 0.0f ? run + 1 : 0;
    zeros = std::max(zeros, run);
  }
  EXPECT_GT(zeros / 2, 256u);
}

}  // namespace
