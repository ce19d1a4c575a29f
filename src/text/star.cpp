// PLACEHOLDER until the star figure lands: draws nothing.
#include "text/star.h"

void drawJaggedStar(int32_t seed, int32_t timeMs) {
  (void)seed;
  (void)timeMs;
}
