// PLACEHOLDER until the audio engine lands: silent, position 0.
#include "music/soloud.h"

SoLoud::Soloud soloud;
SoLoud::Wav musicWav;

namespace SoLoud {
void AudioSource::setLooping(bool) {}
void AudioSource::setLoopPoint(double) {}
result Wav::load(const char*) { return 0; }
result Soloud::init() { return 0; }
handle Soloud::play(AudioSource&, float, float, bool, unsigned int) { return 0; }
double Soloud::getStreamPosition(handle) { return 0.0; }
void Soloud::deinit() {}
}  // namespace SoLoud
