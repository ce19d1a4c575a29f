// The browser build's OpenGL: WebGL 2 through emscripten's OpenGL ES 3.0 bindings, under
// the include the shared code uses for glad's desktop loader.
#pragma once
#include <GLES3/gl3.h>
