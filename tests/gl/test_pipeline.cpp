// The scene set-up and the eight render passes in a real GL context: what set-up makes,
// hundreds of frames without a report, the state a frame leaves behind, and checks on
// read-back pixels (slab, lines and their mirror, glow, letterbox, blur width).
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fx/lines.h"
#include "fx/math.h"
#include "gl_test_util.h"
#include "show/pipeline.h"
#include "show/show.h"
#include "show/viewport.h"

namespace {

using gltest::getInt;
using gltest::texParam;

std::vector<test::Report> setupReports;

// The show, made once per process like the program's, and the window size it is drawn for.
Show show;
int32_t windowWidth = 0;
int32_t windowHeight = 0;

// The scene is made once per process, from the source tree's assets. Call before a test
// makes its own ReportRecorder (recorders do not nest).
void ensureScene() {
  if (show.boxBuffer) return;
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(ZOOV_SOURCE_DIR), 0);
  {
    test::ReportRecorder recorder;
    setupScene(show);
    setupReports = recorder.reports;
  }
  ASSERT_EQ(chdir(cwd), 0);
}

// Window size as the app knows it, and the letterboxed viewport it sets.
Viewport useWindow(int width, int height) {
  windowWidth = width;
  windowHeight = height;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  applyLetterbox(width, height);
  return letterboxViewport(width, height);
}

// The show's frame with the music time given instead of played; `extra` may add lines
// after the script. Sprites are cleared unless `withSprites`, so that particles left by
// an earlier test do not light a picture check. With no live sprite the buffer still
// draws one quad (a count of 0 or 1 is a plain draw) from instance 0, which keeps
// whatever the last live sprite left there; a life of 0 makes it invisible.
void drawFrame(int32_t tick, double music, void (*extra)() = nullptr, bool withSprites = false) {
  const FrameInput input{tick, music};
  if (!extra && withSprites) return drawFrame(show, input);
  buildFrameGeometry(show, input);
  if (!withSprites) {
    show.spriteInstances.count = 0;
    show.spriteInstances.scalar[0] = 0.0f;
  }
  if (extra) extra();
  renderFramePasses(show, input);
}

// A moment with nothing of the script's own: music 5 s (no text, no star before 16 s),
// tick 2 s (an even figure period, and the fade-in of the first second is over).
const int32_t QUIET_TICK = 2000;
const double QUIET_MUSIC = 5.0;

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* at(int x, int y) const { return &rgba[4 * ((size_t)y * width + x)]; }
  int luma(int x, int y) const {  // mean of r, g, b
    const uint8_t* p = at(x, y);
    return (p[0] + p[1] + p[2]) / 3;
  }
  int maxChannel(int x, int y) const {
    const uint8_t* p = at(x, y);
    return std::max({p[0], p[1], p[2]});
  }
};

Image readFramebuffer(GLuint fbo, int x, int y, int width, int height) {
  Image image{width, height, std::vector<uint8_t>((size_t)width * height * 4)};
  GLint previous = getInt(GL_READ_FRAMEBUFFER_BINDING);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
  if (fbo == 0) glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, (GLuint)previous);
  return image;
}

Image readWindow() { return readFramebuffer(0, 0, 0, windowWidth, windowHeight); }

// One mipmap level of a target, as the compose pass last built and read it.
Image readLevel(GLuint texture, int level) {
  const int size = 2048 >> level;
  Image image{size, size, std::vector<uint8_t>((size_t)size * size * 4)};
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return image;
}

// The compose pass spreads the glow by reading level 5 of the blurred target.
const int GLOW_LEVEL = 5;

// Where a world point lands: window pixel (through the viewport) and target texel.
struct Projected {
  float windowX, windowY;  // pixels, origin bottom-left
  float texelX, texelY;    // texels of the 2048 x 2048 targets
};

Projected project(const mat4& mvp, float x, float y, float z, const Viewport& v) {
  float clip[4];
  for (int r = 0; r < 4; ++r) clip[r] = mvp[r] * x + mvp[4 + r] * y + mvp[8 + r] * z + mvp[12 + r];
  float nx = clip[0] / clip[3], ny = clip[1] / clip[3];
  return {(float)v.x + (nx * 0.5f + 0.5f) * (float)v.width,
          (float)v.y + (ny * 0.5f + 0.5f) * (float)v.height, (nx * 0.5f + 0.5f) * 2048.0f,
          (ny * 0.5f + 0.5f) * 2048.0f};
}

