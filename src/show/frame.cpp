// The frame's road: sprites, the script on the music clock, the passes.
#include "show/clock.h"
#include "show/pipeline.h"
#include "show/script.h"
#include "show/show.h"

void drawFrame(Show& show, const FrameInput& input) {
  // The emission flag is still last frame's: the script below sets this frame's.
  int count = updateSprites(show.fountain, show.spriteRng, show.emissionFlag, input.tick,
                            show.spriteInstances);
  show.spriteBuffer->instanceCount = count;
  show.spriteBuffer->dirty = 1;

  // All line geometry is rebuilt from nothing in every frame.
  show.lines.vertexCount = 0;
  show.lines.indexCount = 0;
  FrameClock clock = deriveClock(input.musicTime);
  show.emissionFlag = runScript(show, clock, input.tick);
  show.lineBuffer->vertexCount = show.lines.vertexCount;
  show.lineBuffer->indexCount = show.lines.indexCount;
  show.lineBuffer->dirty = 1;

  renderScenePasses(show, input.tick, input.windowWidth, input.windowHeight);
  renderPostPasses(show, input.tick);
}

void advanceUnseenFrame(Show& show, int32_t tick, double musicTime, bool particles) {
  advanceSprites(show.fountain, show.spriteRng, show.emissionFlag, tick, particles);
  show.emissionFlag = emissionAt(deriveClock(musicTime).t);
}
