// Helpers shared by the GL tests: state queries, pixel read-back, small programs from inline
// sources and buffers to draw with them, attribute state, the toolkit source lines that
// error captions point at, and fixtures that fail a test on any report.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <memory>
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

inline GLint getInt(GLenum pname) {
  GLint value = -1;
  glGetIntegerv(pname, &value);
  return value;
}

using Rect = std::array<GLint, 4>;  // x, y, width, height
inline Rect viewport() {
  Rect v{};
  glGetIntegerv(GL_VIEWPORT, v.data());
  return v;
}

// A parameter of `texture` itself (level -1) or of one of its levels, asked with the
// texture bound and the binding then restored, so that it neither depends on nor disturbs
// what a test left bound.
inline GLint texParam(GLuint texture, GLenum pname, GLint level = -1) {
  GLint previous = getInt(GL_TEXTURE_BINDING_2D), value = -1;
  glBindTexture(GL_TEXTURE_2D, texture);
  if (level < 0)
    glGetTexParameteriv(GL_TEXTURE_2D, pname, &value);
  else
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, pname, &value);
  glBindTexture(GL_TEXTURE_2D, GLuint(previous));
  return value;
}
inline GLint programInt(GLuint program, GLenum pname) {
  GLint value = -1;
  glGetProgramiv(program, pname, &value);
  return value;
}
inline bool linked(GLuint program) { return programInt(program, GL_LINK_STATUS) == GL_TRUE; }
inline GLint attribInt(GLuint location, GLenum pname) {
  GLint value = -1;
  glGetVertexAttribiv(location, pname, &value);
  return value;
}

struct Rgba {
  uint8_t r, g, b, a;
};
inline bool operator==(Rgba x, Rgba y) { return x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a; }
inline std::ostream& operator<<(std::ostream& out, Rgba p) {
  return out << "(" << int(p.r) << ", " << int(p.g) << ", " << int(p.b) << ", " << int(p.a) << ")";
}
inline constexpr Rgba RED{255, 0, 0, 255};
inline constexpr Rgba GREEN{0, 255, 0, 255};

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

