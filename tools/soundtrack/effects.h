// The effect returns: a plate reverb and a ping-pong echo on the dotted eighth, each run
// over the whole render so the loop's second pass meets them in their running state.
#pragma once

#include "mix.h"

namespace soundtrack {

// Dattorro's plate: input diffusion into a figure-eight tank, tapped for a wide stereo field.
void plateReverb(const Stereo& in, Stereo& out, float decay, float damping, float wet);
// Ping-pong echo on the dotted eighth, darkened and thinned on every repeat; a share of it
// goes on to the reverb.
void pingPong(const Stereo& in, Stereo& out, Stereo& reverbSend, float feedback, float wet);

}  // namespace soundtrack
