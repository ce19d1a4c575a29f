// The capture's per-frame trace (--trace): one line per frame with its tick, music time and
// geometry counts, which the end-to-end tests read to check timing and content.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "capture/atomic_file.h"

// A regular file is written whole or not at all (an AtomicFile); anything else that may be
// written to (a FIFO with a reader, a terminal, /dev/null) is written through. Every write
// is checked.
class TraceFile {
 public:
  // Opens what `name` names (a symbolic link is followed); false with `error` set.
  bool open(const std::string& name, std::string& error);
  bool isOpen() const { return file_ != nullptr; }
  // Writes frame n's line; false with `error` set once writing has failed.
  bool write(int64_t n, int32_t tick, double musicSeconds, int segments, int sprites,
             std::string& error);
  // Closes the file; on success gives it its final name, otherwise removes it.
  bool close(bool ok, std::string& error);

 private:
  FILE* file_ = nullptr;
  AtomicFile out_;
};
