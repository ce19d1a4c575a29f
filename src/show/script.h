// The show script: the slot's texts, the write-on reveal, the emission flag, the figure.
#pragma once
#include <cstdint>

#include "show/clock.h"
#include "show/show.h"

// The emission flag for music time `t`: 1 while it is in [80, 88) s.
int emissionAt(float t);

enum class LineFigure { None, Tendrils, Star };

struct FigureChoice {
  LineFigure figure;
  int32_t seed;  // (tick / 4000) / 2: one shape per eight seconds
};

// The line figure of this frame: tendrils in odd four-second tick periods, the star in even
// ones once the music has passed 16 s, nothing while the fountain emits.
FigureChoice chooseFigure(float t, int32_t tick);

// Appends this frame's texts and figure to show.lines (which the frame emptied) and
// returns the emission flag for this frame's music time.
int runScript(Show& show, const FrameClock& clock, int32_t tick);
