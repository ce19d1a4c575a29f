// Writing the per-frame trace, whole or not at all.
#include "capture/trace.h"

#include <cerrno>
#include <cstring>

bool TraceFile::open(const std::string& name, std::string& error) {
  std::string path;
  bool regular;
  if (!resolveOutput(name, true, path, regular, error)) return false;
  int fd = out_.begin(path, regular);
  if (fd < 0) {
    error = "cannot write " + name + ": " +
            (errno == ENXIO ? std::string("nothing reads that FIFO") : strerror(errno));
    return false;
  }
  file_ = fdopen(fd, "w");
  return file_ != nullptr;
}

bool TraceFile::write(int64_t n, int32_t tick, double musicSeconds, int segments, int sprites,
                      std::string& error) {
  fprintf(file_, "%lld %d %.6f %d %d\n", (long long)n, tick, musicSeconds, segments, sprites);
  if (ferror(file_)) {
    error = "cannot write the trace " + out_.path() + ": " + strerror(errno);
    return false;
  }
  return true;
}

bool TraceFile::close(bool ok, std::string& error) {
  if (!file_) return ok;
  bool written = fflush(file_) == 0 && !ferror(file_);
  if (written) written = out_.sync(fileno(file_));
  int closeError = 0;
  if (fclose(file_) != 0) {
    closeError = errno;
    written = false;
  }
  file_ = nullptr;
  if (!written && ok) {
    error = "cannot write the trace " + out_.path() + ": " +
            strerror(closeError ? closeError : errno);
    ok = false;
  }
  if (ok && !out_.commit()) {
    error = "cannot move the trace to " + out_.path() + ": " + strerror(errno);
    ok = false;
  }
  if (!ok) out_.abandon();
  return ok;
}
