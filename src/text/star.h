// The pulsing jagged 17-point star figure.
#pragma once
#include <cstdint>

#include "fx/lines.h"
#include "fx/well512.h"

// One step of a jagged line that is drawn (not a gap): where it runs, its envelope and hue.
struct StarStep {
  float x1, z1, x2, z2;
  float envelope;
  int hue;
};

enum : int {
  STAR_LINES = 17,
  STAR_MAX_STEPS = 200,  // per jagged line
};

// The star's walk depends on its seed alone, and a seed holds for eight seconds: the drawn
// steps and the generator's state after them are kept from the last seed, and each frame
// only repaints them with its pulse. What a draw appends and leaves in starRng is the same
// as walking afresh.
struct StarShape {
  bool valid = false;
  int32_t seed = 0;
  int count = 0;
  StarStep step[STAR_LINES * STAR_MAX_STEPS];
  Well512 rngAfter;
};

// The star polygon through 17 points on the circle of radius 120, its shape fixed by seed
// (starRng is reseeded with it), its pulse by timeMs; appends its segments to `lines`.
void drawJaggedStar(LineBatch& lines, Well512& starRng, StarShape& shape, int32_t seed,
                    int32_t timeMs);
// One meandering line from (x1, z1) to (x2, z2) at pulse brightness k, drawing from starRng.
void drawJaggedLine(LineBatch& lines, Well512& starRng, float x1, float z1, float x2, float z2,
                    float k);
