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

void setupSceneGraphics() {
  boxBuffer = makeBox(400.0f, 2.0f, 400.0f);
  lineBuffer = makeLineBuffer();
  screenQuad = makeScreenQuad();
  spriteBuffer = makeSpriteBuffer();

  floorShader.load("assets/floor.vs", "assets/floor.fs");
  linesShader.load("assets/lines.vs", "assets/lines.fs");
  composeShader.load("assets/compose.vs", "assets/compose.fs");
  blurShader.load("assets/blur.vs", "assets/blur.fs");
  spritesShader.load("assets/sprites.vs", "assets/sprites.fs");

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
