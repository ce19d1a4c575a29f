// zoov2020-capture's command line: its usage, the options read from it, and the frame
// clocks that every part of a capture counts in.
#include "capture/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

const char* const captureUsage =
    "usage: zoov2020-capture [--fps N] [--size WxH] [--from S] [--to S] [--out FILE.mp4 | "
    "--png DIR] [--trace FILE]";

const char* const captureHelp =
    "Renders the show to a video (H.264 + AAC in MP4) with ffmpeg, frame by frame at an\n"
    "exact frame rate, the music mixed offline. Reads ./assets like the show.\n\n"
    "  --fps N        frames per second (default 60)\n"
    "  --size WxH     picture size (default 1920x1080), letterboxed to 16:9\n"
    "  --from S       start, in seconds of show time (default 0)\n"
    "  --to S         end, in seconds of show time (default 120, the first pass)\n"
    "  --out FILE     the video (default out/zoov2020.mp4)\n"
    "  --png DIR      numbered PNG frames in DIR instead of a video\n"
    "  --trace FILE   one line per frame: frame, tick ms, music s, line segments, sprites\n";

namespace {

bool parseInt(const char* text, int& value) {
  char* end = nullptr;
  errno = 0;
  long v = strtol(text, &end, 10);
  if (errno || end == text || *end || v < -2147483647L || v > 2147483647L) return false;
  value = (int)v;
  return true;
}

bool parseSeconds(const char* text, double& value) {
  char* end = nullptr;
  errno = 0;
  double v = strtod(text, &end);
  if (errno || end == text || *end || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool parseSize(const char* text, int& width, int& height) {
  const char* x = strchr(text, 'x');
  if (!x) return false;
  std::string w(text, (size_t)(x - text));
  return parseInt(w.c_str(), width) && parseInt(x + 1, height);
}

}  // namespace

bool parseCaptureOptions(int argc, char** argv, CaptureOptions& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      continue;
    }
    if (i + 1 >= argc) {
      error = arg.rfind("--", 0) == 0 ? "option " + arg + " needs a value"
                                      : "unexpected argument '" + arg + "'";
      return false;
    }
    const char* value = argv[++i];
    if (arg == "--fps") {
      if (!parseInt(value, o.fps) || o.fps < 1 || o.fps > 1000) {
        error = "--fps takes a whole number from 1 to 1000";
        return false;
      }
    } else if (arg == "--size") {
      if (!parseSize(value, o.width, o.height) || o.width < 16 || o.height < 16 ||
          o.width > 8192 || o.height > 8192) {
        error = "--size takes WIDTHxHEIGHT, each from 16 to 8192";
        return false;
      }
    } else if (arg == "--from") {
      if (!parseSeconds(value, o.from) || o.from < 0.0 || o.from > 86400.0) {
        error = "--from takes seconds from 0 to 86400";
        return false;
      }
    } else if (arg == "--to") {
      if (!parseSeconds(value, o.to) || o.to < 0.0 || o.to > 86400.0) {
        error = "--to takes seconds from 0 to 86400";
        return false;
      }
    } else if (arg == "--out") {
      o.out = value;
    } else if (arg == "--png") {
      o.pngDir = value;
    } else if (arg == "--trace") {
      o.trace = value;
    } else {
      error = "unknown option '" + arg + "'";
      return false;
    }
    if (*value == 0) {
      error = "option " + arg + " needs a value";
      return false;
    }
  }
  if (!o.help && firstFrame(o.to, o.fps) <= firstFrame(o.from, o.fps)) {
    error = "--to must come after --from (at least one frame)";
    return false;
  }
  return true;
}

int64_t firstFrame(double seconds, int fps) {
  // A hair of tolerance so that 10.0 s at 30 fps is frame 300, not 301.
  return (int64_t)std::ceil(seconds * fps - 1e-6);
}

int32_t frameTick(int64_t n, int fps) { return (int32_t)(n * 1000 / fps); }

int64_t frameAudioSamples(int64_t n, int fps) { return n * AUDIO_RATE / fps; }
