// The eight render passes of a frame: floor, lines, sprites and their mirror image into
// the scene target, a two-pass blur, and the compose of sharp and blurred into the window.
#include "show/pipeline.h"

#include "fx/math.h"

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
static void linesPass(Show& show, const mat4& mvp, float colmul, float time) {
  st::Shader& linesShader = show.linesShader;
  linesShader.use();
  linesShader.setMatrix4("mvp", mvp.m);
  linesShader.setFloat("colmul", colmul);
  linesShader.setFloat("time", time);
  lineState();
  drawBuffer(show.lineBuffer);
  linesShader.unuse();
}

// The sprites, direct or mirrored; they inherit the lines' blending.
static void spritesPass(Show& show, const mat4& view, const mat4& proj, float colmul) {
  st::Shader& spritesShader = show.spritesShader;
  spritesShader.use();
  spritesShader.setMatrix4("view", view.m);
  spritesShader.setMatrix4("proj", proj.m);
  spritesShader.setFloat("colmul", colmul);
  drawBuffer(show.spriteBuffer);
  spritesShader.unuse();
}

// One direction of the separable blur, from `source` into `into`.
static void blurPass(Show& show, st::Renderbuf* into, GLuint source, int horizontal) {
  st::Shader& blurShader = show.blurShader;
  into->bind();
  blurShader.use();
  blurShader.setInt("tex", 0);
  blurShader.setInt("horizontal", horizontal);
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, source);
  drawBuffer(show.screenQuad);
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

void renderScenePasses(Show& show, int32_t tick) {
  FrameMatrices fm;
  buildFrameMatrices(fm, tick);
  const float time = (float)tick / 100.0f;
  st::Shader& floorShader = show.floorShader;

  // 1. Floor: the only pass with culling and depth test.
  show.sceneTarget->bind();
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  floorShader.use();
  floorShader.setMatrix4("mvp", fm.floorMvp.m);
  glCullFace(GL_BACK);
  drawBuffer(show.boxBuffer);
  floorShader.unuse();

  // 2. Lines, direct (the refilled line buffer is uploaded at this bind).
  linesPass(show, fm.linesMvp, 1.0f, time);

  // 3. Sprites, direct.
  spritesPass(show, fm.V, fm.P, 1.0f);

  // 4. Lines, mirrored below the ground and dimmer.
  linesPass(show, fm.mirrorLinesMvp, 0.75f, time);

  // 5. Sprites, mirrored; then back to the window's framebuffer and viewport.
  spritesPass(show, fm.mirrorSpritesView, fm.P, 0.2f);
  glDisable(GL_BLEND);
  show.sceneTarget->unbind();
}

void renderPostPasses(Show& show, int32_t tick) {
  const float seconds = (float)tick / 1000.0f;
  st::Shader& composeShader = show.composeShader;

  // 6. Horizontal blur of the scene, 7. vertical blur of the horizontal one.
  blurPass(show, show.blurTargetH, show.sceneTarget->tex, 1);
  blurPass(show, show.blurTargetV, show.blurTargetH->tex, 0);

  // 8. Compose into the window's letterboxed viewport; the bars are never touched.
  composeShader.use();
  composeShader.setInt("tex", 0);
  composeShader.setFloat("t", seconds);
  composeShader.setInt("blurtex", 1);
  bindMipmapped(GL_TEXTURE0, show.sceneTarget->tex);
  bindMipmapped(GL_TEXTURE1, show.blurTargetV->tex);
  drawBuffer(show.screenQuad);
  composeShader.unuse();
}
