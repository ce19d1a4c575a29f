// The floor tendrils figure and the sprite fountain.
#pragma once
#include <cstdint>

// Twenty random-walk strands growing from the centre (odd four-second periods).
void drawTendrils(int32_t seed, int32_t now);
// Advances the particles in whole 8 ms steps and fills spriteBuffer's instance arrays.
void updateSprites(int32_t tick);
