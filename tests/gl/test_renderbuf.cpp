// Render targets in a real context: what init makes and leaves bound, how bind and unbind
// save and restore, depth testing inside a target, and unfiltered repeating samples.
#include <vector>

#include "gl_test_util.h"
#include "show/meshes.h"
#include "st/report.h"

namespace {

using gltest::getInt;
using gltest::Rect;
using gltest::Rgba;
using gltest::viewport;

// The framebuffer bound for drawing and for reading, and the viewport.
void expectBound(GLuint fbo, Rect expectedViewport) {
  EXPECT_EQ(getInt(GL_DRAW_FRAMEBUFFER_BINDING), GLint(fbo));
  EXPECT_EQ(getInt(GL_READ_FRAMEBUFFER_BINDING), GLint(fbo));
  EXPECT_EQ(viewport(), expectedViewport);
}

class RenderbufTest : public gltest::GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (!IsSkipped()) windowDefaults();
  }
  void TearDown() override {
    if (recorder) windowDefaults();
    GlTest::TearDown();
  }
  static void windowDefaults() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 960, 540);
  }
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

  // The new texture is left bound to unit 0, which is left active.
  EXPECT_EQ(getInt(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
  EXPECT_EQ(GLuint(getInt(GL_TEXTURE_BINDING_2D)), target.tex);

  const struct {
    GLint level;  // -1: a parameter of the texture itself
    GLenum pname;
    GLint value;
  } texture[] = {{-1, GL_TEXTURE_MIN_FILTER, GL_NEAREST}, {-1, GL_TEXTURE_MAG_FILTER, GL_NEAREST},
                 {-1, GL_TEXTURE_WRAP_S, GL_REPEAT},      {-1, GL_TEXTURE_WRAP_T, GL_REPEAT},
                 {0, GL_TEXTURE_WIDTH, 2048},             {0, GL_TEXTURE_HEIGHT, 2048},
                 {0, GL_TEXTURE_RED_SIZE, 8},             {0, GL_TEXTURE_GREEN_SIZE, 8},
                 {0, GL_TEXTURE_BLUE_SIZE, 8},            {0, GL_TEXTURE_ALPHA_SIZE, 8},
                 {1, GL_TEXTURE_WIDTH, 0}};  // one level only
  for (const auto& t : texture)
    EXPECT_EQ(gltest::texParam(target.tex, t.pname, t.level), t.value)
        << "level " << t.level << ", pname 0x" << std::hex << t.pname;

  glBindFramebuffer(GL_FRAMEBUFFER, target.fbo);
  EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
  const struct {
    GLenum attachment;
    GLint type;
    GLuint name;
  } attached[] = {{GL_COLOR_ATTACHMENT0, GL_TEXTURE, target.tex},
                  {GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, target.depthRb}};
  for (const auto& a : attached) {
    GLint type = 0, name = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, a.attachment,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, a.attachment,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &name);
    EXPECT_EQ(type, a.type) << "attachment 0x" << std::hex << a.attachment;
    EXPECT_EQ(GLuint(name), a.name) << "attachment 0x" << std::hex << a.attachment;
  }
  GLint width = 0, depthBits = 0;
  glBindRenderbuffer(GL_RENDERBUFFER, target.depthRb);
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_WIDTH, &width);
  glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_DEPTH_SIZE, &depthBits);
  EXPECT_EQ(width, 2048);
  EXPECT_GE(depthBits, 24);
}

TEST_F(RenderbufTest, InitLeavesTheFramebufferBindingAsFound) {
  st::Renderbuf first;
  first.init();
  EXPECT_EQ(getInt(GL_FRAMEBUFFER_BINDING), 0);
  glBindFramebuffer(GL_FRAMEBUFFER, first.fbo);
  st::Renderbuf second;
  second.init();
  expectBound(first.fbo, {0, 0, 960, 540});
  EXPECT_NE(second.fbo, first.fbo);
}

TEST_F(RenderbufTest, BindUsesTheWholeTargetUnbindRestores) {
  st::Renderbuf target;
  target.init();
  glViewport(3, 5, 100, 200);
  target.bind();
  expectBound(target.fbo, {0, 0, 2048, 2048});
  target.unbind();
  expectBound(0, {3, 5, 100, 200});

  // Whatever was current at the bind comes back, not what was current at init.
  glViewport(0, 0, 960, 540);
  target.bind();
  target.unbind();
  EXPECT_EQ(viewport(), (Rect{0, 0, 960, 540}));
}

TEST_F(RenderbufTest, NestedBindsUnwindInOrder) {
  st::Renderbuf a, b;
  a.init();
  b.init();
  glViewport(10, 20, 300, 400);
  a.bind();
  glViewport(7, 7, 64, 64);  // a pass may narrow the viewport inside a target
  b.bind();
  expectBound(b.fbo, {0, 0, 2048, 2048});
  b.unbind();
  expectBound(a.fbo, {7, 7, 64, 64});
  a.unbind();
  expectBound(0, {10, 20, 300, 400});
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
  gltest::drawWith(shader, *gltest::makeSquare(gltest::RED, 0.0f, -0.5f));
  gltest::drawWith(shader, *gltest::makeSquare(gltest::GREEN, 0.2f, 0.5f));
  glDisable(GL_DEPTH_TEST);
  // Green where it is alone.
  gltest::expectPixels({{0.0f, 0.0f, gltest::RED}, {0.6f, 0.0f, gltest::GREEN}});
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
  // A shift of one whole turn plus 0.4 texel: repeat wrapping lands on the same texel, any
  // other wrap mode elsewhere, and linear filtering would mix in 40% of a neighbour.
  const char* sampleFs = R"(#version 330 core
in vec2 vUv;
uniform sampler2D source;
uniform vec2 shift;
out vec4 fragColour;
void main() { fragColour = texture(source, vUv + shift); }
)";
  st::Shader pattern = gltest::loadProgram("rb_pattern", gltest::UV_VS, patternFs);
  st::Shader sample = gltest::loadProgram("rb_sample", gltest::UV_VS, sampleFs);
  std::unique_ptr<st::Vertexbuffer> quad(makeScreenQuad());
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
}

TEST_F(RenderbufTest, ErrorsNameTheCheckAfterTheCall) {
  st::Renderbuf target;
  target.init();
  target.bind();
  target.savedViewport[2] = -5;  // a negative width: glViewport raises GL_INVALID_VALUE
  target.unbind();
  EXPECT_EQ(getInt(GL_FRAMEBUFFER_BINDING), 0);  // unbind went on with the framebuffer
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
