// Render targets in a real context: what init makes and leaves bound, how bind and unbind
// save and restore, depth testing inside a target, and unfiltered repeating samples.
#include <gtest/gtest.h>

#include <vector>

#include "gl_test_util.h"
#include "st/geometry.h"
#include "st/gl.h"
#include "st/report.h"
#include "st/st_renderbuf.h"
#include "st/st_shader.h"
#include "st/st_vertexbuffer.h"
#include "support/gl_context.h"
#include "support/reports.h"

namespace {

using gltest::pixelAtNdc;
using gltest::Rgba;

struct Viewport {
  GLint x, y, w, h;
  bool operator==(const Viewport& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};
std::ostream& operator<<(std::ostream& out, const Viewport& v) {
  return out << "(" << v.x << ", " << v.y << ", " << v.w << ", " << v.h << ")";
}
Viewport viewport() {
  Viewport v{};
  glGetIntegerv(GL_VIEWPORT, &v.x);
  return v;
}
GLint framebuffer() {
  GLint fbo = -1;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fbo);
  return fbo;
}
GLint readFramebuffer() {
  GLint fbo = -1;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &fbo);
  return fbo;
}

class RenderbufTest : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL();
    gltest::drainGlErrors();
    recorder = new test::ReportRecorder;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 960, 540);
  }
  void TearDown() override {
    if (!recorder) return;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 960, 540);
    for (const auto& r : recorder->reports) ADD_FAILURE() << "report: " << r.caption << ": " << r.text;
    delete recorder;
  }
  test::ReportRecorder* recorder = nullptr;
};

TEST_F(RenderbufTest, InitMakesA2048SquareNearestRepeatTextureWithDepth) {
  glActiveTexture(GL_TEXTURE3);
  st::Renderbuf target;
  EXPECT_EQ(target.fbo, 0u);
  EXPECT_EQ(target.depthRb, 0u);
  EXPECT_EQ(target.tex, 0u);
  target.init();
  EXPECT_EQ(target.width, 2048);
  EXPECT_EQ(target.height, 2048);
  EXPECT_NE(target.fbo, 0u);
  EXPECT_NE(target.depthRb, 0u);
  EXPECT_NE(target.tex, 0u);

  // The new texture is left bound to unit 0, which is left active.
  GLint active = 0, bound = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(active, GL_TEXTURE0);
  EXPECT_EQ(GLuint(bound), target.tex);

  GLint value = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
  EXPECT_EQ(value, GL_NEAREST);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
  EXPECT_EQ(value, GL_NEAREST);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
  EXPECT_EQ(value, GL_REPEAT);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
  EXPECT_EQ(value, GL_REPEAT);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &value);
  EXPECT_EQ(value, 2048);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &value);
  EXPECT_EQ(value, 2048);
  for (GLenum channel : {GL_TEXTURE_RED_SIZE, GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE,
                         GL_TEXTURE_ALPHA_SIZE}) {
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, channel, &value);
    EXPECT_EQ(value, 8);
  }
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &value);
  EXPECT_EQ(value, 0);  // one level only

  glBindFramebuffer(GL_FRAMEBUFFER, target.fbo);
  EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &value);
  EXPECT_EQ(value, GL_TEXTURE);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &value);
  EXPECT_EQ(GLuint(value), target.tex);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &value);
  EXPECT_EQ(value, GL_RENDERBUFFER);
  glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                        GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &value);
  EXPECT_EQ(GLuint(value), target.depthRb);
  glBindRenderbuffer(GL_RENDERBUFFER, target.depthRb);
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &value);
  EXPECT_EQ(value, 2048);
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_DEPTH_SIZE, &value);
  EXPECT_GE(value, 24);
}

TEST_F(RenderbufTest, InitLeavesTheFramebufferBindingAsFound) {
  st::Renderbuf first;
  first.init();
  EXPECT_EQ(framebuffer(), 0);
  glBindFramebuffer(GL_FRAMEBUFFER, first.fbo);
  st::Renderbuf second;
  second.init();
  EXPECT_EQ(framebuffer(), GLint(first.fbo));
  EXPECT_EQ(readFramebuffer(), GLint(first.fbo));
  EXPECT_NE(second.fbo, first.fbo);
}

