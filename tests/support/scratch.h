// Scratch files for tests that read from disk (shader sources, assets that come and go).
#pragma once
#include <string>

namespace test {

// A fresh folder of this process's own, made at the first call and left behind for
// inspection; every path handed out lies inside it.
const std::string& scratchDir();
std::string scratchPath(const std::string& name);

// Writes `bytes` exactly (binary), replacing any file there. Returns false on failure.
bool writeFile(const std::string& path, const std::string& bytes);

}  // namespace test
