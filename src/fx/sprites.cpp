// PLACEHOLDER until the sprite fountain lands: no live sprites.
#include "fx/figures.h"
#include "show/scene.h"

void updateSprites(int32_t tick) {
  (void)tick;
  spriteBuffer->instanceCount = 0;
  spriteBuffer->dirty = 1;
}
