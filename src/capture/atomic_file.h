// Output files that appear whole or not at all. A regular file is written under a
// temporary name beside its final one (NAME.partial), put on the disk, and only then
// renamed, so that a failed or stopped run leaves nothing under the final name. An output
// that is not a regular file (a FIFO with a reader, a terminal, /dev/null) is written
// through.
#pragma once
#include <sys/types.h>

#include <string>

// Where an output path really writes: a symbolic link is followed to what it names.
// Refuses (false, `error` set) a directory, a link to nothing, and, unless `throughOk`, any
// existing thing that is not a regular file (a FIFO, a device, a socket): it would be
// replaced. `regular` tells whether the result is (or will be) a regular file.
bool resolveOutput(const std::string& path, bool throughOk, std::string& resolved, bool& regular,
                   std::string& error);

// The temporary name that `path` is written under until it is whole.
std::string partialName(const std::string& path);

class AtomicFile {
 public:
  // Begins writing `path`, a name that resolveOutput gave, and returns a blocking
  // descriptor for it, or -1 with errno set. When `regular`, the bytes go to the partial
  // file, created empty (a symbolic link under that name is refused). Otherwise `path`
  // itself is written; a FIFO that nobody reads is refused at once (ENXIO), not waited on.
  int begin(const std::string& path, bool regular);

  const std::string& path() const { return path_; }
  // The name written meanwhile; empty when written through.
  const std::string& partial() const { return partial_; }

  // Puts what has been written on the disk, so that a full or failing disk is found before
  // the file gets its final name: through `fd`, or, when another process wrote the file
  // (fd < 0), through the partial file opened again. `size` (may be null) is given its
  // length. False with errno set; true at once when written through.
  bool sync(int fd, off_t* size = nullptr) const;
  // Gives the partial file, once synced, its final name; false with errno set.
  bool commit();
  // Removes the partial file: a failed run leaves nothing under either name.
  void abandon();

 private:
  std::string path_;
  std::string partial_;
};
