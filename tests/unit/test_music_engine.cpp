// The engine driven without a device: positions follow the mixed frames exactly, looping
// voices wrap to their loop point playing the source's own samples, invalid handles and
// empty sources read 0, and bad files leave an empty source with one line on stderr.
// Where no audio device opens, the engine still plays in real time, unheard.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "music/soloud.h"
#include "test_music_support.h"

namespace {

const double RATE = 44100.0;

// A three-second stereo test file and oggdec's samples of it, shared by the tests.
struct Fixture {
  std::string path;
  std::vector<float> reference;  // oggdec's 16-bit samples as floats, interleaved stereo
};

const Fixture& threeSeconds() {
  static Fixture f = [] {
    std::string path = musictest::makeOgg("engine3s", 44100, 2, 3.0);
    return Fixture{path, musictest::oggdecFloats(path)};
  }();
  return f;
}

std::vector<float> mixFrames(SoLoud::Soloud& engine, unsigned frames) {
  std::vector<float> out((size_t)frames * 2, 123.0f);  // every value must be overwritten
  engine.mix(out.data(), frames);
  return out;
}

bool silent(const std::vector<float>& mixed) {
  return std::all_of(mixed.begin(), mixed.end(), [](float v) { return v == 0.0f; });
}

// An offline engine that plays what it is given.
struct OfflineEngine : SoLoud::Soloud {
  OfflineEngine() { initOffline(); }
};

// An offline engine and the test file, loaded.
class MusicEngine : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(wav.load(threeSeconds().path.c_str()), 0u); }
  OfflineEngine engine;
  SoLoud::Wav wav;
  const std::vector<float>& ref = threeSeconds().reference;
};

TEST_F(MusicEngine, PositionAdvancesExactlyWithMixedFrames) {
  SoLoud::handle h = engine.play(wav);
  ASSERT_NE(h, 0u);
  // Nothing is mixed yet: the first frames of the show read music time 0.
  EXPECT_EQ(engine.getStreamPosition(h), 0.0);

  unsigned total = 0;
  const unsigned sizes[] = {2048, 2048, 1, 441, 4410, 2047, 333, 2048};
  for (unsigned n : sizes) {
    mixFrames(engine, n);
    total += n;
    EXPECT_EQ(engine.getStreamPosition(h), total / RATE) << "after " << total << " frames";
  }
}

TEST_F(MusicEngine, PlaysTheSourceSamplesUnchanged) {
  engine.play(wav, -1.0f, 0.0f, false, 0);
  std::vector<float> out = mixFrames(engine, 10000);
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], ref[i]) << "float " << i;
}

// Mixes through the end of a looping source in device-sized buffers and checks that the
// frames on both sides of the seam are the source's own: the last frames, then the frames
// from the loop point on, with nothing dropped and nothing repeated; after every buffer the
// position is where the voice stands, counted independently of the engine.
void checkLoopSeam(double loopPoint, unsigned bufferFrames) {
  OfflineEngine engine;
  SoLoud::Wav wav;
  ASSERT_EQ(wav.load(threeSeconds().path.c_str()), 0u);
  const std::vector<float>& ref = threeSeconds().reference;
  const unsigned length = (unsigned)(ref.size() / 2);
  ASSERT_EQ(wav.getFrameCount(), length);
  const unsigned loopFrame = (unsigned)(loopPoint * RATE + 0.5);
  auto source = [&](unsigned k) { return k < length ? k : loopFrame + (k - length) % (length - loopFrame); };

  wav.setLooping(true);
  wav.setLoopPoint(loopPoint);
  SoLoud::handle h = engine.play(wav);

  std::vector<float> played;
  const unsigned wanted = length + (length - loopFrame) + 5000;  // into the second wrap
  while (played.size() / 2 < wanted) {
    std::vector<float> out = mixFrames(engine, bufferFrames);
    played.insert(played.end(), out.begin(), out.end());
    // The position never reads the end itself: it has already jumped back.
    unsigned mixed = (unsigned)(played.size() / 2);
    ASSERT_EQ(engine.getStreamPosition(h), (mixed < length ? mixed : source(mixed)) / RATE)
        << "after " << mixed << " frames";
  }
  for (unsigned k = 0; k < played.size() / 2; ++k) {
    ASSERT_EQ(played[2 * k], ref[2 * source(k)]) << "frame " << k;
    ASSERT_EQ(played[2 * k + 1], ref[2 * source(k) + 1]) << "frame " << k;
  }
}

