// PLACEHOLDER until the tendrils figure lands: draws nothing.
#include "fx/figures.h"

void drawTendrils(int32_t seed, int32_t now) {
  (void)seed;
  (void)now;
}