TEST_F(RenderbufTest, BindUsesTheWholeTargetUnbindRestores) {
  st::Renderbuf target;
  target.init();
  glViewport(3, 5, 100, 200);
  target.bind();
  EXPECT_EQ(viewport(), (Viewport{0, 0, 2048, 2048}));
  EXPECT_EQ(framebuffer(), GLint(target.fbo));
  EXPECT_EQ(readFramebuffer(), GLint(target.fbo));
  target.unbind();
  EXPECT_EQ(viewport(), (Viewport{3, 5, 100, 200}));
  EXPECT_EQ(framebuffer(), 0);
  EXPECT_EQ(readFramebuffer(), 0);

  // Whatever was current at the bind comes back, not what was current at init.
  glViewport(0, 0, 960, 540);
  target.bind();
  target.unbind();
  EXPECT_EQ(viewport(), (Viewport{0, 0, 960, 540}));
}

TEST_F(RenderbufTest, NestedBindsUnwindInOrder) {
  st::Renderbuf a, b;
  a.init();
  b.init();
  glViewport(10, 20, 300, 400);
  a.bind();
  glViewport(7, 7, 64, 64);  // a pass may narrow the viewport inside a target
  b.bind();
  EXPECT_EQ(framebuffer(), GLint(b.fbo));
  EXPECT_EQ(viewport(), (Viewport{0, 0, 2048, 2048}));
  b.unbind();
  EXPECT_EQ(framebuffer(), GLint(a.fbo));
  EXPECT_EQ(viewport(), (Viewport{7, 7, 64, 64}));
  a.unbind();
  EXPECT_EQ(framebuffer(), 0);
  EXPECT_EQ(viewport(), (Viewport{10, 20, 300, 400}));
}

TEST_F(RenderbufTest, DepthTestWorksInsideTheTarget) {
  st::Shader shader = gltest::loadProgram("rb_flat", gltest::FLAT_VS, gltest::FLAT_FS);
  st::Renderbuf target;
  target.init();
  target.bind();
  glClearColor(0, 0, 0, 1);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);

  // Near red first, then far green over it: only a depth buffer keeps the red.
  st::Vertexbuffer square;
  square.init(4, 6, 0);
  unsigned quad[6] = {0, 1, 2, 1, 2, 3};
  for (int i = 0; i < 6; ++i) square.indices[i] = quad[i];
  float* p = square.addAttrib(3, 1, 0);
  float* c = square.addAttrib(4, 3, 0);
  const float corners[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {-0.5f, 0.5f}, {0.5f, 0.5f}};
  shader.use();
  for (int pass = 0; pass < 2; ++pass) {
    for (int v = 0; v < 4; ++v) {
      p[3 * v + 0] = corners[v][0] + 0.2f * pass;
      p[3 * v + 1] = corners[v][1];
      p[3 * v + 2] = pass == 0 ? -0.5f : 0.5f;
      c[4 * v + 0] = pass == 0 ? 1.0f : 0.0f;
      c[4 * v + 1] = pass == 0 ? 0.0f : 1.0f;
      c[4 * v + 2] = 0.0f;
      c[4 * v + 3] = 1.0f;
    }
    square.dirty = 1;
    square.bind();
    square.draw();
    square.unbind();
  }
  shader.unuse();
  glDisable(GL_DEPTH_TEST);
  EXPECT_EQ(pixelAtNdc(0.0f, 0.0f), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(pixelAtNdc(0.6f, 0.0f), (Rgba{0, 255, 0, 255}));  // green where it is alone
  target.unbind();
}

// Texel (x, y) of the pattern: x and y low bytes, and a checkerboard that any blending
// of neighbours would turn grey.
Rgba patternAt(int x, int y) {
  return Rgba{uint8_t(x & 255), uint8_t(y & 255), uint8_t(((x ^ y) & 1) ? 255 : 0), 255};
}