TEST_F(MusicEngine, LoopWrapsToTheLoopPointWhateverTheBufferSize) {
  const struct {
    double loopPoint;
    unsigned bufferFrames;
  } cases[] = {{1.0, 2048}, {1.0, 1}, {2.5, 777}, {0.0, 4096}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "loop at " << c.loopPoint << " s, " << c.bufferFrames << " frames a buffer");
    checkLoopSeam(c.loopPoint, c.bufferFrames);
  }
}

TEST_F(MusicEngine, NonLoopingVoiceEndsAndItsHandleReadsZero) {
  SoLoud::handle h = engine.play(wav);
  const unsigned length = wav.getFrameCount();
  mixFrames(engine, length - 10);
  EXPECT_GT(engine.getStreamPosition(h), 2.9);
  std::vector<float> out = mixFrames(engine, 100);
  EXPECT_EQ(engine.getStreamPosition(h), 0.0);
  // The ten frames left are played, then silence.
  for (unsigned k = 0; k < 10; ++k) EXPECT_EQ(out[2 * k], ref[2 * (length - 10 + k)]);
  for (unsigned k = 10; k < 100; ++k) EXPECT_EQ(out[2 * k], 0.0f);
}

TEST_F(MusicEngine, InvalidHandlesReadZero) {
  wav.setLooping(true);
  SoLoud::handle h = engine.play(wav);
  mixFrames(engine, 4410);
  EXPECT_EQ(engine.getStreamPosition(h), 0.1);
  // h ^ 0x1000 is the same slot in another play.
  for (SoLoud::handle bad : {0u, h + 1, h ^ 0x1000u, 0xFFFFFFFFu})
    EXPECT_EQ(engine.getStreamPosition(bad), 0.0) << bad;
  // Loading the source again stops its voices.
  ASSERT_EQ(wav.load(threeSeconds().path.c_str()), 0u);
  EXPECT_EQ(engine.getStreamPosition(h), 0.0);
  SoLoud::handle again = engine.play(wav);
  EXPECT_NE(again, h);
  mixFrames(engine, 441);
  EXPECT_EQ(engine.getStreamPosition(again), 0.01);
  engine.deinit();
  EXPECT_EQ(engine.getStreamPosition(again), 0.0);
}

// Sources and engines are separate objects that may go in either order; under the
// sanitizers a source that called back into an engine already gone fails here.
TEST(MusicEngineLifetimes, SourcesAndEnginesMayGoInEitherOrder) {
  auto* first = new OfflineEngine;
  auto* second = new OfflineEngine;
  auto* wav = new SoLoud::Wav;
  ASSERT_EQ(wav->load(threeSeconds().path.c_str()), 0u);

  // A source started in another engine stops in the first.
  SoLoud::handle inFirst = first->play(*wav);
  mixFrames(*first, 441);
  SoLoud::handle inSecond = second->play(*wav);
  EXPECT_EQ(first->getStreamPosition(inFirst), 0.0);
  EXPECT_TRUE(silent(mixFrames(*first, 64)));
  mixFrames(*second, 441);
  EXPECT_EQ(second->getStreamPosition(inSecond), 0.01);

  // The engine it plays in goes first, then the source.
  delete second;
  delete wav;

  // The source goes first: its voice stops and the engine mixes silence.
  wav = new SoLoud::Wav;
  ASSERT_EQ(wav->load(threeSeconds().path.c_str()), 0u);
  SoLoud::handle h = first->play(*wav);
  mixFrames(*first, 882);
  EXPECT_EQ(first->getStreamPosition(h), 0.02);
  delete wav;
  EXPECT_EQ(first->getStreamPosition(h), 0.0);
  EXPECT_TRUE(silent(mixFrames(*first, 64)));
  delete first;
}

