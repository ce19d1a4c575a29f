// The ffmpeg child that encodes what the capture renders, the threads that feed its pipes,
// and the checks that its output can be written before any work is done.
#include "capture/encoder.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

bool makeParentDirectory(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return true;
  std::string dir = path.substr(0, slash);
  for (size_t i = 1; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') {
      std::string part = dir.substr(0, i);
      if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

}  // namespace

bool checkOutputs(CaptureOptions& o, std::string& error) {
  struct stat info;
  if (!o.pngDir.empty()) {
    if (stat(o.pngDir.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
      error = "--png " + o.pngDir + " exists and is not a directory";
      return false;
    }
    return true;
  }
  std::string resolved;
  bool regular;
  if (!resolveOutput(o.out, false, resolved, regular, error)) return false;
  std::string partial = partialName(resolved);
  if (lstat(partial.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    error = partial + " exists and is not a regular file; it is left as it is";
    return false;
  }
  o.out = resolved;
  return true;
}

bool startEncoder(const CaptureOptions& o, Encoder& e, std::string& error,
                  void (*started)(pid_t)) {
  bool png = !o.pngDir.empty();
  std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
  std::string rate = std::to_string(o.fps);
  // -xerror: without it ffmpeg reports a failed write of the video's end (a full disk)
  // and still exits with status 0.
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error",
                                   "-xerror", "-y", "-probesize", "32", "-analyzeduration", "0", "-f", "rawvideo", "-pix_fmt", "rgba", "-s", size,
                                   "-framerate", rate, "-i", "pipe:0"};
  int videoPipe[2];
  int audioPipe[2] = {-1, -1};
  e.png = png;
  e.firstFrame = firstFrame(o.from, o.fps);
  if (png) {
    if (mkdir(o.pngDir.c_str(), 0777) == 0) {
      e.madeFolder = true;
    } else if (errno != EEXIST) {
      error = "cannot create " + o.pngDir + ": " + strerror(errno);
      return false;
    }
    e.finalPath = o.pngDir;
    // Each frame is written under a temporary name and renamed when whole.
    args.insert(args.end(), {"-vf", "vflip", "-start_number", std::to_string(e.firstFrame),
                             "-atomic_writing", "1", o.pngDir + "/frame-%06d.png"});
  } else {
    if (!makeParentDirectory(o.out)) {
      error = "cannot create the folder for " + o.out + ": " + strerror(errno);
      return false;
    }
    e.finalPath = o.out;
    // ffmpeg writes the partial file by its name; it is made here, to know that it can be.
    int probe = e.file.begin(o.out, true);
    if (probe < 0) {
      error = "cannot write " + o.out + ": " + strerror(errno);
      return false;
    }
    struct stat info;
    bool regular = fstat(probe, &info) == 0 && S_ISREG(info.st_mode);
    close(probe);
    if (!regular) {
      error = "cannot write " + e.file.partial() + ": not a regular file";
      return false;
    }
    args.insert(args.end(),
                {"-probesize", "32", "-analyzeduration", "0", "-f", "f32le", "-ar", std::to_string(AUDIO_RATE), "-ac", "2", "-i", "pipe:3",
                 "-vf", "vflip", "-c:v", "libx264", "-preset", "medium", "-crf", "18",
                 "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "192k", "-movflags",
                 "+faststart", "-f", "mp4", e.file.partial()});
  }

  if (pipe2(videoPipe, O_CLOEXEC) != 0 || (!png && pipe2(audioPipe, O_CLOEXEC) != 0)) {
    error = std::string("cannot make pipes: ") + strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, videoPipe[0], 0);
  if (!png) posix_spawn_file_actions_adddup2(&actions, audioPipe[0], 3);

  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  // Its own process group: a Ctrl-C at the terminal reaches the capture, which stops
  // the encoder itself and cleans up after it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  int rc = posix_spawnp(&e.pid, "ffmpeg", &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc == 0 && started) started(e.pid);
  close(videoPipe[0]);
  if (!png) close(audioPipe[0]);
  if (rc != 0) {
    close(videoPipe[1]);
    if (!png) close(audioPipe[1]);
    e.file.abandon();
    if (e.madeFolder) rmdir(e.finalPath.c_str());
    error = rc == ENOENT ? "ffmpeg is not installed (Debian package ffmpeg)"
                         : std::string("cannot start ffmpeg: ") + strerror(rc);
    e.pid = -1;
    return false;
  }
  // A few frames in flight are plenty, except that ffmpeg reads raw audio in packets of
  // 1024 samples and takes no more video until it has the packet that goes with it:
  // above about 43 fps the video must be free to run that far ahead of the sound, or
  // the two wait on each other. The soundtrack is small and never held back.
  const size_t audioPacketFrames = (size_t)((1024LL * o.fps + AUDIO_RATE - 1) / AUDIO_RATE);
  e.video.start(videoPipe[1], 4 + audioPacketFrames);
  e.hasAudio = !png;
  if (e.hasAudio) e.audio.start(audioPipe[1], SIZE_MAX);
  return true;
}

void PipeWriter::start(int fd, size_t limit) {
  fd_ = fd;
  limit_ = limit;
  thread_ = std::thread([this] { run(); });
}

void PipeWriter::run() {
  std::unique_lock<std::mutex> lock(lock_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    if (queue_.empty()) break;
    std::vector<unsigned char> chunk = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    lock.unlock();
    bool ok = writeAll(fd_, chunk.data(), chunk.size());
    lock.lock();
    if (!ok) {
      failed_ = true;
      queue_.clear();
      changed_.notify_all();
      break;
    }
  }
  ::close(fd_);
  fd_ = -1;
}

bool PipeWriter::push(std::vector<unsigned char> chunk) {
  std::unique_lock<std::mutex> lock(lock_);
  changed_.wait(lock, [this] { return failed_ || queue_.size() < limit_; });
  if (failed_) return false;
  queue_.push_back(std::move(chunk));
  changed_.notify_all();
  return true;
}

void PipeWriter::finish(bool drop) {
  if (!thread_.joinable()) return;
  std::lock_guard<std::mutex> lock(lock_);
  if (drop) queue_.clear();
  closing_ = true;
  changed_.notify_all();
}

bool PipeWriter::join() {
  if (thread_.joinable()) thread_.join();
  return !failed_;
}

bool writeAll(int fd, const void* data, size_t bytes) {
  const char* p = (const char*)data;
  while (bytes > 0) {
    ssize_t n = write(fd, p, bytes);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    bytes -= (size_t)n;
  }
  return true;
}

namespace {

// Gives the video its final name once ffmpeg's file is on the disk, whole.
bool commitVideo(AtomicFile& file, std::string& error) {
  off_t size = 0;
  if (!file.sync(-1, &size)) {
    error = "cannot write " + file.partial() + ": " + strerror(errno);
    return false;
  }
  if (size == 0) {
    error = "the encoder wrote nothing to " + file.partial();
    return false;
  }
  if (!file.commit()) {
    error = "cannot move the video to " + file.path() + ": " + strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

bool finishEncoder(Encoder& e, bool ok, std::string& error) {
  // Both pipes are closed together: ffmpeg may be reading one to its end before it
  // takes the rest of the other, so closing them one after the other can wait forever.
  // On failure what is still queued is dropped: ffmpeg is failing anyway.
  e.video.finish(!ok);
  if (e.hasAudio) e.audio.finish(!ok);
  bool written = e.video.join();
  if (e.hasAudio) written = e.audio.join() && written;
  if (ok && !written) {
    error = "the encoder stopped reading";
    ok = false;
  }
  int status = 0;
  if (e.pid > 0) {
    rusage usage{};
    while (wait4(e.pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    e.pid = -1;
    e.cpuSeconds = (double)usage.ru_utime.tv_sec + 1e-6 * (double)usage.ru_utime.tv_usec +
                   (double)usage.ru_stime.tv_sec + 1e-6 * (double)usage.ru_stime.tv_usec;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      if (ok) error = "ffmpeg failed (status " + std::to_string(WEXITSTATUS(status)) + ")";
      ok = false;
    }
  }
  if (!e.file.partial().empty()) {
    if (ok) ok = commitVideo(e.file, error);
    if (!ok) e.file.abandon();
  }
  if (e.png && !ok) {
    // No frame of a failed run stays, whole or cut short (ffmpeg's temporary names too).
    for (int64_t n = e.firstFrame; n < e.firstFrame + e.framesSent; ++n) {
      char name[64];
      snprintf(name, sizeof name, "/frame-%06lld.png", (long long)n);
      unlink((e.finalPath + name).c_str());
      unlink((e.finalPath + name + ".tmp").c_str());
    }
    if (e.madeFolder) rmdir(e.finalPath.c_str());
  }
  return ok;
}
