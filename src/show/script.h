// The show script: the slot's texts, the write-on reveal, the emission flag, the figure.
#pragma once
#include <cstdint>

#include "show/clock.h"

// 1 while the music time is in [80, 88) s; read by the sprites in the next frame.
extern int emissionFlag;

// Appends this frame's texts and figure to lineBuffer (which the frame emptied).
void runScript(const FrameClock& clock, int32_t tick);
