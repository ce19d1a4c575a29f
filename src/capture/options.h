// zoov2020-capture's command line, and the clocks that place frame n exactly: its tick and
// the soundtrack played before it, free of drift however long the capture runs.
#pragma once
#include <cstdint>
#include <string>

struct CaptureOptions {
  int fps = 60;
  int width = 1920;
  int height = 1080;
  double from = 0.0;  // seconds of show time
  double to = 120.0;  // the first pass through the music
  std::string out = "out/zoov2020.mp4";
  std::string pngDir;  // when set: numbered PNG frames instead of a video
  std::string trace;   // when set: one line per frame (tick, music time, geometry counts)
  bool help = false;
};

enum : int { AUDIO_RATE = 44100 };

// The one-line usage, and the text --help prints after it.
extern const char* const captureUsage;
extern const char* const captureHelp;

// Fills `options` from the command line; on a bad option returns false with `error` set.
bool parseCaptureOptions(int argc, char** argv, CaptureOptions& options, std::string& error);

// Frames n with n / fps in [from, to): the first one and the one past the last.
int64_t firstFrame(double seconds, int fps);
// Tick time of frame n in whole milliseconds, exact for any n (no accumulated drift).
int32_t frameTick(int64_t n, int fps);
// Audio sample frames that have played before frame n starts.
int64_t frameAudioSamples(int64_t n, int fps);
