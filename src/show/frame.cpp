// The frame's road: sprites, the scene target, the script on the music clock, the passes.
#include "show/frame.h"

#include "fx/figures.h"
#include "fx/sprites.h"
#include "show/clock.h"
#include "show/scene.h"
#include "show/script.h"

void buildFrame(int32_t tick) { buildFrameAt(tick, soloud.getStreamPosition(musicHandle)); }

void buildFrameAt(int32_t tick, double musicTime) {
  updateSprites(tick);
  sceneTarget->bind();

  // All line geometry is rebuilt from nothing in every frame.
  lineBuffer->vertexCount = 0;
  lineBuffer->indexCount = 0;
  lineBuffer->dirty = 1;

  FrameClock clock = deriveClock(musicTime);
  runScript(clock, tick);
  renderPasses(tick);
}

void advanceUnseenFrame(int32_t tick, bool particles) {
  advanceSprites(tick, particles);
  emissionFlag = emissionAt(deriveClock(soloud.getStreamPosition(musicHandle)).t);
}
