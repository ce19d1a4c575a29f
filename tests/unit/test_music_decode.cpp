// The engine's decoding against the reference decoder: files made by oggenc at several
// rates and channel counts decode to what oggdec writes, converted to the mix format.
#include <gtest/gtest.h>

#include <cmath>

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
  EXPECT_EQ(wav.getFrameCount(), (unsigned)((reference16.size() / (size_t)c.channels * 44100 + (size_t)c.rate / 2) / (size_t)c.rate));
  EXPECT_NEAR(wav.getLength(), 2.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P(RatesAndChannels, MusicDecode,
                         ::testing::Values(Case{"stereo44100", 44100, 2},
                                           Case{"mono44100", 44100, 1},
                                           Case{"stereo48000", 48000, 2},
                                           Case{"mono48000", 48000, 1},
                                           Case{"stereo22050", 22050, 2}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
