// The desktop shaders (GLSL 3.30 core) as WebGL 2 wants them (GLSL ES 3.00).
#pragma once
#include <string>

// Puts the ES version on the first line and high-precision defaults in place of the old
// version line, so that (with the usual comments above the version) every line keeps its
// number and compile logs point where they do on the desktop. A source without a 3.30
// version line comes back unchanged.
std::string toGlslEs(const std::string& source);

// Rewrites every .vs and .fs file in `directory` in place.
void convertShaderDirectory(const char* directory);
