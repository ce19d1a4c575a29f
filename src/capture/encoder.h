// The encoder of a capture: an ffmpeg child process fed raw frames and sound through
// pipes, each pipe from a thread of its own, and the checks made on its output up front.
#pragma once
#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/atomic_file.h"
#include "capture/options.h"

// Feeds one of ffmpeg's input pipes from its own thread. ffmpeg reads its inputs in an
// order of its own (it probes one before it opens the next), so a frame loop that wrote
// both pipes itself could wait on one while ffmpeg waits on the other. With a writer per
// pipe the loop only waits when `limit` chunks are already queued.
class PipeWriter {
 public:
  void start(int fd, size_t limit);
  // Queues a chunk (blocks while the queue is full); false once writing has failed.
  bool push(std::vector<unsigned char> chunk);
  // Lets the thread write out what is queued (or drops it when `drop`) and close the pipe.
  void finish(bool drop);
  // Waits for the thread after finish(); false when a write failed.
  bool join();

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
  std::string finalPath;  // where the result goes on success
  AtomicFile file;        // videos: what ffmpeg writes meanwhile, under the partial name
  // PNG frames are written under their own names: on failure the frames this run sent
  // (from firstFrame on) are removed, and the folder too when this run made it.
  bool png = false;
  int64_t firstFrame = 0;
  int64_t framesSent = 0;
  bool madeFolder = false;
  PipeWriter video;
  PipeWriter audio;
  bool hasAudio = false;
  double cpuSeconds = 0;  // ffmpeg's CPU time (user + system), known once it has exited
};

// The checks made before any work: --out (or its .partial) and --png are usable. May
// rewrite options.out to the file a symbolic link names.
bool checkOutputs(CaptureOptions& options, std::string& error);

// Starts ffmpeg for the options; false with `error` set when it cannot be started.
// `started` (may be null) is told the child's pid as soon as it exists.
bool startEncoder(const CaptureOptions& options, Encoder& encoder, std::string& error,
                  void (*started)(pid_t) = nullptr);
// Writes all bytes; false when the reader has gone away.
bool writeAll(int fd, const void* data, size_t bytes);
// Closes the pipes and waits for ffmpeg; on success moves the partial file to its final
// name, on failure removes it. Returns true on success.
bool finishEncoder(Encoder& encoder, bool ok, std::string& error);
