// A second, independent WELL512a for the tests: written the way the generator is usually
// published (tempering mask applied after the shift, 0xDA442D24) and seeded with 64-bit
// arithmetic reduced by hand, so it shares no code and no shortcut with fx/well512, which
// it only reads to compare states.
#pragma once
#include <cstdint>

#include "fx/well512.h"

namespace test {

struct RefWell {
  uint32_t s[16];
  unsigned idx = 0;

  explicit RefWell(int64_t seedValue = 0) { reseed(seedValue); }

  void reseed(int64_t seedValue) {
    for (int i = 0; i < 16; ++i) {
      uint64_t word = 0x7457EDB7ull + (uint64_t)seedValue * (uint64_t)(i + 1);
      s[i] = (uint32_t)(word % 4294967296ull);
    }
    idx = 0;
  }

  uint32_t gen() {
    uint32_t a, b, c, d;
    a = s[idx];
    c = s[(idx + 13) & 15];
    b = a ^ c ^ (a << 16) ^ (c << 15);
    c = s[(idx + 9) & 15];
    c ^= (c >> 11);
    a = s[idx] = b ^ c;
    d = a ^ ((a << 5) & 0xDA442D24u);
    idx = (idx + 15) & 15;
    a = s[idx];
    s[idx] = a ^ b ^ d ^ (a << 2) ^ (b << 18) ^ (c << 28);
    return s[idx];
  }

  void skip(int n) {
    for (int i = 0; i < n; ++i) gen();
  }

  // The masked low ten bits centred on zero, the way every caller reduces a word.
  static int centred(uint32_t w) { return (int)(w & 1023u) - 512; }
};

// Whether the show's generator stands exactly where the reference does.
inline bool sameState(const Well512& w, const RefWell& r) {
  for (int i = 0; i < 16; ++i)
    if (w.state[i] != r.s[i]) return false;
  return w.index == r.idx;
}

}  // namespace test