struct PixelAt {
  float x, y;
  Rgba colour;
};
inline void expectPixels(std::initializer_list<PixelAt> expected) {
  for (const PixelAt& e : expected)
    EXPECT_EQ(pixelAtNdc(e.x, e.y), e.colour) << "at " << e.x << ", " << e.y;
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

inline void fill(float* out, std::initializer_list<float> values) {
  for (float v : values) *out++ = v;
}

// The square [-h, h]^2 shifted right by `dx`, at depth `z`, as two triangles with positions
// at location 1.
inline std::unique_ptr<st::Vertexbuffer> makeQuad(float h, int instances, float dx = 0.0f,
                                                  float z = 0.0f) {
  auto vb = std::make_unique<st::Vertexbuffer>();
  vb->init(4, 6, instances);
  const unsigned quad[6] = {0, 1, 2, 1, 2, 3};
  for (int i = 0; i < 6; ++i) vb->indices[i] = quad[i];
  fill(vb->addAttrib(3, 1, 0), {dx - h, -h, z, dx + h, -h, z, dx - h, h, z, dx + h, h, z});
  return vb;
}

// The square [-0.5, 0.5]^2 (moved as makeQuad does) in one colour at location 3.
inline std::unique_ptr<st::Vertexbuffer> makeSquare(Rgba colour, float dx = 0.0f, float z = 0.0f) {
  auto vb = makeQuad(0.5f, 0, dx, z);
  float* c = vb->addAttrib(4, 3, 0);
  for (int v = 0; v < 4; ++v)
    fill(c + 4 * v, {colour.r / 255.0f, colour.g / 255.0f, colour.b / 255.0f, colour.a / 255.0f});
  return vb;
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

// A report captioned with a toolkit source line: it names `name` and a path ending in
// `file`, whose line holds `atLine` and whose line `offset` further on holds `near`.
inline void expectCaption(const test::Report& report, const std::string& file,
                          const std::string& name, const char* atLine, int offset,
                          const char* near) {
  Caption caption;
  ASSERT_TRUE(parseCaption(report.caption, &caption)) << report.caption;
  EXPECT_EQ(caption.name, name);
  ASSERT_GE(caption.file.size(), file.size());
  EXPECT_EQ(caption.file.substr(caption.file.size() - file.size()), file);
  EXPECT_NE(sourceLine(caption.file, caption.line).find(atLine), std::string::npos)
      << caption.file << ":" << caption.line;
  EXPECT_NE(sourceLine(caption.file, caption.line + offset).find(near), std::string::npos)
      << caption.file << ":" << caption.line + offset << " should hold " << near;
}

// A report of checkGlError: `error` at the line of the check, with `call` on the line before.
inline void expectCheckAfterCall(const test::Report& report, const std::string& file,
                                 const char* error, const char* call) {
  expectCaption(report, file, error, "checkGlError(__LINE__)", -1, call);
}

// The bound vertex array's attribute state: exactly the listed locations enabled, each
// float, not normalised, tightly packed, with its size and divisor.
struct AttribState {
  int location, size, divisor;
};
inline void expectAttribState(const std::vector<AttribState>& expected) {
  for (GLuint loc = 0; loc < 8; ++loc) {
    const AttribState* want = nullptr;
    for (const AttribState& e : expected)
      if (e.location == int(loc)) want = &e;
    EXPECT_EQ(attribInt(loc, GL_VERTEX_ATTRIB_ARRAY_ENABLED), want ? 1 : 0) << "location " << loc;
    if (!want) continue;
    const GLint params[][2] = {{GL_VERTEX_ATTRIB_ARRAY_SIZE, want->size},
                               {GL_VERTEX_ATTRIB_ARRAY_DIVISOR, want->divisor},
                               {GL_VERTEX_ATTRIB_ARRAY_TYPE, GL_FLOAT},
                               {GL_VERTEX_ATTRIB_ARRAY_NORMALIZED, 0},
                               {GL_VERTEX_ATTRIB_ARRAY_STRIDE, 0}};
    for (const auto& p : params)
      EXPECT_EQ(attribInt(loc, GLenum(p[0])), p[1])
          << "location " << loc << ", pname 0x" << std::hex << p[0];
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
// Texture coordinates passed through: position at 1, uv at 3, as the screen quad has them.
inline const char* UV_VS = R"(#version 330 core
layout(location = 1) in vec3 position;
layout(location = 3) in vec2 uv;
out vec2 vUv;
void main() {
  vUv = uv;
  gl_Position = vec4(position, 1.0);
}
)";

// The first few reports, for a failure message.
inline std::string describe(const std::vector<test::Report>& reports) {
  std::string s = std::to_string(reports.size()) + " reports";
  for (size_t i = 0; i < reports.size() && i < 5; ++i)
    s += "\n" + reports[i].caption + ": " + reports[i].text;
  return s;
}

// A context with no GL error pending; a report raised during the test (a GL error, a bad
// uniform) fails it, so a test that expects reports clears those it has checked.
class GlTest : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL();
    drainGlErrors();
    recorder = std::make_unique<test::ReportRecorder>();
  }
  void TearDown() override {
    if (recorder) {
      EXPECT_TRUE(recorder->reports.empty()) << describe(recorder->reports);
    }
  }
  std::unique_ptr<test::ReportRecorder> recorder;
};

// Each test draws into a fresh 2048x2048 render target, cleared to `clearColour`.
class TargetTest : public GlTest {
 protected:
  explicit TargetTest(Rgba clearColour) : clearColour_(clearColour) {}
  void SetUp() override {
    GlTest::SetUp();
    if (IsSkipped()) return;
    target = std::make_unique<st::Renderbuf>();
    target->init();
    target->bind();
    clear();
  }
  void TearDown() override {
    if (target) {
      glUseProgram(0);
      target->unbind();
      target.reset();  // before the reports are looked at: deleting may raise one
    }
    GlTest::TearDown();
  }
  void clear() {
    glClearColor(clearColour_.r / 255.0f, clearColour_.g / 255.0f, clearColour_.b / 255.0f,
                 clearColour_.a / 255.0f);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  std::unique_ptr<st::Renderbuf> target;

 private:
  Rgba clearColour_;
};

}  // namespace gltest
