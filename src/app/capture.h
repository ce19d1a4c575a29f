// Rendering the show to a video: options, the exact frame and audio clocks, and the
// ffmpeg encoder fed through pipes.
#pragma once
#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

extern const char* const captureUsage;

// Fills `options` from the command line; on a bad option returns false with `error` set.
bool parseCaptureOptions(int argc, char** argv, CaptureOptions& options, std::string& error);

// Frames n with n / fps in [from, to): the first one and the one past the last.
int64_t firstFrame(double seconds, int fps);
// Tick time of frame n in whole milliseconds, exact for any n (no accumulated drift).
int32_t frameTick(int64_t n, int fps);
// Audio sample frames that have played before frame n starts.
int64_t frameAudioSamples(int64_t n, int fps);

// Feeds one of ffmpeg's input pipes from its own thread. ffmpeg reads its inputs in an
// order of its own (it probes one before it opens the next), so a frame loop that wrote
// both pipes itself could wait on one while ffmpeg waits on the other. With a writer per
// pipe the loop only waits when `limit` chunks are already queued.
class PipeWriter {
 public:
  void start(int fd, size_t limit);
  // Queues a chunk (blocks while the queue is full); false once writing has failed.
  bool push(std::vector<unsigned char> chunk);
  // Writes out what is queued (or drops it when `drop`), closes the pipe, joins.
  bool close(bool drop);

 private:
  void run();
  int fd_ = -1;
  size_t limit_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::vector<unsigned char>> queue_;
  bool closing_ = false;
  bool failed_ = false;
};

// An ffmpeg child process that reads raw RGBA frames on one pipe and, for videos,
// interleaved float stereo PCM on another.
struct Encoder {
  pid_t pid = -1;
  std::string finalPath;    // where the result goes on success
  std::string partialPath;  // what ffmpeg writes meanwhile
  PipeWriter video;
  PipeWriter audio;
  bool hasAudio = false;
  double cpuSeconds = 0;  // ffmpeg's CPU time (user + system), known once it has exited
};

// Starts ffmpeg for the options; false with `error` set when it cannot be started.
bool startEncoder(const CaptureOptions& options, Encoder& encoder, std::string& error);
// Writes all bytes; false when the reader has gone away.
bool writeAll(int fd, const void* data, size_t bytes);
// Closes the pipes and waits for ffmpeg; on success moves the partial file to its final
// name, on failure removes it. Returns true on success.
bool finishEncoder(Encoder& encoder, bool ok, std::string& error);
