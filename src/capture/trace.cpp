// Writing the per-frame trace, whole or not at all.
#include "capture/trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/encoder.h"

bool TraceFile::open(const std::string& name, std::string& error) {
  bool regular;
  if (!resolveOutput(name, true, path_, regular, error)) return false;
  int fd;
  if (regular) {
    partial_ = path_ + ".partial";
    fd = ::open(partial_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                0666);
  } else {
    // Non-blocking: a FIFO nobody reads is refused at once instead of waited on.
    fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  }
  if (fd < 0) {
    error = "cannot write " + name + ": " +
            (errno == ENXIO ? std::string("nothing reads that FIFO") : strerror(errno));
    partial_.clear();
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  file_ = fdopen(fd, "w");
  return file_ != nullptr;
}

bool TraceFile::write(int64_t n, int32_t tick, double musicSeconds, int segments, int sprites,
                      std::string& error) {
  fprintf(file_, "%lld %d %.6f %d %d\n", (long long)n, tick, musicSeconds, segments, sprites);
  if (ferror(file_)) {
    error = "cannot write the trace " + path_ + ": " + strerror(errno);
    return false;
  }
  return true;
}

bool TraceFile::close(bool ok, std::string& error) {
  if (!file_) return ok;
  bool written = fflush(file_) == 0 && !ferror(file_);
  if (written && !partial_.empty()) written = fsync(fileno(file_)) == 0;
  int closeError = 0;
  if (fclose(file_) != 0) {
    closeError = errno;
    written = false;
  }
  file_ = nullptr;
  if (!written && ok) {
    error = "cannot write the trace " + path_ + ": " + strerror(closeError ? closeError : errno);
    ok = false;
  }
  if (!partial_.empty()) {
    if (ok && rename(partial_.c_str(), path_.c_str()) != 0) {
      error = "cannot move the trace to " + path_ + ": " + strerror(errno);
      ok = false;
    }
    if (!ok) unlink(partial_.c_str());
  }
  return ok;
}
