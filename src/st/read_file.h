// Reading a whole asset file into memory, the one way the show reads its shaders and its
// music: only regular files, never more than a given size, never blocking.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace st {

// Reads all of `path` into `bytes`. Refuses, with a short reason in `why`, anything that
// cannot be opened, is not a regular file (a directory, a FIFO, a device: opening never
// waits for a writer), is larger than `limit` bytes, or changes size while it is read.
bool readRegularFile(const char* path, size_t limit, std::vector<unsigned char>& bytes,
                     std::string& why);

}  // namespace st
