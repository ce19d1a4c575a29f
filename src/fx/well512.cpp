// The WELL512 recurrence in its compact 32-bit form.
#include "fx/well512.h"

void Well512::seed(uint32_t s) {
  for (uint32_t i = 0; i < 16; ++i) state[i] = 0x7457EDB7u + s * (i + 1u);
  index = 0;
}

uint32_t Well512::next() {
  uint32_t i = index;
  uint32_t a = state[i];
  uint32_t c = state[(i + 13u) & 15u];
  uint32_t b = a ^ c ^ (a << 16) ^ (c << 15);
  c = state[(i + 9u) & 15u];
  c ^= c >> 11;
  a = b ^ c;
  state[i] = a;
  // Masking before the shift: the top five mask bits fall off, leaving the usual tempering.
  uint32_t d = a ^ ((a & 0xFED22169u) << 5);
  uint32_t j = (i + 15u) & 15u;
  index = j;
  a = state[j];
  state[j] = a ^ b ^ d ^ (a << 2) ^ (b << 18) ^ (c << 28);
  return state[j];
}
