// The score as the band reads it: each bar's chords and the tunes each melodic voice
// plays where (score.cpp holds the music itself, in chord symbols and note names).
#pragma once

#include <vector>

namespace soundtrack {

// A chord as its root's pitch class and its shape; voiced anew in each section, so the
// same chord comes back in another inversion.
struct Chord {
  int root;  // pitch class, C = 0
  int shape[4];
};

// Each bar's chord, and the one its second half turns to.
struct BarHarmony {
  Chord first, second;
};

// A note of a tune: when, in sixteenths from the tune's first downbeat, for how many
// sixteenths, and its MIDI pitch.
struct TuneNote {
  int at, length, midi;
};

enum Voice { HOOK_VOICE, LEAD_VOICE, COUNTER_VOICE, BELL_VOICE };

// A tune entering at a bar of the song, on one voice.
struct Cue {
  int bar;
  Voice voice;
  std::vector<TuneNote> notes;
  float level;
  float ring;  // bells: how long each note rings (decay time in seconds)
};

const BarHarmony& harmonyAt(int songBar);
const std::vector<Cue>& cues();

}  // namespace soundtrack
