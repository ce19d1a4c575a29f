// WELL512: the small deterministic generator behind every random choice of the show.
#pragma once
#include <cstdint>

// Sixteen words and a moving index. Every instance starts in seed-0 state (all words
// 0x7457EDB7, index 0), so the show is the same on every run without any seeding.
struct Well512 {
  uint32_t state[16] = {0x7457EDB7u, 0x7457EDB7u, 0x7457EDB7u, 0x7457EDB7u,
                        0x7457EDB7u, 0x7457EDB7u, 0x7457EDB7u, 0x7457EDB7u,
                        0x7457EDB7u, 0x7457EDB7u, 0x7457EDB7u, 0x7457EDB7u,
                        0x7457EDB7u, 0x7457EDB7u, 0x7457EDB7u, 0x7457EDB7u};
  uint32_t index = 0;

  // Word i = 0x7457EDB7 + s * (i + 1), wrapping; index 0. seed(0) is the initial state.
  void seed(uint32_t s);
  // One step of the recurrence; callers reduce the word themselves.
  uint32_t next();
};
