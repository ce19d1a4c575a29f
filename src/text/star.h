// The pulsing jagged 17-point star figure.
#pragma once
#include <cstdint>

void drawJaggedStar(int32_t seed, int32_t timeMs);
