// The eight render passes of a frame: floor, lines, sprites and their mirror image into
// the scene target, a two-pass blur, and the compose of sharp and blurred into the window.
#include "app/app.h"
#include "fx/math.h"
#include "show/frame.h"
#include "show/scene.h"

static void drawBuffer(st::Vertexbuffer* buffer) {
  buffer->bind();
  buffer->draw();
  buffer->unbind();
}

// Lines add light: no culling (the quads mix windings), additive blending, no depth test.
static void lineState() {
  glDisable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glDisable(GL_DEPTH_TEST);
}

// The line geometry, direct or through the mirror matrices at a lower brightness.
static void linesPass(const mat4& mvp, float colmul, float time) {
  linesShader.use();
  linesShader.setMatrix4("mvp", mvp.m);
  linesShader.setFloat("colmul", colmul);
  linesShader.setFloat("time", time);
  lineState();
  drawBuffer(lineBuffer);
  linesShader.unuse();
}

// The sprites, direct or mirrored; they inherit the lines' blending.
static void spritesPass(const mat4& view, const mat4& proj, float colmul) {
  spritesShader.use();
  spritesShader.setMatrix4("view", view.m);
  spritesShader.setMatrix4("proj", proj.m);
  spritesShader.setFloat("colmul", colmul);
  drawBuffer(spriteBuffer);
  spritesShader.unuse();
}

// One direction of the separable blur, from `source` into `into`.
static void blurPass(st::Renderbuf* into, GLuint source, int horizontal) {
  into->bind();
  blurShader.use();
  blurShader.setInt("tex", 0);
  blurShader.setInt("horizontal", horizontal);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, source);
  drawBuffer(screenQuad);
  blurShader.unuse();
  into->unbind();
}

// The compose pass samples both textures trilinearly; the next frame's blur then finds
// the smaller levels of sceneTarget (this frame's) ready to read.
static void bindMipmapped(GLenum unit, GLuint texture) {
  glActiveTexture(unit);
  glBindTexture(GL_TEXTURE_2D, texture);
  glGenerateMipmap(GL_TEXTURE_2D);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

void renderScenePasses(int32_t tick) {
  FrameMatrices fm;
  buildFrameMatrices(fm, tick, windowWidth, windowHeight);
  const float time = (float)tick / 100.0f;

  // 1. Floor: the only pass with culling and depth test; sceneTarget is already bound.
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  floorShader.use();
  floorShader.setMatrix4("mvp", fm.floorMvp.m);
  glCullFace(GL_BACK);
  drawBuffer(boxBuffer);
  floorShader.unuse();

  // 2. Lines, direct (the refilled line buffer is uploaded at this bind).
  linesPass(fm.linesMvp, 1.0f, time);

  // 3. Sprites, direct.
  spritesPass(fm.V, fm.P, 1.0f);

  // 4. Lines, mirrored below the ground and dimmer.
  linesPass(fm.mirrorLinesMvp, 0.75f, time);

  // 5. Sprites, mirrored; then back to the window's framebuffer and viewport.
  spritesPass(fm.mirrorSpritesView, fm.P, 0.2f);
  glDisable(GL_BLEND);
  sceneTarget->unbind();
}

void renderPostPasses(int32_t tick) {
  const float seconds = (float)tick / 1000.0f;

  // 6. Horizontal blur of the scene, 7. vertical blur of the horizontal one.
  blurPass(blurTargetH, sceneTarget->tex, 1);
  blurPass(blurTargetV, blurTargetH->tex, 0);

  // 8. Compose into the window's letterboxed viewport; the bars are never touched.
  composeShader.use();
  composeShader.setInt("tex", 0);
  composeShader.setFloat("t", seconds);
  composeShader.setInt("blurtex", 1);
  bindMipmapped(GL_TEXTURE0, sceneTarget->tex);
  bindMipmapped(GL_TEXTURE1, blurTargetV->tex);
  drawBuffer(screenQuad);
  composeShader.unuse();
}

void renderPasses(int32_t tick) {
  renderScenePasses(tick);
  renderPostPasses(tick);
}
