// The particle fountain: four jets on the ground plane, stepped at a fixed 8 ms under
// gravity, drag and damped bounces, handed to the GPU as per-instance data.
#include "fx/sprites.h"

#include <cmath>

namespace {

// A masked random word centred on zero, as a double.
double centred(uint32_t word) { return (double)((int32_t)(word & 1023u) - 512); }

// Each product in double on the widened float, rounded back at once.
float scaled(float value, double factor) { return (float)((double)value * factor); }

const float EMITTERS[4][3] = {{-80.0f, 0.0f, 0.0f}, {80.0f, 0.0f, 0.0f},
                              {-40.0f, 0.0f, -60.0f}, {40.0f, 0.0f, -60.0f}};

// Nine draws in a fixed order: the fountain's look depends on it.
Sprite drawSprite(Well512& spriteRng, float x, float y, float z, uint32_t& slot) {
  Sprite s;
  s.life = (int32_t)(spriteRng.next() % 1000u) + 100;
  s.vz = (float)(centred(spriteRng.next()) / 8000.0);
  uint32_t w3 = spriteRng.next();
  uint32_t w4 = spriteRng.next();
  s.vy = (float)(centred(w3) / 5120.0 + 0.8 + centred(w4) / 5120.0);
  s.vx = (float)(centred(spriteRng.next()) / 8000.0);
  s.z = (float)((double)z + centred(spriteRng.next()) / 10240.0);
  s.y = (float)((double)y + centred(spriteRng.next()) / 10240.0);
  s.x = (float)((double)x + centred(spriteRng.next()) / 10240.0);
  slot = spriteRng.next() % (uint32_t)SPRITE_SLOTS;
  return s;
}

// The fixed-step clock: how many whole steps the update at `tick` makes.
int32_t takeSteps(int32_t& lastTick, int32_t tick) {
  if (lastTick == -1) lastTick = tick;
  // Whole steps only; the remainder waits for the next frame.
  int32_t steps = (tick - lastTick) / SPRITE_STEP_MS;
  lastTick += steps * SPRITE_STEP_MS;
  return steps;
}

// Spawning comes before stepping.
void emit(Fountain& fountain, Well512& spriteRng, int emissionFlag, int32_t steps, bool keep) {
  if (!emissionFlag || steps <= 0) return;
  for (int32_t n = 0; n < steps; ++n) {
    for (const float* e : EMITTERS) {
      uint32_t slot;
      Sprite s = drawSprite(spriteRng, e[0], e[1], e[2], slot);
      if (keep) fountain.sprites[slot] = s;
    }
  }
}

void step(Sprite& s, int32_t steps) {
  for (int32_t n = 0; n < steps && s.life > 0; ++n) {
    s.x = s.x + s.vx;
    s.y = s.y + s.vy;
    s.z = s.z + s.vz;
    if (s.y < 0.0f) {
      // Off the ground: damped upward, shorter-lived, a little faster sideways.
      s.y = -s.y;
      s.vy = scaled(-s.vy, 0.75);
      s.life = (int32_t)std::floor((double)s.life * 0.9);
      s.vx = scaled(s.vx, 1.01);
      s.vz = scaled(s.vz, 1.01);
    }
    s.life = s.life - 1;
    s.vx = scaled(s.vx, 0.998);
    s.vy = scaled((float)((double)s.vy - 0.01), 0.998);
    s.vz = scaled(s.vz, 0.998);
  }
}

}  // namespace

void spawnSprite(Fountain& fountain, Well512& spriteRng, float x, float y, float z) {
  uint32_t slot;
  Sprite s = drawSprite(spriteRng, x, y, z, slot);
  fountain.sprites[slot] = s;
}

void updateSprites(Fountain& fountain, Well512& spriteRng, int emissionFlag, int32_t tick,
                   SpriteInstances& out) {
  int32_t steps = takeSteps(fountain.spriteLastTick, tick);
  emit(fountain, spriteRng, emissionFlag, steps, true);

  int count = 0;
  for (Sprite& s : fountain.sprites) {
    if (s.life <= 0) continue;
    // Drawn where it stood at the start of the frame; component 3 is left alone.
    out.scalar[count] = (float)s.life / 750.0f;
    out.vec4[4 * count + 0] = s.x;
    out.vec4[4 * count + 1] = s.y;
    out.vec4[4 * count + 2] = s.z;
    ++count;
    step(s, steps);
  }

  // With nothing alive the buffer is still drawn once, plainly, and that draw reads
  // instance 0: give it life 0 so a long-dead sprite does not linger as a dot.
  if (count == 0) out.scalar[0] = 0.0f;
  out.count = count;
}

void advanceSprites(Fountain& fountain, Well512& spriteRng, int emissionFlag, int32_t tick,
                    bool particles) {
  int32_t steps = takeSteps(fountain.spriteLastTick, tick);
  emit(fountain, spriteRng, emissionFlag, steps, particles);
  if (!particles) return;
  for (Sprite& s : fountain.sprites) {
    if (s.life > 0) step(s, steps);
  }
}
