// Shader programs: read, compile, link with retry, and uniforms set by name.
#include "st/st_shader.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "st/read_file.h"
#include "st/report.h"

namespace st {

int linkRetries = 0;

static void checkGlError(int line) { checkGlErrorIn(__FILE__, line); }

enum { INFO_LOG_SIZE = 8192 };

void Shader::load(const char* vertexPath, const char* fragmentPath) {
  if (vertexPath) {
    vertexShader = glCreateShader(GL_VERTEX_SHADER);
    checkGlError(__LINE__);
    readSource(vertexShader, vertexPath);
    checkGlError(__LINE__);
  }
  if (fragmentPath) {
    fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);
    checkGlError(__LINE__);
    readSource(fragmentShader, fragmentPath);
    checkGlError(__LINE__);
  }
  program = glCreateProgram();
  checkGlError(__LINE__);
  if (fragmentShader) {
    glAttachShader(program, fragmentShader);
    checkGlError(__LINE__);
  }
  if (vertexShader) {
    glAttachShader(program, vertexShader);
    checkGlError(__LINE__);
  }
  glLinkProgram(program);
  checkGlError(__LINE__);
  GLint status = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &status);
  checkGlError(__LINE__);
  if (status == GL_TRUE) return;

  char log[INFO_LOG_SIZE];
  log[0] = 0;
  glGetProgramInfoLog(program, INFO_LOG_SIZE, nullptr, log);
  checkGlError(__LINE__);
  showReport(log, "Shader link failed");

  if (linkRetries > 5) exit(-1);
  ++linkRetries;
  // Both files are read again, so a file fixed while the box was open is picked up.
  load(vertexPath, fragmentPath);
  linkRetries = 0;
}

void Shader::readSource(GLuint shader, const char* path) {
  // Anything that is not a regular file of a sane size (a directory, a FIFO that would
  // block, a huge sparse file) is handled like a missing file: nothing to say here, the
  // link fails and reports it.
  std::vector<unsigned char> bytes;
  std::string why;
  if (!readRegularFile(path, MAX_SOURCE_BYTES, bytes, why)) return;
  bytes.push_back(0);
  compile(shader, reinterpret_cast<char*>(bytes.data()), path);
}

SourcePieces splitAtCarriageReturns(char* source) {
  SourcePieces pieces;
  char* start = source;
  for (char* p = source;; ++p) {
    if (*p != '\r' && *p != 0) continue;
    bool end = *p == 0;
    *p = 0;
    pieces.text.push_back(start);
    pieces.lengths.push_back((GLint)(p - start));
    if (end) break;
    start = p + 1;
  }
  return pieces;
}

void Shader::compile(GLuint shader, char* source, const char* caption) {
  // Without the CRs a CR LF source compiles exactly like its LF twin, same line numbers.
  SourcePieces pieces = splitAtCarriageReturns(source);
  glShaderSource(shader, (GLsizei)pieces.text.size(), pieces.text.data(), pieces.lengths.data());
  checkGlError(__LINE__);
  glCompileShader(shader);
  checkGlError(__LINE__);
  GLint status = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
  checkGlError(__LINE__);
  if (status == GL_TRUE) return;
  char log[INFO_LOG_SIZE];
  log[0] = 0;
  glGetShaderInfoLog(shader, INFO_LOG_SIZE, nullptr, log);
  checkGlError(__LINE__);
  showReport(log, caption);
}

void Shader::use() {
  glUseProgram(program);
  checkGlError(__LINE__);
}

void Shader::unuse() {
  glUseProgram(0);
  checkGlError(__LINE__);
}

GLint Shader::uniformLocation(const char* name) {
  GLint location = glGetUniformLocation(program, name);
  checkGlError(__LINE__);
  if (location < 0) {
    char caption[256];
    snprintf(caption, sizeof caption, "%s::%d:%s", __FILE__, __LINE__, name);
    showReport("Bad uniform name", caption);
  }
  return location;
}

void Shader::setMatrix4(const char* name, const float* matrix) {
  glUniformMatrix4fv(uniformLocation(name), 1, GL_FALSE, matrix);
}

void Shader::setFloat(const char* name, float value) {
  glUniform1f(uniformLocation(name), value);
}

void Shader::setInt(const char* name, int value) { glUniform1i(uniformLocation(name), value); }

}  // namespace st
