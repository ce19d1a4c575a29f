// The soundtrack's clock: the grid of bars and sixteenths, how the render is laid out
// (the song, then its loop once more), seeded randomness and a player's feel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace soundtrack {

constexpr int RATE = 44100;
constexpr double PI = 3.14159265358979323846;
constexpr double BPM = 96.0;
constexpr double BEAT = 60.0 / BPM;  // 0.625 s
constexpr double BAR = 4.0 * BEAT;   // 2.5 s
constexpr double STEP = BEAT / 4.0;  // a sixteenth
constexpr int SONG_BARS = 48;        // 120 s
constexpr int LOOP_BAR = 32;         // 80 s
constexpr int LOOP_BARS = SONG_BARS - LOOP_BAR;
constexpr int RENDER_BARS = SONG_BARS + LOOP_BARS + 2;  // song, loop again, run-out
constexpr size_t SONG_FRAMES = (size_t)(SONG_BARS * BAR * RATE + 0.5);
constexpr size_t LOOP_START = (size_t)(LOOP_BAR * BAR * RATE + 0.5);
constexpr size_t LOOP_FRAMES = SONG_FRAMES - LOOP_START;
constexpr size_t RENDER_FRAMES = (size_t)(RENDER_BARS * BAR * RATE + 0.5);

// The drop's downbeat lands a hair after 80 s, so the loop seam itself sits in the quiet
// breath before it and the codec's smearing of that big attack stays clear of the seam.
constexpr double DROP_LATE = 0.015;

// The bar of the song that a rendered bar plays: after the song, the loop repeats.
int songBar(int renderBar);
// When a note on the given sixteenth of a rendered bar starts.
double onset(int renderBar, double step);
size_t frameAt(double seconds);
float noteHz(float midi);

// Every noise and every humanised value comes from a seeded generator, so a note sounds
// the same each time it is rendered, in the first pass and in the loop.
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed);
  uint64_t next();
  float bipolar() { return (float)((double)(next() >> 11) * (2.0 / 9007199254740992.0) - 1.0); }
  float unit() { return (float)((double)(next() >> 11) * (1.0 / 9007199254740992.0)); }
};

uint64_t seedOf(int a, int b, int c);
// The bar whose randomness a song bar uses: the build before the loop's end is the very
// same take as the build before 80 s, so the seam hears the same noise both times.
int seedBar(int songBar);
// A note's seed comes from where it sits in the song, not in the render, so every pass
// through the loop plays the same noise.
uint64_t noteSeed(int instrument, double renderTime, int extra);

// Feel: swing on the sixteenths, a few milliseconds of looseness and uneven velocity, as a
// player would have them. The kick alone stays on the grid: it is the clock.
constexpr double SWING = 0.56;  // the first sixteenth of each eighth takes 56 % of it

// When a note played on the given sixteenth sounds. `part` seeds its own looseness.
double feel(int part, int renderBar, double step, bool swing, float looseMs);
// A velocity near `vel`, different for each note but the same on every pass.
float vary(int part, int renderBar, double step, float vel, float amount);

}  // namespace soundtrack
