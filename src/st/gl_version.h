// The OpenGL version the show needs, and the words that say what a context offers instead.
#pragma once
#include <string>

namespace st {

// Every GL call of the show (instancing, attribute divisors, vertex arrays, framebuffers)
// is in OpenGL 3.3.
constexpr int NEEDED_GL_MAJOR = 3;
constexpr int NEEDED_GL_MINOR = 3;

// One line, without a line end, for a context too old (or unreadable) to run the show:
// the version and renderer it reports and the version needed. Reads the current context
// through the loaded GL functions; says "none" for what it cannot read.
std::string describeGlShortfall();

}  // namespace st
