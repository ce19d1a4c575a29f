// The band's instruments: each call plays one note (or one chord) into the mix, at a
// time in seconds of the render, with its own seeded noise.
#pragma once

#include <cstdint>
#include <vector>

#include "dsp.h"
#include "mix.h"

namespace soundtrack {

// Drums and effects (unpitched: they stay out of the printed score).
void kick(double t0, float vel);
void snare(double t0, float vel, float room);
void clap(double t0, float vel);
void hat(double t0, float vel, bool open, float pan);
void crash(double t0, float vel);
void tom(double t0, float midi, float vel, float pan);
void riser(double t0, double duration, float vel);
void swell(double t0, double duration, float vel);
void boom(double t0, float vel);

// Pitched voices.
void bass(double t0, float midi, double gate, float vel, float cutoff, float bite);
// Seven detuned saws per note; a gate pattern (one bit per sixteenth, counted from
// `gateZero`) chops it into a rhythm when asked. The pad and the stabs play it.
void supersaw(double t0, const int* notes, int count, double gate, const Adsr& env,
              const Placed& strip, float cutoffStart, float cutoffEnd, float cutoffDecay,
              uint64_t seed, unsigned gatePattern = 0, double gateZero = 0.0);
void stab(double t0, const int* notes, double gate, float vel, uint64_t seed);
void arp(double t0, float midi, double gate, float vel, float cutoff, float pan);
void lead(double t0, float midi, double gate, float vel, float fromMidi, float gain);
void hook(double t0, float midi, double gate, float vel, float fromMidi);
void pluck(double t0, float midi, double gate, float vel, float pan);
void bell(double t0, float midi, float vel, float pan, float decay);

// The bell's tone alone, dry: its FM ratio, and one note of it for the alias probe.
constexpr float BELL_RATIO = 3.5f;
void bellTone(float midi, float decay, std::vector<float>& out);

}  // namespace soundtrack