// One white segment across the middle of the ground, walls 10 high.
void addMiddleSegment() { addLineSegment(show.lines, -15.0f, 0.0f, 15.0f, 0.0f, 10.0f, 1.0f, 1.0f, 1.0f); }

// The names of a program's active uniforms or attributes: glGetActiveUniform and
// glGetActiveAttrib have the same signature.
std::set<std::string> activeNames(GLuint program, GLenum countName,
                                  PFNGLGETACTIVEUNIFORMPROC get) {
  std::set<std::string> names;
  for (GLint i = 0, count = gltest::programInt(program, countName); i < count; ++i) {
    char name[256];
    GLsizei length = 0;
    GLint size = 0;
    GLenum type = 0;
    get(program, (GLuint)i, sizeof name, &length, &size, &type, name);
    names.insert(name);
  }
  return names;
}

// The scene made, and any report during the test fails it. Pending GL errors are not
// drained: one that an earlier frame left behind is the next frame's first report.
class Pipeline : public gltest::GlTest {
 protected:
  void SetUp() override {
    REQUIRE_GL();
    ensureScene();
    recorder = std::make_unique<test::ReportRecorder>();
  }
};
class PipelinePicture : public Pipeline {};
class PipelineBlur : public Pipeline {};

TEST_F(Pipeline, SetupMakesFourBuffersFiveProgramsThreeTargetsAndNoReport) {
  EXPECT_TRUE(setupReports.empty()) << gltest::describe(setupReports);

  struct Expected {
    st::Vertexbuffer* buffer;
    int vertices, indices, instances;
  } buffers[] = {{show.boxBuffer, 24, 36, 0},
                 {show.lineBuffer, 80000, 120000, 0},
                 {show.screenQuad, 4, 6, 0},
                 {show.spriteBuffer, 4, 6, 10000}};
  std::set<GLuint> vaos;
  for (const Expected& e : buffers) {
    ASSERT_NE(e.buffer, nullptr);
    EXPECT_NE(e.buffer->vao, 0u);
    EXPECT_NE(e.buffer->ibo, 0u);
    vaos.insert(e.buffer->vao);
    if (e.buffer != show.lineBuffer) {  // the line buffer's counts are the frame's fill level
      EXPECT_EQ(e.buffer->vertexCount, e.vertices);
      EXPECT_EQ(e.buffer->indexCount, e.indices);
    }
    if (e.buffer != show.spriteBuffer) {  // the sprite buffer's count is the live sprites'
      EXPECT_EQ(e.buffer->instanceCount, e.instances);
    }
  }
  EXPECT_EQ(vaos.size(), 4u);

  // Five linked programs, each with exactly the uniforms the passes set: a uniform the
  // compiler dropped would be a "Bad uniform name" in every frame.
  struct Program {
    st::Shader* shader;
    std::set<std::string> uniforms;
    std::set<GLint> locations;  // what its buffer offers
  } programs[] = {
      {&show.floorShader, {"mvp"}, {1, 2, 3}},
      {&show.linesShader, {"mvp", "colmul", "time"}, {1, 3}},
      {&show.spritesShader, {"view", "proj", "colmul"}, {1, 2, 3, 4}},
      {&show.blurShader, {"tex", "horizontal"}, {1, 3}},
      {&show.composeShader, {"tex", "t", "blurtex"}, {1, 3}},
  };
  std::set<GLuint> names;
  for (const Program& p : programs) {
    GLuint program = p.shader->program;
    names.insert(program);
    ASSERT_EQ(glIsProgram(program), GL_TRUE);
    EXPECT_TRUE(gltest::linked(program));
    EXPECT_EQ(activeNames(program, GL_ACTIVE_UNIFORMS, glGetActiveUniform), p.uniforms);
    std::set<GLint> locations;
    for (const std::string& name : activeNames(program, GL_ACTIVE_ATTRIBUTES, glGetActiveAttrib))
      locations.insert(glGetAttribLocation(program, name.c_str()));
    EXPECT_EQ(locations.count(1), 1u) << "position at location 1";
    for (GLint l : locations) EXPECT_EQ(p.locations.count(l), 1u) << "attribute location " << l;
  }
  EXPECT_EQ(names.size(), 5u);

  std::set<GLuint> textures;
  GLint previous = getInt(GL_FRAMEBUFFER_BINDING);
  for (st::Renderbuf* target : {show.sceneTarget, show.blurTargetH, show.blurTargetV}) {
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->width, 2048);
    EXPECT_EQ(target->height, 2048);
    glBindFramebuffer(GL_FRAMEBUFFER, target->fbo);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
    EXPECT_EQ(texParam(target->tex, GL_TEXTURE_WIDTH, 0), 2048);
    EXPECT_EQ(texParam(target->tex, GL_TEXTURE_HEIGHT, 0), 2048);
    textures.insert(target->tex);
  }
  glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
  EXPECT_EQ(textures.size(), 3u);
}

