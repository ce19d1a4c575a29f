// The band: how each part plays the score (score.cpp) bar by bar. The drums, the bass,
// the pad, the stabs and the arpeggio follow the chords and the form; the melodic voices
// play their cues. Everything a rendered bar plays depends only on the song bar it stands
// for, so each pass through the loop is the same take.
#include "band.h"

#include <algorithm>
#include <cmath>

#include "instruments.h"
#include "mix.h"
#include "score.h"
#include "timing.h"

namespace soundtrack {

namespace {

const Chord& chordAt(int sb, int step) {
  return step < 8 ? harmonyAt(sb).first : harmonyAt(sb).second;
}

// The chord's tones from `low` upwards: moving `low` turns root position into inversions.
void voice(const Chord& c, int low, int* out) {
  for (int k = 0; k < 4; ++k) {
    int pc = (c.root + c.shape[k]) % 12;
    int midi = low + ((pc - low) % 12 + 12) % 12;
    if (c.shape[k] >= 12) midi += 12;
    out[k] = midi;
  }
  std::sort(out, out + 4);
  for (int k = 1; k < 4; ++k) {
    if (out[k] <= out[k - 1]) out[k] += 12;
  }
}

// The bass's root: E1 to D#2.
int bassRoot(const Chord& c) { return 28 + ((c.root - 4) % 12 + 12) % 12; }

// A note leading into `to` from `from`: a scale step when the leap is wide, else a semitone.
int approach(int from, int to) {
  if (to == from) return to + 7;
  if (to > from) return to - (to - from >= 3 ? 2 : 1);
  return to + (from - to >= 3 ? 2 : 1);
}

bool isBuildBar(int sb) { return sb == 31 || sb == 47; }
bool isBreakdown(int sb) { return sb >= 28 && sb <= 30; }
bool isMusicBy(int sb) { return sb >= 24 && sb <= 27; }  // the half-time moment at 60 s

// Steps of the bar (sixteenths) on which the kick falls.
int kickPattern(int sb, int* steps) {
  int slot = sb / 4;
  int n = 0;
  if (slot == 0 || isBreakdown(sb) || isBuildBar(sb)) return 0;
  if (sb == 4 || sb == 5) {
    steps[n++] = 0;
    steps[n++] = 8;
    return n;
  }
  if (isMusicBy(sb)) {  // half time: one, the and of two, and a push
    steps[n++] = 0;
    steps[n++] = 10;
    if (sb % 2 == 1) steps[n++] = 14;
    return n;
  }
  for (int s = 0; s < 16; s += 4) steps[n++] = s;
  // A push into the next phrase.
  if (sb % 4 == 3 && slot >= 3 && slot != 8) steps[n++] = 14;
  return n;
}

float kickLevel(int sb) {
  if (sb < 8) return 0.7f;
  return 1.0f;
}

}  // namespace

void composeDucking() {
  mix.duck.assign(RENDER_FRAMES, 0.0f);
  for (int rb = 0; rb < RENDER_BARS; ++rb) {
    int sb = songBar(rb);
    int steps[8];
    int n = kickPattern(sb, steps);
    for (int k = 0; k < n; ++k) {
      size_t i0 = frameAt(onset(rb, steps[k]));
      size_t len = frameAt(0.3);
      for (size_t j = 0; j < len && i0 + j < RENDER_FRAMES; ++j) {
        float t = (float)j / RATE;
        float shape = t < 0.004f ? t / 0.004f : std::exp(-(t - 0.004f) / 0.07f);
        shape *= kickLevel(sb);
        mix.duck[i0 + j] = std::max(mix.duck[i0 + j], shape);
      }
    }
  }
}

namespace {

// The pad's colour in each stretch of the piece. A pad note is held for as long as its
// voice keeps its pitch within one stretch, so the bed never re-attacks on a bar line.
struct PadSection {
  int id;
  int low;  // lowest note of the voicing
  float cutoff, brighten, vel;
  unsigned gate;  // sixteenth gate pattern, 0 for none
};

PadSection padSection(int sb) {
  int slot = sb / 4;
  if (isBuildBar(sb)) return {100, 57, 1400.0f, 5.0f, 0.9f, 0};
  if (isBreakdown(sb)) return {101, 57, 1500.0f, 1.6f, 1.0f, 0};
  switch (slot) {
    case 0:
      return {0, 57, 700.0f, 4.0f, 0.9f, 0};
    case 1:
      return {1, 55, 2400.0f, 1.2f, 0.9f, 0};
    case 2:
      return {2, 57, 3200.0f, 1.0f, 0.9f, 0};
    case 3:
    case 4:
      return {3 + (sb % 8 >= 4 ? 1 : 0), slot == 3 ? 52 : 59, 3600.0f, 1.0f, 0.85f, 0};
    case 5:
      return {5, 55, 3800.0f, 1.0f, 0.85f, 0};
    case 6:
      return {6, 60, 2200.0f, 2.6f, 1.25f, 0xB6B5u};  // the "Music by:" gate
    case 8:
      return {8, 60, 4500.0f, 1.0f, 0.45f, 0};
    case 9:
    case 10:
      return {slot, slot == 9 ? 57 : 60, 4800.0f, 1.0f, 0.85f, 0};
    default:
      return {11, 57, 3800.0f, 1.0f, 0.85f, 0};
  }
}

// The pad voice k of render bar rb's half h (0 or 1): its pitch in that stretch.
int padPitch(int rb, int h, int k) {
  int sb = songBar(rb);
  int v[4];
  voice(chordAt(sb, h * 8), padSection(sb).low, v);
  return v[k];
}

void composePads(int rb) {
  const int sb = songBar(rb);
  const PadSection sec = padSection(sb);
  for (int h = 0; h < 2; ++h) {
    for (int k = 0; k < 4; ++k) {
      int pitch = padPitch(rb, h, k);
      // Tied over from the half bar before?
      int prb = h == 0 ? rb - 1 : rb, ph = h == 0 ? 1 : 0;
      if (prb >= 0 && padSection(songBar(prb)).id == sec.id && padPitch(prb, ph, k) == pitch)
        continue;
      // Held until the voice moves or the stretch ends.
      int halves = 1;
      for (int nrb = rb, nh = h;;) {
        if (++nh == 2) {
          nh = 0;
          ++nrb;
        }
        if (nrb >= RENDER_BARS || padSection(songBar(nrb)).id != sec.id ||
            padPitch(nrb, nh, k) != pitch)
          break;
        ++halves;
      }
      double start = rb * BAR + h * 0.5 * BAR;
      double gate = halves * 0.5 * BAR;
      // The last eighth before the drop is a breath.
      if (isBuildBar(sb)) gate -= 2.0 * STEP;
      logNote(PAD, start, (float)pitch, gate, sec.vel);
      if (muted(PAD)) continue;
      const Placed strip = place(Strip{0.20f * sec.vel, 0.0f, 0.30f, 0.05f, 0.15f});
      const Adsr env{0.2f, 1.5f, 0.9f, 0.45f};
      int note[1] = {pitch};
      supersaw(start, note, 1, gate, env, strip, sec.cutoff, sec.cutoff * sec.brighten,
               (float)gate * 0.6f, seedOf(30, seedBar(sb) * 2 + h, k), sec.gate,
               std::floor(start / BAR) * BAR);
    }
  }
}

// Arpeggio shapes over five chord tones (-1 rests); a new one every two to four bars.
const int ARP_SHAPES[6][16] = {
    {0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3, 4, 3, 2, 1},       // up and down
    {0, 2, 4, 2, 1, 3, 4, 3, 0, 2, 4, 2, 1, 3, 4, 1},       // leaps
    {0, -1, 2, 4, -1, 3, 1, -1, 2, 4, -1, 3, 0, -1, 4, 2},  // syncopated
    {4, 3, 2, 1, 3, 2, 1, 0, 4, 2, 3, 1, 2, 0, 1, 3},       // falling
    {0, 0, 2, -1, 1, 1, 3, -1, 2, 2, 4, -1, 3, 3, 4, 1},    // gallop
    {0, 4, 1, 4, 2, 4, 3, 4, 0, 4, 1, 4, 2, 4, 3, 4},       // pedal on top
};

int arpShape(int sb) {
  const int bySlot[12][4] = {
      {0, 0, 0, 0}, {0, 0, 1, 1}, {0, 0, 1, 2}, {2, 2, 3, 1}, {4, 4, 5, 1}, {0, 0, 3, 2},
      {5, 5, 5, 2}, {0, 0, 0, 0}, {1, 1, 1, 4}, {3, 3, 0, 2}, {5, 5, 1, 4}, {1, 1, 4, 0},
  };
  return bySlot[sb / 4][sb % 4];
}

// One bar of a cue, on its voice. The hook and the lead glide only into a leap from a
// note they touch; the counter-melody swings; the bells ring for the cue's time.
void playCue(const Cue& cue, int sb, int rb) {
  const int from = (sb - cue.bar) * 16;
  if (from < 0) return;
  for (size_t k = 0; k < cue.notes.size(); ++k) {
    const TuneNote& note = cue.notes[k];
    if (note.at < from || note.at >= from + 16) continue;
    const int step = note.at - from;
    float glideFrom = 0.0f;
    if (k > 0) {
      const TuneNote& prev = cue.notes[k - 1];
      if (prev.at + prev.length == note.at && std::abs(note.midi - prev.midi) >= 5)
        glideFrom = (float)prev.midi;
    }
    const float accent = step % 4 == 0 ? 1.0f : 0.88f;
    switch (cue.voice) {
      case HOOK_VOICE:
        hook(feel(10, rb, step, false, 3.0f), (float)note.midi, note.length * STEP * 0.9,
             vary(10, rb, step, cue.level * accent, 0.06f), glideFrom);
        break;
      case LEAD_VOICE:
        lead(feel(10, rb, step, false, 3.0f), (float)note.midi, note.length * STEP * 0.92,
             vary(10, rb, step, accent, 0.06f), glideFrom, cue.level);
        break;
      case COUNTER_VOICE:
        pluck(feel(11, rb, step, true, 3.5f), (float)note.midi, note.length * STEP * 0.8,
              vary(11, rb, step, cue.level * (step % 4 == 0 ? 1.0f : 0.8f), 0.2f), -0.3f);
        break;
      case BELL_VOICE:
        bell(feel(14, rb, step, false, 3.0f), (float)note.midi,
             vary(14, rb, step, cue.level, 0.1f), 0.5f * std::sin(0.9f * (float)k), cue.ring);
        break;
    }
  }
}

}  // namespace

void composeBar(int rb) {
  const int sb = songBar(rb);
  const int slot = sb / 4;
  const int inSlot = sb % 4;
  const double t0 = rb * BAR;
  const bool build = isBuildBar(sb);
  const bool breakdown = isBreakdown(sb);
  const bool musicBy = isMusicBy(sb);
  const bool drop = slot == 8;
  const bool climax = slot == 9 || slot == 10;
  const bool groove = !breakdown && !build && slot >= 2;
  // Section levels in dB: a soft start that grows through the credits, a breakdown that
  // falls away before the build, everything from the drop on at full level.
  const float levels[12] = {-5.0f, -4.0f, -3.5f, -3.0f, -3.0f, -2.5f,
                            -2.5f, -4.0f, 0.0f,  0.0f,  0.0f,  -1.5f};
  float level = levels[slot];
  if (build) level = -1.0f;
  mix.sectionGain = std::pow(10.0f, level / 20.0f);

  // The last eighth before the drop is a breath: only tails sound in it.
  const int lastStep = build ? 14 : 16;

  // Drums.
  int steps[8];
  int kicks = kickPattern(sb, steps);
  for (int k = 0; k < kicks; ++k)
    kick(onset(rb, steps[k]), kickLevel(sb) * (steps[k] == 14 ? 0.8f : 1.0f));

  if (build) {
    // Snare roll: sixteenths, then thirty-seconds in the last beat.
    for (int k = 0; k < lastStep; ++k) {
      // A crescendo out of the breakdown's quiet.
      float at = (float)k / 16.0f;
      float vel = 0.12f + 0.85f * at * at;
      snare(feel(2, rb, k, false, 2.0f), vel, 0.3f);
      if (k >= 8) snare(feel(2, rb, k + 0.5, false, 2.0f), vel * 0.85f, 0.3f);
    }
  } else if (groove && (slot >= 3 || inSlot >= 2)) {
    float vel = slot == 2 ? 0.8f : 1.0f;
    if (musicBy) {
      clap(feel(3, rb, 8, false, 4.0f), vary(3, rb, 8, 1.0f, 0.08f));
    } else if (!(slot == 11 && inSlot == 1)) {
      clap(feel(3, rb, 4, false, 4.0f), vary(3, rb, 4, vel, 0.08f));
      clap(feel(3, rb, 12, false, 4.0f), vary(3, rb, 12, vel, 0.08f));
    }
    if (drop || climax) {
      snare(feel(2, rb, 4, false, 3.0f), 0.45f, 0.2f);
      snare(feel(2, rb, 12, false, 3.0f), 0.45f, 0.2f);
    }
    // Ghost hits that change with the phrase.
    if (inSlot == 1 && slot >= 3) clap(feel(3, rb, 15, true, 3.0f), 0.35f);
    if (inSlot == 2 && slot >= 4 && !musicBy) snare(feel(2, rb, 7, true, 3.0f), 0.25f, 0.15f);
  }

  // Fills at the ends of phrases, each a little different.
  if (groove && inSlot == 3) {
    switch (slot) {
      case 2:
      case 5:
        for (int s = 12; s < 16; ++s)
          snare(feel(2, rb, s, true, 3.0f), 0.35f + 0.1f * (s - 12), 0.25f);
        break;
      case 3:
      case 8:
      case 10: {
        const int fill[6] = {8, 10, 11, 12, 14, 15};
        const float pitch[6] = {52.0f, 50.0f, 50.0f, 47.0f, 45.0f, 43.0f};
        for (int k = 0; k < 6; ++k)
          tom(feel(6, rb, fill[k], true, 3.0f), pitch[k], vary(6, rb, fill[k], 0.8f, 0.1f),
              0.4f - 0.16f * k);
        break;
      }
      case 4:
      case 9: {
        const int fill[5] = {10, 12, 13, 14, 15};
        const float pitch[5] = {45.0f, 50.0f, 47.0f, 52.0f, 55.0f};
        for (int k = 0; k < 5; ++k)
          tom(feel(6, rb, fill[k], true, 3.0f), pitch[k], vary(6, rb, fill[k], 0.75f, 0.1f),
              -0.4f + 0.2f * k);
        break;
      }
      case 6:
        for (int s = 8; s < 16; ++s) clap(feel(3, rb, s, true, 2.0f), 0.3f + 0.08f * (s - 8));
        break;
      default:
        break;
    }
  }

  // Hats: swung sixteenths, accented on the off-beats, with open hats in the full groove.
  if (slot >= 1 && !breakdown && !(slot == 1 && inSlot < 2)) {
    for (int s = 0; s < lastStep; ++s) {
      bool offbeat = s % 4 == 2;
      double t = feel(4, rb, s, true, 5.0f);
      float h = vary(4, rb, s, 1.0f, 0.15f);
      float pan = s % 2 == 0 ? 0.2f : 0.3f;
      if (slot == 1) {
        if (s % 2 == 0) hat(t, (offbeat ? 0.8f : 0.45f) * h, false, pan);
      } else if (build) {
        float rise = (float)s / 15.0f;
        hat(t, (0.2f + 0.8f * rise * rise) * (s % 2 == 0 ? 1.0f : 0.65f) * h, false, pan);
      } else if (slot == 2 || musicBy) {
        if (offbeat) {
          hat(t, 0.9f * h, musicBy && s == 14, pan);
        } else {
          hat(t, (s % 2 == 0 ? 0.5f : 0.35f) * h, false, pan);
        }
      } else {
        if (offbeat) {
          hat(t, (drop || climax ? 0.95f : 0.85f) * h, true, -0.25f);
        } else {
          hat(t, (s % 4 == 0 ? 0.65f : 0.5f) * h, false, pan);
        }
      }
    }
  }

  // Cymbals and effects at the seams of the form.
  if (sb == 4) crash(t0, 0.3f);
  if (sb == 8 || sb == 24) crash(t0, 0.6f);
  if (sb == 12 || sb == 16 || sb == 20 || sb == 36 || sb == 40 || sb == 44) crash(t0, 1.0f);
  if (sb == 28) crash(t0, 0.5f);
  if (sb == LOOP_BAR) {
    crash(onset(rb, 0), 1.1f);
    boom(onset(rb, 0), 1.0f);
  }
  if (sb == 3) swell(t0 + 0.5 * BAR, 0.5 * BAR, 0.8f);
  if (sb == 11 || sb == 23) swell(t0 + 0.5 * BAR, 0.5 * BAR, 0.7f);
  if (sb == 15 || sb == 27) swell(t0, BAR, 0.9f);
  if (build) {
    riser(t0, BAR - 2.0 * STEP, 1.0f);
    swell(t0 + 0.25 * BAR, 0.75 * BAR - 2.0 * STEP, 1.0f);
  }

  // Bass.
  if (slot >= 1 && !breakdown && !(slot == 1 && inSlot < 2)) {
    const int root = bassRoot(harmonyAt(sb).first);
    const int root2 = bassRoot(harmonyAt(sb).second);
    const int next = bassRoot(harmonyAt(songBar(rb + 1 < RENDER_BARS ? rb + 1 : rb)).first);
    auto play = [&](double step, int midi, double len, float vel, float cutoff, float bite) {
      bass(feel(9, rb, step, true, 2.5f), (float)midi, len * STEP, vary(9, rb, step, vel, 0.08f),
           cutoff, bite);
    };
    auto rootAt = [&](int s) { return s < 8 ? root : root2; };
    if (slot == 1) {
      play(0, root, 7.0, 0.8f, 500.0f, 1.0f);
      play(8, root, 7.0, 0.75f, 500.0f, 1.0f);
    } else if (build) {
      for (int s = 0; s < lastStep; s += 2)
        play(s, rootAt(s), 1.6, 0.85f, 500.0f + 60.0f * s, 2.5f);
    } else if (musicBy) {
      // Long notes that slide into the half-time beat.
      play(0, root, 7.0, 0.95f, 700.0f, 1.5f);
      play(10, rootAt(10) + 7, 3.0, 0.85f, 900.0f, 2.0f);
      play(14, inSlot == 3 ? approach(rootAt(14), next) : rootAt(14) + 12, 1.6, 0.85f, 900.0f,
           2.0f);
    } else if (slot == 2) {
      // Off-beat pumping: the bass answers every kick.
      for (int s = 2; s < 16; s += 4) {
        int midi = rootAt(s) + (inSlot == 3 && s == 14 ? 12 : 0);
        play(s, midi, 1.7, 0.9f, 650.0f, 2.0f);
      }
    } else if (drop || climax) {
      // Rolling sixteenths between the kicks, a passing note into the next bar.
      for (int s = 0; s < 16; ++s) {
        if (s % 4 == 0) continue;
        int midi = rootAt(s) + (s % 4 == 2 ? 12 : 0);
        if (s == 15 && next != rootAt(s)) midi = approach(rootAt(s), next);
        if (climax && s == 11 && inSlot % 2 == 1) midi = rootAt(s) + 7;
        play(s, midi, 0.8, s % 4 == 2 ? 0.95f : 0.8f, 900.0f, 2.5f);
      }
    } else {
      // Driving eighths with an octave pop, fifths and passing notes that change per bar.
      const int octave[4][8] = {
          {0, 0, 12, 0, 0, 0, 12, 0},
          {0, 0, 12, 0, 0, 7, 12, 0},
          {0, 12, 0, 12, 0, 0, 12, 7},
          {0, 0, 12, 0, 7, 0, 12, 0},
      };
      float cutoff = 700.0f + 50.0f * (float)(slot - 3);
      for (int k = 0; k < 8; ++k) {
        int s = 2 * k;
        int midi = rootAt(s) + octave[inSlot][k];
        if (k == 7 && next != rootAt(s)) midi = approach(rootAt(s), next);
        play(s, midi, 1.6, k % 2 == 0 ? 0.95f : 0.8f, cutoff, 2.2f);
      }
    }
  }

  // Pads: the harmonic bed.
  composePads(rb);

  // Stabs: off-beat chords that leave the hook's own beats free, voiced an octave and more
  // below it so the tune keeps its register to itself.
  if (drop || climax) {
    int v[4];
    const int hits[3] = {2, 7, 12};
    for (int k = 0; k < 3; ++k) {
      if (drop && k == 1) continue;
      voice(chordAt(sb, hits[k]), 55, v);
      stab(feel(12, rb, hits[k], true, 3.0f), v, 1.6 * STEP, vary(12, rb, hits[k], 0.8f, 0.1f),
           seedOf(31, seedBar(sb), k));
    }
  }

  // Arpeggio: chord tones in swung sixteenths, shaped anew every few bars.
  if (!(slot == 0 && inSlot < 2)) {
    const int* shape = ARP_SHAPES[arpShape(sb)];
    float cutoff = 3200.0f;
    float vel = 1.0f;
    int lift = 12;
    if (slot == 0) {
      cutoff = 900.0f + 600.0f * (inSlot - 2);
      vel = 0.5f + 0.2f * (inSlot - 2);
    } else if (slot == 1) {
      cutoff = 1500.0f + 400.0f * inSlot;
      vel = 0.8f;
    } else if (breakdown) {
      cutoff = 1300.0f + 500.0f * (sb - 28);
      vel = 0.55f;
    } else if (build) {
      cutoff = 4500.0f;
    } else if (drop) {
      cutoff = 4200.0f;
      vel = 0.55f;
      lift = 24;
    } else if (climax) {
      cutoff = 3800.0f;
      vel = 0.75f;
    } else if (musicBy) {
      cutoff = 2500.0f + 700.0f * inSlot;
      lift = 24;
      vel = 0.8f;
    }
    for (int s = 0; s < lastStep; ++s) {
      int tones[5];
      voice(chordAt(sb, s), 57, tones);
      tones[4] = tones[0] + 12;
      if (shape[s] < 0) continue;
      float accent = s % 4 == 0 ? 1.0f : 0.8f;
      float opening = 1.0f;
      if (build) {  // the filter and the level climb through the build
        float x = (float)s / 15.0f;
        opening = 0.3f + 0.7f * x * x;
        accent *= 0.5f + 0.5f * x;
      }
      arp(feel(13, rb, s, true, 5.0f), (float)(tones[shape[s]] + lift), STEP * 0.7,
          vary(13, rb, s, vel * accent, 0.12f), cutoff * opening, s % 2 == 0 ? 0.35f : -0.35f);
    }
  }

  // The tunes: every cue whose notes fall in this bar.
  for (const Cue& cue : cues()) playCue(cue, sb, rb);
}

}  // namespace soundtrack
