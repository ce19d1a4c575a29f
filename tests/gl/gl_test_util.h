// Helpers shared by the GL tests: pixel read-back, small programs from inline sources and
// drawing with them, attribute state, the toolkit source lines that error captions point
// at, and a fixture that draws into a fresh render target.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "st/gl.h"
#include "st/st_renderbuf.h"
#include "st/st_shader.h"
#include "st/st_vertexbuffer.h"
#include "support/gl_context.h"
#include "support/reports.h"
#include "support/scratch.h"

namespace gltest {

struct Rgba {
  uint8_t r, g, b, a;
};
inline bool operator==(Rgba x, Rgba y) { return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a; }
inline std::ostream& operator<<(std::ostream& out, Rgba p) {
  return out << "(" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ", " << int(p.a) << ")";
}

// One pixel of the current read framebuffer.
inline Rgba pixelAt(int x, int y) {
  Rgba p{0, 0, 0, 0};
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &p);
  return p;
}

// The pixel of a 2048x2048 target whose centre lies at these normalised device coordinates.
inline Rgba pixelAtNdc(float x, float y) {
  return pixelAt(int((x + 1.0f) * 1024.0f), int((y + 1.0f) * 1024.0f));
}

inline void drainGlErrors() {
  while (glGetError() != GL_NO_ERROR) {
  }
}

inline std::string writeScratch(const std::string& name, const std::string& text) {
  std::string path = test::scratchPath(name);
  test::writeFile(path, text);
  return path;
}

// Loads a program from inline sources written to `<name>.vs` and `<name>.fs`.
inline st::Shader loadProgram(const std::string& name, const std::string& vs, const std::string& fs) {
  std::string vsPath = writeScratch(name + ".vs", vs);
  std::string fsPath = writeScratch(name + ".fs", fs);
  st::Shader shader{};
  shader.load(vsPath.c_str(), fsPath.c_str());
  return shader;
}

// One draw of `vb` with `shader`, leaving neither bound.
inline void drawWith(st::Shader& shader, st::Vertexbuffer& vb) {
  shader.use();
  vb.bind();
  vb.draw();
  vb.unbind();
  shader.unuse();
}

inline bool linked(GLuint program) {
  GLint status = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &status);
  return status == GL_TRUE;
}

// Line `line` (1-based) of a file as named in a caption (the build passes full paths).
inline std::string sourceLine(const std::string& file, int line) {
  std::ifstream in(file);
  std::string text;
  for (int i = 0; i < line && std::getline(in, text); ++i) {
  }
  return text;
}

// A caption "file::line:name" taken apart; false when it has another shape.
struct Caption {
  std::string file;
  int line = 0;
  std::string name;
};
inline bool parseCaption(const std::string& caption, Caption* out) {
  size_t colons = caption.find("::");
  if (colons == std::string::npos) return false;
  size_t colon = caption.find(':', colons + 2);
  if (colon == std::string::npos) return false;
  out->file = caption.substr(0, colons);
  out->line = std::atoi(caption.substr(colons + 2, colon - colons - 2).c_str());
  out->name = caption.substr(colon + 1);
  return out->line > 0;
}

// A report of checkGlError: it names `error` and a path ending in `file`, at the line of
// the check, with `call` on the line before.
inline void expectCheckAfterCall(const test::Report& report, const std::string& file,
                                 const char* error, const char* call) {
  Caption caption;
  ASSERT_TRUE(parseCaption(report.caption, &caption)) << report.caption;
  EXPECT_EQ(caption.name, error);
  ASSERT_GE(caption.file.size(), file.size());
  EXPECT_EQ(caption.file.substr(caption.file.size() - file.size()), file);
  EXPECT_NE(sourceLine(caption.file, caption.line).find("checkGlError(__LINE__)"), std::string::npos)
      << caption.file << ":" << caption.line;
  EXPECT_NE(sourceLine(caption.file, caption.line - 1).find(call), std::string::npos)
      << caption.file << ":" << caption.line - 1 << " should hold " << call;
}

// The bound vertex array's attribute state: exactly the listed locations enabled, each
// float, not normalised, tightly packed, with its size and divisor.
struct AttribState {
  int location, size, divisor;
};
inline void expectAttribState(const std::vector<AttribState>& expected) {
  for (int loc = 0; loc < 8; ++loc) {
    const AttribState* want = nullptr;
    for (const AttribState& e : expected)
      if (e.location == loc) want = &e;
    GLint enabled = -1, size = 0, divisor = -1, type = 0, normalised = -1, stride = -1;
    glGetVertexAttribiv((GLuint)loc, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, want ? 1 : 0) << "location " << loc;
    if (!want) continue;
    glGetVertexAttribiv((GLuint)loc, GL_VERTEX_ATTRIB_ARRAY_SIZE, &size);
    glGetVertexAttribiv((GLuint)loc, GL_VERTEX_ATTRIB_ARRAY_DIVISOR, &divisor);
    glGetVertexAttribiv((GLuint)loc, GL_VERTEX_ATTRIB_ARRAY_TYPE, &type);
    glGetVertexAttribiv((GLuint)loc, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED, &normalised);
    glGetVertexAttribiv((GLuint)loc, GL_VERTEX_ATTRIB_ARRAY_STRIDE, &stride);
    EXPECT_EQ(size, want->size) << "location " << loc;
    EXPECT_EQ(divisor, want->divisor) << "location " << loc;
    EXPECT_EQ(type, GL_FLOAT) << "location " << loc;
    EXPECT_EQ(normalised, 0) << "location " << loc;
    EXPECT_EQ(stride, 0) << "location " << loc;
  }
}

// A vertex colour passed straight through: position at 1, colour at 3.
inline const char* FLAT_VS = R"(#version 330 core
layout(location = 1) in vec3 position;
layout(location = 3) in vec4 colour;
out vec4 vColour;
void main() {
  vColour = colour;
  gl_Position = vec4(position, 1.0);
}
)";
inline const char* FLAT_FS = R"(#version 330 core
in vec4 vColour;
out vec4 fragColour;
void main() { fragColour = vColour; }
)";

// Each test draws into a fresh 2048x2048 render target, cleared to `clearColour`; a report
// raised during the test (a GL error, a bad uniform) fails it.
class TargetTest : public testing::Test {
 protected:
  explicit TargetTest(Rgba clearColour) : clearColour_(clearColour) {}
  void SetUp() override {
    REQUIRE_GL();
    drainGlErrors();
    recorder = new test::ReportRecorder;
    target = new st::Renderbuf;
    target->init();
    target->bind();
    clear();
  }
  void TearDown() override {
    if (!target) return;
    glUseProgram(0);
    target->unbind();
    delete target;
    for (const auto& r : recorder->reports) ADD_FAILURE() << "report: " << r.caption << ": " << r.text;
    delete recorder;
  }
  void clear() {
    glClearColor(clearColour_.r / 255.0f, clearColour_.g / 255.0f, clearColour_.b / 255.0f,
                 clearColour_.a / 255.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  test::ReportRecorder* recorder = nullptr;
  st::Renderbuf* target = nullptr;

 private:
  Rgba clearColour_;
};

}  // namespace gltest
