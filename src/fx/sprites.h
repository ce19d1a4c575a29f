// The sprite fountain: its particles, the fixed-step simulation, and the per-instance
// arrays it fills for drawing.
#pragma once
#include <cstdint>

#include "fx/well512.h"

// One particle. Velocities are in world units per 8 ms step; alive while life > 0.
struct Sprite {
  float x, y, z;
  float vx, vy, vz;
  int32_t life;  // remaining steps
};

enum : int { SPRITE_SLOTS = 10000 };
const int32_t SPRITE_STEP_MS = 8;
// The longest a particle lives, in steps (its life never grows after its spawn).
const int32_t SPRITE_MAX_LIFE_STEPS = 1099;

// The simulation's state: what frames carry into the next ones.
struct Fountain {
  // A new sprite goes into a random slot, replacing whatever is there.
  Sprite sprites[SPRITE_SLOTS] = {};
  // The tick time the simulation has reached; -1 before the first update.
  int32_t spriteLastTick = -1;
};

// Where the live particles go for drawing: the sprite buffer's per-instance arrays, and
// how many of them this frame filled.
struct SpriteInstances {
  float* vec4 = nullptr;    // 4 floats per instance: position, component 3 left alone
  float* scalar = nullptr;  // 1 float per instance: life / 750
  int count = 0;
};

// Writes one fresh sprite near the emitter point, drawing nine words from spriteRng.
void spawnSprite(Fountain& fountain, Well512& spriteRng, float x, float y, float z);

// Advances the particles in whole 8 ms steps up to `tick`, spawning while `emissionFlag`
// is set, and writes the live ones into `out`.
void updateSprites(Fountain& fountain, Well512& spriteRng, int emissionFlag, int32_t tick,
                   SpriteInstances& out);

// updateSprites without the drawing: the clock, the spawns and, with `particles`, their
// motion; nothing is written for drawing. Without `particles` only the clock and spriteRng
// move on and the particles are left alone: a run may do that for the frames that come
// longer than a particle's life before the first one it draws, as long as no particle is
// alive meanwhile (none is before the first spawn).
void advanceSprites(Fountain& fountain, Well512& spriteRng, int emissionFlag, int32_t tick,
                    bool particles);