TEST_F(MusicEngine, NoVoiceAndEmptySourcesMixSilence) {
  EXPECT_TRUE(silent(mixFrames(engine, 512)));

  SoLoud::Wav never;  // nothing loaded
  never.setLooping(true);
  never.setLoopPoint(80.0);
  SoLoud::handle h = engine.play(never, -1.0f, 0.0f, false, 0);
  EXPECT_TRUE(silent(mixFrames(engine, 2048)));
  EXPECT_EQ(engine.getStreamPosition(h), 0.0);

  SoLoud::Wav once;
  SoLoud::handle g = engine.play(once);
  mixFrames(engine, 2048);
  EXPECT_EQ(engine.getStreamPosition(g), 0.0);
}

TEST_F(MusicEngine, VolumePanAndPauseAreHonoured) {
  const struct {
    float volume, pan;
    bool paused;
    float left, right;  // what each channel carries of the source
  } cases[] = {{0.5f, 0.0f, false, 0.5f, 0.5f}, {1.0f, -1.0f, false, 1.0f, 0.0f}, {-1.0f, 0.0f, true, 0.0f, 0.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "volume " << c.volume << " pan " << c.pan << " paused " << c.paused);
    // A source keeps the engine that last played it: it must not outlive that engine.
    OfflineEngine fresh;
    SoLoud::Wav source;
    ASSERT_EQ(source.load(threeSeconds().path.c_str()), 0u);
    SoLoud::handle h = fresh.play(source, c.volume, c.pan, c.paused, 0);
    std::vector<float> out = mixFrames(fresh, 1000);
    EXPECT_EQ(fresh.getStreamPosition(h), c.paused ? 0.0 : 1000 / RATE);
    for (size_t k = 0; k < 1000; ++k) {
      ASSERT_EQ(out[2 * k], ref[2 * k] * c.left) << "frame " << k;
      ASSERT_EQ(out[2 * k + 1], ref[2 * k + 1] * c.right) << "frame " << k;
    }
  }
}

TEST_F(MusicEngine, TwoVoicesAddUpAndAreClipped) {
  SoLoud::handle a = engine.play(wav, 4.0f);
  SoLoud::handle b = engine.play(wav, 4.0f);
  EXPECT_NE(a, b);
  std::vector<float> out = mixFrames(engine, 20000);
  bool clipped = false;
  for (size_t i = 0; i < out.size(); ++i) {
    float sum = ref[i] * 4.0f + ref[i] * 4.0f;
    float want = std::min(1.0f, std::max(-1.0f, sum));
    ASSERT_EQ(out[i], want) << i;
    clipped = clipped || std::fabs(sum) > 1.0f;
  }
  EXPECT_TRUE(clipped);  // the test file is loud enough to reach the limit at 8x
}

// ---- Files that cannot be played ---------------------------------------------------------

// Loads the file and returns what the engine printed on stderr.
std::string loadCapturingStderr(SoLoud::Wav& wav, const std::string& path, SoLoud::result* rc) {
  ::testing::internal::CaptureStderr();
  *rc = wav.load(path.c_str());
  return ::testing::internal::GetCapturedStderr();
}

void expectRejected(const std::string& path, const char* reasonWord) {
  SoLoud::Wav wav;
  // A good load first, so the failure must also empty a source that held audio.
  ASSERT_EQ(wav.load(threeSeconds().path.c_str()), 0u);
  ASSERT_GT(wav.getFrameCount(), 0u);
  SoLoud::result rc = 0;
  std::string said = loadCapturingStderr(wav, path, &rc);
  EXPECT_NE(rc, 0u) << path;
  EXPECT_EQ(wav.getFrameCount(), 0u) << path;
  EXPECT_EQ(wav.getLength(), 0.0);
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_EQ(said.back(), '\n');
  EXPECT_NE(said.find(path), std::string::npos) << said;
  EXPECT_NE(said.find(reasonWord), std::string::npos) << said;

  // The engine keeps working with the empty source.
  OfflineEngine engine;
  wav.setLooping(true);
  wav.setLoopPoint(80.0);
  SoLoud::handle h = engine.play(wav);
  mixFrames(engine, 2048);
  EXPECT_EQ(engine.getStreamPosition(h), 0.0);
}

