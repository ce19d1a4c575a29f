// zoov2020-capture's command line and its frame clocks: the tick and the soundtrack must
// land on whole seconds exactly however long the capture runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/options.h"

namespace {

bool parse(std::vector<std::string> args, CaptureOptions& o, std::string& error) {
  args.insert(args.begin(), "zoov2020-capture");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  return parseCaptureOptions((int)args.size(), argv.data(), o, error);
}

bool rejects(const std::vector<std::string>& args) {
  CaptureOptions o;
  std::string error;
  bool ok = parse(args, o, error);
  return !ok && !error.empty();
}

}  // namespace

TEST(CaptureOptions, DefaultsAreTheFirstPassAtFullHdAndEachOptionIsRead) {
  const struct {
    std::vector<std::string> args;
    int fps, width, height;
    double from, to;
    const char *out, *pngDir, *trace;
    bool help;
  } cases[] = {
      {{}, 60, 1920, 1080, 0.0, 120.0, "out/zoov2020.mp4", "", "", false},
      {{"--fps", "24", "--size", "320x180", "--from", "79.5", "--to", "90", "--out", "a/b.mp4",
        "--png", "frames", "--trace", "t.txt"},
       24, 320, 180, 79.5, 90.0, "a/b.mp4", "frames", "t.txt", false},
      {{"--help"}, 60, 1920, 1080, 0.0, 120.0, "out/zoov2020.mp4", "", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.args.size() << " arguments");
    CaptureOptions o;
    std::string error;
    ASSERT_TRUE(parse(c.args, o, error)) << error;
    EXPECT_EQ(o.fps, c.fps);
    EXPECT_EQ(o.width, c.width);
    EXPECT_EQ(o.height, c.height);
    EXPECT_EQ(o.from, c.from);
    EXPECT_EQ(o.to, c.to);
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.pngDir, c.pngDir);
    EXPECT_EQ(o.trace, c.trace);
    EXPECT_EQ(o.help, c.help);
  }
}

TEST(CaptureOptions, BadValuesAreRefusedWithAMessage) {
  // "--from 10 --to 10" is not one frame; "--out" alone lacks its value.
  const std::vector<std::vector<std::string>> cases = {
      {"--fps", "0"},   {"--fps", "30.5"}, {"--size", "1920"},   {"--size", "8x8"},
      {"--from", "-1"}, {"--to", "ten"},   {"--from", "12", "--to", "10"},
      {"--from", "10", "--to", "10"},      {"--out"},            {"--out", ""},
      {"--colour", "red"},                 {"stray"}};
  for (const auto& args : cases) EXPECT_TRUE(rejects(args)) << testing::PrintToString(args);
}

// Every frame's tick is the whole millisecond at or before its true time (16 for frame 1 at
// 60 fps), so frame k*fps starts exactly at second k and ten minutes in there is no drift.
TEST(CaptureClock, TickIsExactOverTenMinutes) {
  for (int fps : {60, 30, 24}) {
    for (int64_t n = 0; n <= 600 * fps; ++n) {
      double exact = (double)n * 1000.0 / fps;
      int32_t tick = frameTick(n, fps);
      ASSERT_LE(tick, exact) << n << " at " << fps;
      ASSERT_GT(tick + 1, exact) << n << " at " << fps;
    }
  }
}

TEST(CaptureClock, AudioSamplesAddUpToWholeSeconds) {
  EXPECT_EQ(frameAudioSamples(0, 60), 0);
  EXPECT_EQ(frameAudioSamples(1, 60), 735);
  EXPECT_EQ(frameAudioSamples(1, 24), 1837);  // 1837.5 rounded down...
  EXPECT_EQ(frameAudioSamples(2, 24), 3675);  // ...and made up on the next frame
  for (int fps : {60, 30, 24, 10})
    EXPECT_EQ(frameAudioSamples(600 * fps, fps), 600 * 44100) << fps << " fps";
}

TEST(CaptureClock, FirstFrameAtOrAfterATime) {
  EXPECT_EQ(firstFrame(0.0, 60), 0);
  EXPECT_EQ(firstFrame(10.0, 30), 300);  // on a frame: that frame
  EXPECT_EQ(firstFrame(10.01, 30), 301);
  EXPECT_EQ(firstFrame(79.0, 10), 790);
  EXPECT_EQ(firstFrame(0.1, 30), 3);
  EXPECT_EQ(firstFrame(8.2, 30), 246);  // 8.2 * 30 is a hair below 246 in doubles
  EXPECT_EQ(firstFrame(8.3, 30), 249);  // and 8.3 * 30 a hair above 249
  EXPECT_EQ(firstFrame(120.0, 24), 2880);
}
