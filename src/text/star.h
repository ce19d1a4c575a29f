// The pulsing jagged 17-point star figure.
#pragma once
#include <cstdint>

// The star polygon through 17 points on the circle of radius 120, its shape fixed by seed,
// its pulse by timeMs; appends its segments to lineBuffer.
void drawJaggedStar(int32_t seed, int32_t timeMs);
// One meandering line from (x1, z1) to (x2, z2) at pulse brightness k, drawing from starRng.
void drawJaggedLine(float x1, float z1, float x2, float z2, float k);