TEST_F(Pipeline, ThreeHundredFramesAtVariedTimesRaiseNoReport) {
  useWindow(960, 540);
  // Music times walk through every script step, slot ends and the emission window;
  // ticks run forward through both figure periods, so sprites are born and drawn.
  const double musicTimes[] = {0.0,  9.9994, 10.0, 13.0, 19.5, 25.0,  35.0,  45.0, 55.0,
                               65.0, 75.0,   80.0, 84.0, 87.9, 88.0,  95.0,  105.0, 115.0,
                               125.0, 150.0};
  for (int i = 0; i < 300; ++i) {
    int32_t tick = 500 + 97 * i;
    double music = musicTimes[i % 20] + 0.013 * (double)(i / 20);
    drawFrame(tick, music, i % 3 == 0 ? addMiddleSegment : nullptr, true);
  }
  while (glGetError() != GL_NO_ERROR) ADD_FAILURE() << "GL error left pending";
}

TEST_F(Pipeline, FrameLeavesTheStateTheNextFrameFinds) {
  Viewport v = useWindow(960, 540);
  drawFrame(QUIET_TICK, QUIET_MUSIC, addMiddleSegment);

  for (GLenum pname : {GL_CURRENT_PROGRAM, GL_VERTEX_ARRAY_BINDING, GL_DRAW_FRAMEBUFFER_BINDING,
                       GL_READ_FRAMEBUFFER_BINDING})
    EXPECT_EQ(getInt(pname), 0) << "pname 0x" << std::hex << pname;
  for (GLenum capability : {GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE})
    EXPECT_EQ(glIsEnabled(capability), GL_FALSE) << "capability 0x" << std::hex << capability;
  EXPECT_EQ(gltest::viewport(), (gltest::Rect{v.x, v.y, v.width, v.height}));

  EXPECT_EQ(getInt(GL_ACTIVE_TEXTURE), GL_TEXTURE1);
  EXPECT_EQ(GLuint(getInt(GL_TEXTURE_BINDING_2D)), show.blurTargetV->tex);
  glActiveTexture(GL_TEXTURE0);
  EXPECT_EQ(GLuint(getInt(GL_TEXTURE_BINDING_2D)), show.sceneTarget->tex);
  glActiveTexture(GL_TEXTURE1);

  // The compose pass leaves two targets mipmapped and the horizontal one as it was made.
  const struct {
    st::Renderbuf* target;
    GLint min, mag;
  } filters[] = {{show.sceneTarget, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR},
                 {show.blurTargetV, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR},
                 {show.blurTargetH, GL_NEAREST, GL_NEAREST}};
  for (const auto& f : filters) {
    EXPECT_EQ(texParam(f.target->tex, GL_TEXTURE_MIN_FILTER), f.min) << f.target->tex;
    EXPECT_EQ(texParam(f.target->tex, GL_TEXTURE_MAG_FILTER), f.mag) << f.target->tex;
  }
}

