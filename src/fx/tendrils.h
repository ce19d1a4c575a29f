// The floor tendrils: twenty random-walk strands growing from the centre (odd four-second
// periods).
#pragma once
#include <cstdint>

#include "fx/lines.h"
#include "fx/well512.h"

enum : int {
  TENDRIL_STRANDS = 20,
  TENDRIL_SEGMENTS = 200,  // per strand
};

struct TendrilSegment {
  float x1, z1, x2, z2;
};

// The walk depends on its seed alone and a seed holds for a whole period, so the 4000
// segments and the generator's state after them are kept from the last seed drawn; each
// frame then only repaints them. What a draw appends and leaves in figureRng is the same
// as walking afresh.
struct TendrilShape {
  bool valid = false;
  int32_t seed = 0;
  TendrilSegment segment[TENDRIL_STRANDS * TENDRIL_SEGMENTS];
  Well512 rngAfter;
};

// The strands of `seed` (figureRng is reseeded with it), revealed and lit for tick `now`.
void drawTendrils(LineBatch& lines, Well512& figureRng, TendrilShape& shape, int32_t seed,
                  int32_t now);
