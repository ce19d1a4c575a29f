// The bus every part plays into, and the log of pitched notes (see mix.h).
#include "mix.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace soundtrack {

const char* const PART_NAMES[PART_COUNT] = {"kick", "snare", "clap", "hats",    "cymbals",
                                            "toms", "fx",    "bass", "pad",     "stab",
                                            "arp",  "lead",  "hook", "counter", "bells"};

Mix mix;
std::vector<ScoreNote> scoreNotes;

bool melodic(Part p) { return p == LEAD || p == HOOK || p == COUNTER || p == BELLS; }

bool muted(Part p) { return !mix.audible || (mix.solo >= 0 && mix.solo != (int)p); }

Placed place(const Strip& s) {
  // Equal-power pan normalised to unity at centre.
  float angle = (s.pan + 1.0f) * (float)(PI / 4.0);
  float g = s.gain * mix.sectionGain;
  return {std::cos(angle) * 1.41421356f * g, std::sin(angle) * 1.41421356f * g, s.reverb, s.delay,
          s.duck};
}

void put(const Placed& s, size_t i, float left, float right) {
  if (i >= RENDER_FRAMES) return;
  float g = 1.0f - s.duck * mix.duck[i];
  float l = left * s.gainLeft * g;
  float r = right * s.gainRight * g;
  mix.dry.l[i] += l;
  mix.dry.r[i] += r;
  mix.reverb.l[i] += l * s.reverb;
  mix.reverb.r[i] += r * s.reverb;
  mix.delay.l[i] += l * s.delay;
  mix.delay.r[i] += r * s.delay;
}

void logNote(Part p, double renderTime, float midi, double length, float velocity) {
  // The first pass only, and each note once: a solo render plays the same notes again.
  if (renderTime >= SONG_BARS * BAR || mix.solo >= 0) return;
  scoreNotes.push_back(
      {renderTime, p, midi, length, std::min(1.0f, std::max(0.0f, velocity))});
}

bool writeScore(const std::string& path) {
  std::vector<ScoreNote> notes = scoreNotes;
  std::stable_sort(notes.begin(), notes.end(), [](const ScoreNote& a, const ScoreNote& b) {
    return a.seconds < b.seconds;
  });
  FILE* f = fopen(path.c_str(), "w");
  if (!f) return false;
  fprintf(f, "# zOOv 2020, the soundtrack's first 120 s: every pitched note, drums left out\n");
  fprintf(f, "# SECONDS PART MIDI LENGTH VELOCITY (length: how long it is held, a bell's decay)\n");
  fprintf(f, "# melodic:");
  for (int p = 0; p < PART_COUNT; ++p)
    if (melodic((Part)p)) fprintf(f, " %s", PART_NAMES[p]);
  fprintf(f, "\n");
  for (const ScoreNote& n : notes)
    fprintf(f, "%.4f %s %g %.4f %.3f\n", n.seconds, PART_NAMES[n.part], (double)n.midi, n.length,
            (double)n.velocity);
  return fclose(f) == 0;
}

}  // namespace soundtrack