TEST_F(RenderbufTest, SamplesAreUnfilteredAndRepeat) {
  const char* patternFs = R"(#version 330 core
out vec4 fragColour;
void main() {
  ivec2 p = ivec2(gl_FragCoord.xy);
  fragColour = vec4(float(p.x & 255), float(p.y & 255), float((p.x ^ p.y) & 1) * 255.0, 255.0) / 255.0;
}
)";
  const char* quadVs = R"(#version 330 core
layout(location = 1) in vec3 position;
layout(location = 3) in vec2 uv;
out vec2 vUv;
void main() {
  vUv = uv;
  gl_Position = vec4(position, 1.0);
}
)";
  // A shift of one whole turn plus 0.4 texel: repeat wrapping lands on the same texel, any
  // other wrap mode elsewhere, and linear filtering would mix in 40% of a neighbour.
  const char* sampleFs = R"(#version 330 core
in vec2 vUv;
uniform sampler2D source;
uniform vec2 shift;
out vec4 fragColour;
void main() { fragColour = texture(source, vUv + shift); }
)";
  st::Shader pattern = gltest::loadProgram("rb_pattern", quadVs, patternFs);
  st::Shader sample = gltest::loadProgram("rb_sample", quadVs, sampleFs);
  st::Vertexbuffer* quad = makeScreenQuad();
  st::Renderbuf source, result;
  source.init();
  result.init();

  source.bind();
  gltest::drawWith(pattern, *quad);
  ASSERT_EQ(gltest::pixelAt(300, 7), patternAt(300, 7));
  source.unbind();

  result.bind();
  sample.use();
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, source.tex);
  sample.setInt("source", 0);
  glUniform2f(sample.uniformLocation("shift"), 1.0f + 0.4f / 2048.0f, -1.0f + 0.4f / 2048.0f);
  gltest::drawWith(sample, *quad);

  int mismatches = 0;
  std::vector<Rgba> row(2048);
  for (int y : {0, 1, 2, 777, 1024, 2045, 2046, 2047}) {
    glReadPixels(0, y, 2048, 1, GL_RGBA, GL_UNSIGNED_BYTE, row.data());
    for (int x = 0; x < 2048; ++x) {
      if (row[x] == patternAt(x, y)) continue;
      if (++mismatches <= 5) ADD_FAILURE() << "at " << x << ", " << y << ": " << row[x];
    }
  }
  EXPECT_EQ(mismatches, 0);
  result.unbind();
  delete quad;
}

TEST_F(RenderbufTest, ErrorsNameTheCheckAfterTheCall) {
  st::Renderbuf target;
  target.init();
  target.bind();
  target.savedViewport[2] = -5;  // a negative width: glViewport raises GL_INVALID_VALUE
  target.unbind();
  EXPECT_EQ(framebuffer(), 0);  // unbind went on with the framebuffer
  ASSERT_EQ(recorder->reports.size(), 1u);
  gltest::expectCheckAfterCall(recorder->reports[0], "src/st/st_renderbuf.cpp",
                               "GL_INVALID_VALUE", "glViewport(saved");
  EXPECT_EQ(recorder->reports[0].text, st::glErrorText(0x0501));
  recorder->reports.clear();
}

TEST_F(RenderbufTest, DestructorDeletesWhatInitMade) {
  GLuint fbo, depth, tex;
  {
    st::Renderbuf target;
    target.init();
    fbo = target.fbo;
    depth = target.depthRb;
    tex = target.tex;
    EXPECT_TRUE(glIsFramebuffer(fbo));
    EXPECT_TRUE(glIsRenderbuffer(depth));
    EXPECT_TRUE(glIsTexture(tex));
  }
  EXPECT_FALSE(glIsFramebuffer(fbo));
  EXPECT_FALSE(glIsRenderbuffer(depth));
  EXPECT_FALSE(glIsTexture(tex));
  { st::Renderbuf never; }  // nothing made, nothing deleted, nothing reported
}

}  // namespace
