// Bounded, non-blocking reads of regular files (see read_file.h).
#include "st/read_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/host.h"

namespace st {

bool readRegularFile(const char* path, size_t limit, std::vector<unsigned char>& bytes,
                     std::string& why) {
  bytes.clear();
  // Never waits: a FIFO opens at once, and is then refused below.
  int fd = host::openForReading(path);
  if (fd < 0) {
    why = strerror(errno);
    return false;
  }
  struct stat info;
  bool ok = false;
  if (fstat(fd, &info) != 0) {
    why = strerror(errno);
  } else if (S_ISDIR(info.st_mode)) {
    why = "is a directory";
  } else if (!S_ISREG(info.st_mode)) {
    why = "not a regular file";
  } else if (info.st_size < 0 || (unsigned long long)info.st_size > limit) {
    why = "too large (" + std::to_string((long long)info.st_size) + " bytes, at most " +
          std::to_string(limit) + ")";
  } else {
    const size_t size = (size_t)info.st_size;
    bytes.resize(size);
    size_t got = 0;
    int error = 0;
    while (got < size) {
      ssize_t n = read(fd, bytes.data() + got, size - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = errno;
      if (n <= 0) break;
      got += (size_t)n;
    }
    // One byte more than the size said means the file grew meanwhile.
    unsigned char extra;
    ssize_t more = got == size ? read(fd, &extra, 1) : 0;
    if (error != 0 || more < 0) {
      why = strerror(error != 0 ? error : errno);
    } else if (got == size && more == 0) {
      ok = true;
    } else {
      why = "changed while being read";
    }
  }
  close(fd);
  if (!ok) {
    bytes.clear();
    bytes.shrink_to_fit();
  }
  return ok;
}

}  // namespace st
