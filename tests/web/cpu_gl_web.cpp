// The geometry dump's GL stand-ins in the WebAssembly build, where no context exists
// under node: the same few entry points the desktop's test stand-ins replace, defined
// here so the linker takes them instead of the WebGL bindings.
#include <GLES3/gl3.h>

#include "support/cpu_gl.h"

namespace {
GLuint nextName = 1;
void genNames(GLsizei n, GLuint* names) {
  for (GLsizei i = 0; i < n; ++i) names[i] = nextName++;
}
}  // namespace

extern "C" {
void glGenVertexArrays(GLsizei n, GLuint* arrays) { genNames(n, arrays); }
void glGenBuffers(GLsizei n, GLuint* buffers) { genNames(n, buffers); }
void glDeleteVertexArrays(GLsizei, const GLuint*) {}
void glDeleteBuffers(GLsizei, const GLuint*) {}
GLenum glGetError() { return GL_NO_ERROR; }
}

namespace test {
void installCpuGlStubs() {}
}  // namespace test
