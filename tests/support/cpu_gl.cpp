// Stand-in GL entry points for CPU-only tests of the geometry producers.
#include "support/cpu_gl.h"

#include "st/gl.h"

namespace test {
namespace {
GLuint nextName = 1;
void GLAD_API_PTR genNames(GLsizei n, GLuint* names) {
  for (GLsizei i = 0; i < n; ++i) names[i] = nextName++;
}
GLenum GLAD_API_PTR noError() { return GL_NO_ERROR; }
void GLAD_API_PTR deleteNames(GLsizei, const GLuint*) {}
}  // namespace

void installCpuGlStubs() {
  glad_glGenVertexArrays = genNames;
  glad_glGenBuffers = genNames;
  glad_glDeleteVertexArrays = deleteNames;
  glad_glDeleteBuffers = deleteNames;
  glad_glGetError = noError;
}
}  // namespace test
