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
  linesShader.use();
  linesShader.setMatrix4("mvp", fm.linesMvp.m);
  linesShader.setFloat("colmul", 1.0f);
  linesShader.setFloat("time", time);
  lineState();
  drawBuffer(lineBuffer);
  linesShader.unuse();

  // 3. Sprites, direct.
  spritesShader.use();
  spritesShader.setMatrix4("view", fm.V.m);
  spritesShader.setMatrix4("proj", fm.P.m);
  spritesShader.setFloat("colmul", 1.0f);
  drawBuffer(spriteBuffer);
  spritesShader.unuse();

  // 4. Lines, mirrored below the ground and dimmer.
  linesShader.use();
  linesShader.setMatrix4("mvp", fm.mirrorLinesMvp.m);
  linesShader.setFloat("colmul", 0.75f);
  linesShader.setFloat("time", time);
  lineState();
  drawBuffer(lineBuffer);
  linesShader.unuse();

  // 5. Sprites, mirrored; then back to the window's framebuffer and viewport.
  spritesShader.use();
  spritesShader.setMatrix4("view", fm.mirrorSpritesView.m);
  spritesShader.setMatrix4("proj", fm.P.m);
  spritesShader.setFloat("colmul", 0.2f);
  drawBuffer(spriteBuffer);
  spritesShader.unuse();
  glDisable(GL_BLEND);
  sceneTarget->unbind();
}

void renderPostPasses(int32_t tick) {
  const float seconds = (float)tick / 1000.0f;

  // 6. Horizontal blur of the scene.
  blurTargetH->bind();
  blurShader.use();
  blurShader.setInt("tex", 0);
  blurShader.setInt("horizontal", 1);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, sceneTarget->tex);
  drawBuffer(screenQuad);
  blurShader.unuse();
  blurTargetH->unbind();

  // 7. Vertical blur of the horizontal one.
  blurTargetV->bind();
  blurShader.use();
  blurShader.setInt("tex", 0);
  blurShader.setInt("horizontal", 0);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, blurTargetH->tex);
  drawBuffer(screenQuad);
  blurShader.unuse();
  blurTargetV->unbind();

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