TEST_F(PipelinePicture, EmptyLineBufferShowsOnlyTheDarkSlab) {
  useWindow(960, 540);
  drawFrame(QUIET_TICK - 40, QUIET_MUSIC);
  drawFrame(QUIET_TICK, QUIET_MUSIC);
  EXPECT_EQ(show.lineBuffer->indexCount, 0);
  Image image = readWindow();

  // No line anywhere: the floor stays far below what a lit wall gives (half of full
  // strength and more); and the slab is there, faintly lighter than the empty space
  // beyond its far edge at the top of the picture.
  int brightest = 0;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) brightest = std::max(brightest, image.maxChannel(x, y));
  EXPECT_LE(brightest, 40);
  long slab = 0, beyond = 0;
  for (int x = 380; x < 580; ++x) {
    for (int y = 100; y < 140; ++y) slab += image.luma(x, y);
    beyond += image.luma(x, image.height - 2);
  }
  slab /= 200 * 40;
  beyond /= 200;
  EXPECT_GE(slab, 3) << "the slab should not be black";
  EXPECT_GT(slab, beyond);
}

TEST_F(PipelinePicture, SegmentLightsItsSurroundingsAndItsMirrorBelowIsDimmer) {
  Viewport v = useWindow(960, 540);
  drawFrame(QUIET_TICK - 40, QUIET_MUSIC);
  drawFrame(QUIET_TICK, QUIET_MUSIC);
  Image empty = readWindow();
  Image emptyScene = readFramebuffer(show.sceneTarget->fbo, 0, 0, 2048, 2048);
  drawFrame(QUIET_TICK - 40, QUIET_MUSIC, addMiddleSegment);
  drawFrame(QUIET_TICK, QUIET_MUSIC, addMiddleSegment);
  Image lit = readWindow();
  Image scene = readFramebuffer(show.sceneTarget->fbo, 0, 0, 2048, 2048);
  Image glow = readLevel(show.blurTargetV->tex, GLOW_LEVEL);

  FrameMatrices fm;
  buildFrameMatrices(fm, QUIET_TICK);
  // A quarter of the way up the wall, where it still glows well, and its mirror image.
  Projected wall = project(fm.linesMvp, 0.0f, 2.5f, 0.0f, v);
  Projected mirror = project(fm.mirrorLinesMvp, 0.0f, 2.5f, 0.0f, v);
  int wx = (int)wall.windowX, wy = (int)wall.windowY;
  int mx = (int)mirror.windowX, my = (int)mirror.windowY;
  ASSERT_LT(my, wy) << "the mirror image lies below the segment";

  EXPECT_GE(lit.luma(wx, wy), 100) << "the wall glows";
  EXPECT_LE(empty.luma(wx, wy), 40);
  EXPECT_GE(lit.luma(mx, my), 50) << "the mirror image is lit";
  EXPECT_LT(lit.luma(mx, my), lit.luma(wx, wy)) << "the mirror image is dimmer";
  // In the scene target itself the mirror carries 0.75 of the direct light.
  int sceneWall = scene.luma((int)wall.texelX, (int)wall.texelY);
  int sceneMirror = scene.luma((int)mirror.texelX, (int)mirror.texelY);
  EXPECT_LT(sceneMirror, sceneWall);
  EXPECT_GT(sceneMirror, sceneWall / 2);

  // Beyond the segment's end, where the sharp wall does not reach, the glow lights the
  // floor: first in the blurred target, then in the window.
  Projected end = project(fm.linesMvp, 15.0f, 2.5f, 0.0f, v);
  int tx = (int)end.texelX + 12, ty = (int)end.texelY;
  EXPECT_LE(scene.luma(tx, ty), emptyScene.luma(tx, ty) + 2) << "sharp scene dark there";
  EXPECT_GE(glow.luma(tx >> GLOW_LEVEL, ty >> GLOW_LEVEL), scene.luma(tx, ty) + 8)
      << "blurred copy lit there";
  // The glow is a gentle one: summed over the ten pixels after the end it adds up.
  int ey = (int)end.windowY, extra = 0;
  for (int dx = 3; dx < 13; ++dx) {
    int ex = (int)end.windowX + dx;
    EXPECT_GE(lit.luma(ex, ey), empty.luma(ex, ey)) << dx << " pixels beyond the end";
    extra += lit.luma(ex, ey) - empty.luma(ex, ey);
  }
  EXPECT_GE(extra, 12) << "glow beyond the end in the window";
}

