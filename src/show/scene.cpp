// Scene set-up: every GPU object of the show, made once before the first frame.
#include "show/meshes.h"
#include "show/show.h"

const char* const sceneShaderFiles[10] = {
    "assets/floor.vs",   "assets/floor.fs", "assets/lines.vs", "assets/lines.fs",
    "assets/compose.vs", "assets/compose.fs", "assets/blur.vs", "assets/blur.fs",
    "assets/sprites.vs", "assets/sprites.fs"};

void setupScene(Show& show) {
  show.boxBuffer = makeBox(400.0f, 2.0f, 400.0f);
  show.lineBuffer = makeLineBuffer(show.lines);
  show.screenQuad = makeScreenQuad();
  show.spriteBuffer = makeSpriteBuffer(show.spriteInstances);

  st::Shader* programs[5] = {&show.floorShader, &show.linesShader, &show.composeShader,
                             &show.blurShader, &show.spritesShader};
  for (int i = 0; i < 5; ++i) programs[i]->load(sceneShaderFiles[2 * i], sceneShaderFiles[2 * i + 1]);

  show.sceneTarget = new st::Renderbuf;
  show.sceneTarget->init();
  show.blurTargetH = new st::Renderbuf;
  show.blurTargetH->init();
  show.blurTargetV = new st::Renderbuf;
  show.blurTargetV->init();
}
