// Writing an output whole or not at all: the partial file, its trip to the disk, and its
// final name.
#include "capture/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool resolveOutput(const std::string& path, bool throughOk, std::string& resolved, bool& regular,
                   std::string& error) {
  resolved = path;
  regular = true;
  struct stat info;
  // A link is followed by hand, link by link, so that one naming a file yet to be made
  // (link.mp4 -> real.mp4) writes that file.
  for (int links = 0;; ++links) {
    if (lstat(resolved.c_str(), &info) != 0) {
      if (errno == ENOENT) return true;  // made new
      error = "cannot use " + path + ": " + strerror(errno);
      return false;
    }
    if (!S_ISLNK(info.st_mode)) break;
    char target[4096];
    ssize_t length = readlink(resolved.c_str(), target, sizeof target - 1);
    if (length <= 0 || links >= 16) {
      error = "cannot follow the symbolic link " + path;
      return false;
    }
    target[length] = 0;
    size_t slash = resolved.find_last_of('/');
    resolved = target[0] == '/' || slash == std::string::npos
                   ? std::string(target)
                   : resolved.substr(0, slash + 1) + target;
  }
  if (S_ISDIR(info.st_mode)) {
    error = path + " is a directory";
    return false;
  }
  regular = S_ISREG(info.st_mode);
  if (!regular && !throughOk) {
    error = path + " exists and is not a regular file (a FIFO, a device or a socket); " +
            "it is left as it is";
    return false;
  }
  return true;
}

std::string partialName(const std::string& path) { return path + ".partial"; }

int AtomicFile::begin(const std::string& path, bool regular) {
  path_ = path;
  partial_.clear();
  int fd;
  // Non-blocking: a FIFO is refused at once instead of waited on, under either name.
  if (regular) {
    const std::string partial = partialName(path);
    fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                0666);
    if (fd >= 0) partial_ = partial;
  } else {
    fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  }
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool AtomicFile::sync(int fd, off_t* size) const {
  if (partial_.empty()) return true;  // written through: nothing of ours to keep or name
  const int reopened = fd < 0 ? ::open(partial_.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) fd = reopened;
  struct stat info;
  bool ok = fd >= 0 && (!size || fstat(fd, &info) == 0) && fsync(fd) == 0;
  const int why = errno;
  if (ok && size) *size = info.st_size;
  if (reopened >= 0) close(reopened);
  errno = why;
  return ok;
}

bool AtomicFile::commit() {
  if (partial_.empty()) return true;
  if (rename(partial_.c_str(), path_.c_str()) != 0) return false;
  partial_.clear();
  return true;
}

void AtomicFile::abandon() {
  if (partial_.empty()) return;
  unlink(partial_.c_str());
  partial_.clear();
}
