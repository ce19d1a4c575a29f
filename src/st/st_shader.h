// A GLSL program linked from a vertex and a fragment shader file, with uniforms set by name.
#pragma once
#include "st/gl.h"

namespace st {

// Failed links in a row, over all Shader records; the seventh in a row ends the process.
extern int linkRetries;

struct Shader {
  GLuint vertexShader;
  GLuint fragmentShader;
  GLuint program;

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

}  // namespace st
