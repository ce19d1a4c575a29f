// The sprite fountain's records and simulation state, shared with its tests and benchmarks.
#pragma once
#include <cstdint>

#include "fx/figures.h"

// One particle. Velocities are in world units per 8 ms step; alive while life > 0.
struct Sprite {
  float x, y, z;
  float vx, vy, vz;
  int32_t life;  // remaining steps
};

enum : int { SPRITE_SLOTS = 10000 };
const int32_t SPRITE_STEP_MS = 8;

// A new sprite goes into a random slot, replacing whatever is there.
extern Sprite sprites[SPRITE_SLOTS];
// The tick time the simulation has reached; -1 before the first update.
extern int32_t spriteLastTick;

// Writes one fresh sprite near the emitter point, drawing nine words from spriteRng.
void spawnSprite(float x, float y, float z);

// The longest a particle lives, in steps (its life never grows after its spawn).
const int32_t SPRITE_MAX_LIFE_STEPS = 1099;

// updateSprites without the drawing: the clock, the spawns and, with `particles`, their
// motion; the instance arrays are left alone. Without `particles` only the clock and
// spriteRng move on and nothing is written: a run may do that for the frames that come
// longer than a particle's life before the first one it draws, as long as no particle
// is alive meanwhile (none is before the first spawn).
void advanceSprites(int32_t tick, bool particles);
