// The show's music: the engine, the decoded piece and its voice, and the one way they are
// started and read as the show's clock.
#pragma once
#include "music/soloud.h"

struct Soundtrack {
  SoLoud::Soloud soloud;
  SoLoud::Wav musicWav;
  SoLoud::handle musicHandle = 0;
};

// After the engine's init (a device, or offline): loads "assets/zoov2020.ogg", loops it
// from 80 s and plays it from the start.
void startMusic(Soundtrack& music);
// The music time: the playing position of the music voice, in seconds (0 when the music
// could not be loaded or started).
double musicTime(Soundtrack& music);
