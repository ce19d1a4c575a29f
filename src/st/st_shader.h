// A GLSL program linked from a vertex and a fragment shader file, with uniforms set by name.
#pragma once
#include <cstddef>
#include <vector>

#include "st/gl.h"

namespace st {

// The longest shader source read: the show's are a few kilobytes, this leaves room for any
// hand-written one. A longer file counts as missing.
const size_t MAX_SOURCE_BYTES = 16u << 20;

// Failed links in a row, over all Shader records; the seventh in a row ends the process.
extern int linkRetries;

struct Shader {
  GLuint vertexShader = 0;
  GLuint fragmentShader = 0;
  GLuint program = 0;

  // Either path may be null, which skips that stage. On a failed link the whole load is
  // reported and retried, reading both files again.
  void load(const char* vertexPath, const char* fragmentPath);
  void readSource(GLuint shader, const char* path);
  void compile(GLuint shader, char* source, const char* caption);

  void use();
  void unuse();
  GLint uniformLocation(const char* name);
  void setMatrix4(const char* name, const float* matrix);
  void setFloat(const char* name, float value);
  void setInt(const char* name, int value);
};

// A shader source cut at its carriage returns, ready for glShaderSource.
struct SourcePieces {
  std::vector<const GLchar*> text;
  std::vector<GLint> lengths;
};

// Overwrites every CR of the NUL-terminated `source` with NUL and returns the pieces
// between them (CR LF thus leaves the LF at the start of the next piece). The pieces
// together are the source without its CRs, whatever their number.
SourcePieces splitAtCarriageReturns(char* source);

}  // namespace st