TEST_F(PipelinePicture, ComposeDrawsIntoTheLetterboxViewportAndLeavesTheBars) {
  // An 800 x 540 window has a 16:9 viewport of 800 x 450 with bars of 45 rows above and
  // below; the 960 x 540 framebuffer of the test window has room around it as well.
  Viewport v = useWindow(800, 540);
  ASSERT_EQ((gltest::Rect{v.x, v.y, v.width, v.height}), (gltest::Rect{0, 45, 800, 450}));
  glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);  // magenta marks what the frame must not touch
  drawFrame(QUIET_TICK, QUIET_MUSIC, addMiddleSegment);
  Image image = readFramebuffer(0, 0, 0, 960, 540);
  useWindow(960, 540);

  int insideMagenta = 0, outsideOther = 0;
  for (int y = 0; y < 540; ++y) {
    for (int x = 0; x < 960; ++x) {
      const uint8_t* p = image.at(x, y);
      bool magenta = p[0] == 255 && p[1] == 0 && p[2] == 255;
      bool inside = x >= v.x && x < v.x + v.width && y >= v.y && y < v.y + v.height;
      if (inside && magenta) ++insideMagenta;
      if (!inside && !magenta) ++outsideOther;
    }
  }
  EXPECT_EQ(insideMagenta, 0) << "the compose pass covers its whole viewport";
  EXPECT_EQ(outsideOther, 0) << "nothing outside the viewport is drawn or cleared";
}

// Two frames of the post passes over a scene that is black but for a one-texel column.
void blurColumn(int column) {
  for (int frame = 0; frame < 2; ++frame) {
    show.sceneTarget->bind();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (column >= 0) {
      glEnable(GL_SCISSOR_TEST);
      glScissor(column, 0, 1, 2048);
      glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
      glClear(GL_COLOR_BUFFER_BIT);
      glDisable(GL_SCISSOR_TEST);
    }
    show.sceneTarget->unbind();
    renderPostPasses(show, QUIET_TICK);
  }
}

TEST_F(PipelineBlur, ThinLineGlowsAtLeastEightTexelsToBothSides) {
  Viewport v = useWindow(960, 540);
  blurColumn(-1);
  Image darkWindow = readWindow();
  // Columns at every part of the coarse cells that a mipmap-based blur reads (16 or 32
  // texels wide), and away from the middle.
  for (int column : {1024, 1031, 1039, 1047, 1055, 517, 1800}) {
    SCOPED_TRACE("column " + std::to_string(column));
    blurColumn(column);
    // The blurred target as the compose pass reads it: level 5, linearly between its
    // texels, along one row.
    const int row = 1000;
    Image glow = readLevel(show.blurTargetV->tex, GLOW_LEVEL);
    auto glowAt = [&](int texel) {
      float s = ((float)texel + 0.5f) / (float)(1 << GLOW_LEVEL) - 0.5f;
      int i = (int)std::floor(s);
      float f = s - (float)i;
      int y = row >> GLOW_LEVEL;
      return (int)std::lround((1.0f - f) * (float)glow.maxChannel(std::max(i, 0), y) +
                              f * (float)glow.maxChannel(std::min(i + 1, glow.width - 1), y));
    };
    int peak = 0;
    for (int i = -40; i <= 40; ++i) peak = std::max(peak, glowAt(column + i));
    int left = glowAt(column - 8), right = glowAt(column + 8);
    EXPECT_GE(peak, 4) << "the line leaves a glow at all";
    // What a 9-tap Gaussian with 2-texel spacing still reaches 8 texels away.
    EXPECT_GE(left * 100, peak * 5) << "left " << left << " of peak " << peak;
    EXPECT_GE(right * 100, peak * 5) << "right " << right << " of peak " << peak;

    // The window shows the glow beside the line, about 8 texels off (4 pixels).
    Image window = readWindow();
    int wx = v.x + (int)(((float)column + 0.5f) / 2048.0f * (float)v.width);
    int wy = v.y + v.height / 2;
    for (int dx : {-4, 4})
      EXPECT_GT(window.maxChannel(wx + dx, wy), darkWindow.maxChannel(wx + dx, wy))
          << "window glow at " << dx << " pixels";
  }
}

}  // namespace
