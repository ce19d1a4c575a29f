// Scene set-up: every GPU object and the music voice, made once before the first frame.
#include "show/scene.h"

#include "st/geometry.h"

st::Vertexbuffer* boxBuffer = nullptr;
st::Vertexbuffer* lineBuffer = nullptr;
st::Vertexbuffer* screenQuad = nullptr;
st::Vertexbuffer* spriteBuffer = nullptr;

st::Shader floorShader;
st::Shader linesShader;
st::Shader composeShader;
st::Shader blurShader;
st::Shader spritesShader;

st::Renderbuf* sceneTarget = nullptr;
st::Renderbuf* blurTargetH = nullptr;
st::Renderbuf* blurTargetV = nullptr;

SoLoud::handle musicHandle = 0;

const char* const sceneShaderFiles[10] = {
    "assets/floor.vs",   "assets/floor.fs", "assets/lines.vs", "assets/lines.fs",
    "assets/compose.vs", "assets/compose.fs", "assets/blur.vs", "assets/blur.fs",
    "assets/sprites.vs", "assets/sprites.fs"};

void setupSceneGraphics() {
  boxBuffer = makeBox(400.0f, 2.0f, 400.0f);
  lineBuffer = makeLineBuffer();
  screenQuad = makeScreenQuad();
  spriteBuffer = makeSpriteBuffer();

  st::Shader* programs[5] = {&floorShader, &linesShader, &composeShader, &blurShader,
                             &spritesShader};
  for (int i = 0; i < 5; ++i) programs[i]->load(sceneShaderFiles[2 * i], sceneShaderFiles[2 * i + 1]);

  sceneTarget = new st::Renderbuf;
  sceneTarget->init();
  blurTargetH = new st::Renderbuf;
  blurTargetH->init();
  blurTargetV = new st::Renderbuf;
  blurTargetV->init();
}

void setupSceneMusic() {
  soloud.init();
  startMusic();
}

void startMusic() {
  musicWav.load("assets/zoov2020.ogg");
  musicWav.setLooping(true);
  musicWav.setLoopPoint(80.0);
  musicHandle = soloud.play(musicWav, -1.0f, 0.0f, false, 0);
}

void setupScene() {
  setupSceneGraphics();
  setupSceneMusic();
}