TEST(MusicEngineFiles, EachFaultIsNamedOnOneLine) {
  std::vector<unsigned char> whole = musictest::readBytes(threeSeconds().path);
  ASSERT_GT(whole.size(), 10000u);
  // Cut just before the last page: every page left is whole, but the stream has no end.
  size_t lastPage = 0;
  for (size_t i = 0; i + 4 <= whole.size(); ++i)
    if (whole[i] == 'O' && whole[i + 1] == 'g' && whole[i + 2] == 'g' && whole[i + 3] == 'S') lastPage = i;
  ASSERT_GT(lastPage, 4000u);
  std::string junk(50000, '\0');
  uint32_t x = 12345;
  for (char& b : junk) {
    x = x * 1664525u + 1013904223u;
    b = (char)(x >> 24);
  }
  auto head = [&](size_t n) { return std::string(whole.begin(), whole.begin() + (long)n); };

  const struct {
    const char* name;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"empty.ogg", "", "empty"},
      {"garbage.ogg", junk, "not Ogg Vorbis"},
      {"text.ogg", "OggS is not enough to make a file\n", "not Ogg Vorbis"},
      {"cut-mid.ogg", head(whole.size() / 2 + 17), "truncated"},
      {"cut-page.ogg", head(lastPage), "truncated"},
      {"headers.ogg", head(200), "not Ogg Vorbis"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = test::scratchPath(c.name);
    ASSERT_TRUE(test::writeFile(path, c.bytes));
    expectRejected(path, c.reason);
  }
  expectRejected(test::scratchPath("no-such-file.ogg"), "No such file");
}

TEST(MusicEngineFiles, AGoodFileSaysNothing) {
  SoLoud::Wav wav;
  SoLoud::result rc = 1;
  std::string said = loadCapturingStderr(wav, threeSeconds().path, &rc);
  EXPECT_EQ(rc, 0u);
  EXPECT_EQ(said, "");
  EXPECT_EQ(wav.getFrameCount(), threeSeconds().reference.size() / 2);
}

// A machine without a sound card (here: a driver that does not exist) still plays the
// music, into nothing, at the real rate: the position keeps pace with the steady clock,
// wraps to the loop point, and the engine says so once. deinit stops it.
TEST(MusicEngineWithoutDevice, PlaysOnInRealTimeAndSaysSoOnce) {
  SoLoud::Wav wav;
  ASSERT_EQ(wav.load(threeSeconds().path.c_str()), 0u);
  wav.setLooping(true);
  wav.setLoopPoint(1.0);
  setenv("SDL_AUDIODRIVER", "nonexistent", 1);
  SoLoud::Soloud live;
  testing::internal::CaptureStderr();
  live.init();
  const std::string said = testing::internal::GetCapturedStderr();
  unsetenv("SDL_AUDIODRIVER");
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_NE(said.find("plays without sound"), std::string::npos) << said;

  const auto start = std::chrono::steady_clock::now();
  SoLoud::handle h = live.play(wav);
  const auto seconds = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  // The position runs up to one device buffer ahead of the clock, as a device's does, and
  // may trail it by a late wake-up.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  double now = seconds(), position = live.getStreamPosition(h);
  EXPECT_GT(position, now - 0.2);
  EXPECT_LT(position, now + 0.1);
  // Past the end (3 s): back from the loop point, 1 s, on the same pace.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  now = seconds();
  position = live.getStreamPosition(h);
  EXPECT_GT(position, now - 2.0 - 0.2);
  EXPECT_LT(position, now - 2.0 + 0.1);
  live.deinit();
  EXPECT_EQ(live.getStreamPosition(h), 0.0);
}

}  // namespace
