// Scratch files: one mkdtemp folder per process under the test framework's temp dir.
#include "support/scratch.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <vector>

namespace test {

const std::string& scratchDir() {
  static std::string dir = [] {
    std::string pattern = testing::TempDir() + "zoov-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    if (!mkdtemp(name.data())) return testing::TempDir();
    return std::string(name.data());
  }();
  return dir;
}

std::string scratchPath(const std::string& name) { return scratchDir() + "/" + name; }

bool writeFile(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

}  // namespace test
