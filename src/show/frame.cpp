// The frame's road: sprites, the script on the music clock, the passes.
#include "show/clock.h"
#include "show/pipeline.h"
#include "show/script.h"
#include "show/show.h"

void buildFrameGeometry(Show& show, const FrameInput& input) {
  // The emission flag is still last frame's: the script below sets this frame's.
  updateSprites(show.fountain, show.spriteRng, show.emissionFlag, input.tick,
                show.spriteInstances);

  // All line geometry is rebuilt from nothing in every frame.
  show.lines.vertexCount = 0;
  show.lines.indexCount = 0;
  FrameClock clock = deriveClock(input.musicTime);
  show.emissionFlag = runScript(show, clock, input.tick);
}

void renderFramePasses(Show& show, const FrameInput& input) {
  show.spriteBuffer->instanceCount = show.spriteInstances.count;
  show.spriteBuffer->dirty = 1;
  show.lineBuffer->vertexCount = show.lines.vertexCount;
  show.lineBuffer->indexCount = show.lines.indexCount;
  show.lineBuffer->dirty = 1;

  renderScenePasses(show, input.tick);
  renderPostPasses(show, input.tick);
}

void drawFrame(Show& show, const FrameInput& input) {
  buildFrameGeometry(show, input);
  renderFramePasses(show, input);
}

void advanceUnseenFrame(Show& show, int32_t tick, double musicTime, bool particles) {
  advanceSprites(show.fountain, show.spriteRng, show.emissionFlag, tick, particles);
  show.emissionFlag = emissionAt(deriveClock(musicTime).t);
}
