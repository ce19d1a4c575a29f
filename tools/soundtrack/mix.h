// The band's parts and the bus they play into: a dry bus, two effect sends and the kick's
// ducking curve; the fader that rides each section; and the log of every pitched note,
// which `make_soundtrack --score` prints.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "timing.h"

namespace soundtrack {

enum Part {
  KICK,
  SNARE,
  CLAP,
  HATS,
  CYMBALS,
  TOMS,
  EFFECTS,
  BASS,
  PAD,
  STAB,
  ARP,
  LEAD,
  HOOK,
  COUNTER,
  BELLS,
  PART_COUNT
};
extern const char* const PART_NAMES[PART_COUNT];
// The parts that carry a tune: the hook, the lead, the counter-melody and the bells.
bool melodic(Part p);

struct Stereo {
  std::vector<float> l, r;
  void init(size_t n) {
    l.assign(n, 0.0f);
    r.assign(n, 0.0f);
  }
};

struct Mix {
  Stereo dry, reverb, delay;
  std::vector<float> duck;  // 0..1: how far the kick pushes the other parts down
  int solo = -1;            // the one part that sounds, -1 for the whole band
  bool audible = true;      // false: the notes are only logged, nothing is rendered
  float sectionGain = 1.0f;  // the fader of the bar being played
  float highestBell = 0.0f;  // the bell most at risk of folding partials back
};
extern Mix mix;

// Whether a part stays silent: another part plays solo, or nothing is rendered.
bool muted(Part p);

// Where one part sits in the mix.
struct Strip {
  float gain;
  float pan;  // -1 left .. 1 right
  float reverb;
  float delay;
  float duck;
};

// The strip turned into per-channel gains once per note, not once per sample.
struct Placed {
  float gainLeft, gainRight, reverb, delay, duck;
};

Placed place(const Strip& s);
void put(const Placed& s, size_t i, float left, float right);

// One pitched note as the score lists it: onset in seconds of the song, MIDI pitch, how
// long it is held (a bell's decay time) and its velocity.
struct ScoreNote {
  double seconds;
  Part part;
  float midi;
  double length;
  float velocity;
};
// Notes of the first pass (the song's first 120 s) are kept here as they are played.
extern std::vector<ScoreNote> scoreNotes;
void logNote(Part p, double renderTime, float midi, double length, float velocity);
// The score as text: `SECONDS PART MIDI LENGTH VELOCITY` a line, in time order.
bool writeScore(const std::string& path);

}  // namespace soundtrack
