// The score of zOOv 2020: 120 s of A minor at 96 BPM, four 4/4 bars to each ten-second
// step of the show, 48 bars. Bars 32..47 (80..120 s) are the loop that repeats; bars 31 and
// 47 are the same build-up into the drop at 80 s.
//
// The main motif is E5 A5 G5 E5 on a 3+3+2 rhythm. The bells state it from the first
// second, the counter-melody and the verse quote it, the breakdown's bells turn it over,
// and at 80 s the hook sings it on its own voice: the drop is a homecoming. In the loop the
// hook, the lead and the counter-melody take turns, and the anthem's repeat lifts a whole
// tone, into B minor, before E7 brings it home to the hook.
//
// Tunes are note names with lengths in sixteenths ("E5:3" is E5 for a dotted eighth, "-:4"
// a quarter's rest); "|" marks each bar line.
#include "score.h"

#include "notation.h"
#include "timing.h"

namespace soundtrack {

namespace {

// ---- The chords, bar by bar ("Dm E7": the bar's second half turns to E7) ------------------

const char* const CHORDS[SONG_BARS] = {
    "Am",      "F",       "C",  "G",      // 0 s    intro: the motif in the bells
    "Am",      "Em",      "F",  "G",      // 10 s   the bells answer
    "Am",      "C",       "G",  "G E7",   // 20 s   the groove; the counter-melody calls
    "Am",      "Em",      "F",  "Dm E7",  // 30 s   the counter-melody
    "F",       "G",       "Em", "F G",    // 40 s
    "Am",      "F",       "C",  "G",      // 50 s   the verse (Theme A)
    "Am",      "Dm",      "C",  "Dm G",   // 60 s   its answer, half time
    "F",       "G",       "Am", "Dm E7",  // 70 s   breakdown: the motif turned over; build
    "Am",      "F",       "C",  "G",      // 80 s   the drop: the hook comes home
    "F",       "G",       "Em", "Am",     // 90 s   the anthem (Theme B), answered
    "Bm",      "A",       "F#m", "Bm E7", // 100 s  the lift: a whole tone up, home through E7
    "Am",      "F",       "C G", "Dm E7", // 110 s  the hook again; the build
};

// ---- The tunes ------------------------------------------------------------------------

// The intro's bells: the motif, an answer, the motif again, and a fall to the fifth.
const char* const INTRO_BELLS =
    "E5:3 A5:3 G5:2 E5:8 |"            // Am
    "C5:3 F5:3 A5:2 G5:8 |"            // F
    "E5:3 A5:3 G5:2 E5:2 D5:3 G5:3 |"  // C
    "B5:3 A5:3 G5:2 D5:8 |";           // G

// 10 s: the bells once more, then wandering down through the chords.
const char* const ANSWER_BELLS =
    "E5:3 A5:3 G5:2 E5:8 |"            // Am
    "B5:3 G5:3 E5:2 D5:4 G5:4 |"       // Em
    "A5:3 C6:3 A5:2 F5:8 |"            // F
    "G5:3 B5:3 D6:2 B5:4 A5:4 |";      // G

// 20 s: the counter-melody's call: the motif, and again on D.
const char* const COUNTER_CALL =
    "E5:3 A5:3 G5:2 E5:4 C5:4 |"       // Am
    "G5:3 E5:3 C5:2 D5:4 E5:4 |"       // C
    "D5:3 G5:3 F5:2 D5:4 B4:4 |"       // G
    "D5:6 B4:2 G#4:4 B4:4 |";          // G E7

// 30 s: the counter-melody, under the arpeggio; on A at 40 s.
const char* const COUNTER_LINE =
    "E5:3 A5:3 G5:2 E5:2 C5:2 A4:4 |"  // Am
    "B4:3 G4:3 E4:4 D4:2 E4:4 |"       // Em
    "C5:3 A4:3 F4:4 A4:4 C5:2 |"       // F
    "D5:3 A4:3 F4:2 G#4:4 B4:4 |"      // Dm E7
    "A4:3 D5:3 C5:2 A4:4 C5:4 |"       // F
    "B4:3 D5:3 G5:4 D5:4 B4:2 |"       // G
    "B4:3 G4:3 E4:4 E5:6 |"            // Em
    "C5:3 A4:3 F4:2 B4:4 D5:4 |";      // F G

// 50 s: the verse (Theme A) opens on the motif; its answer at 60 s.
const char* const THEME_A =
    "E5:3 A5:3 G5:2 E5:3 D5:3 C5:2 |"  // Am
    "C5:4 A4:2 C5:2 F5:4 A5:2 G5:2 |"  // F
    "E5:6 D5:2 C5:2 D5:2 E5:4 |"       // C
    "D5:10 C5:2 B4:4 |";               // G
const char* const THEME_A_ANSWER =
    "E5:4 A4:2 C5:2 E5:3 G5:3 E5:2 |"  // Am
    "F5:4 D5:2 C5:2 D5:4 A4:4 |"       // Dm
    "G5:4 E5:2 C5:2 E5:4 G5:4 |"       // C
    "D5:6 E5:2 G5:8 |";                // Dm G

// 70 s: the breakdown's bells turn the motif over, on A, on D, home on E.
const char* const BREAKDOWN_BELLS =
    "A5:3 D6:3 C6:2 A5:2 G5:6 |"       // F
    "D5:3 G5:3 F5:2 D5:2 B4:6 |"       // G
    "E5:3 A5:3 G5:2 E5:2 C6:6 |";      // Am

// The build (77.5 s and 117.5 s): two bells reach up into the drop.
const char* const BUILD_BELLS = "A5:4 D6:4 G#5:4 B5:4 |";  // Dm E7

// 80 s: the hook, a call that climbs; the counter-melody answers, the hook calls again.
const char* const HOOK_CALL = "E5:3 A5:3 G5:2 E5:2 D5:4 C5:2 |";  // Am
const char* const HOOK_ANSWER = "C5:3 D5:3 E5:2 A4:6 C5:2 |";     // F
const char* const HOOK_AGAIN =
    "E5:3 A5:3 G5:2 E5:2 G5:4 C6:2 |"  // C
    "B5:3 G5:3 D5:2 E5:8 |";           // G

// 90 s: the anthem (Theme B) in calls and answers.
const char* const ANTHEM_CALL_1 = "A5:6 G5:2 A5:2 C6:4 A5:2 |";   // F
const char* const ANTHEM_REPLY_1 = "B4:3 D5:3 G5:2 F5:4 D5:4 |";  // G
const char* const ANTHEM_CALL_2 = "E5:4 G5:2 B5:4 A5:2 G5:4 |";   // Em
// 97.5 s: the counter-melody sings the motif before the lift.
const char* const ANTHEM_REPLY_2 = "E5:3 A5:3 G5:2 E5:2 C5:2 A4:4 |";  // Am

// 100 s: the anthem a whole tone up, in B minor; the bells spark on its beats.
const char* const LIFT =
    "B5:6 A5:2 B5:2 D6:4 B5:2 |"       // Bm
    "A5:6 G5:2 A5:2 C#6:4 A5:2 |"      // A
    "F#5:4 A5:2 C#6:4 B5:2 A5:4 |"     // F#m
    "F#5:6 D6:2 G#5:4 B5:4 |";         // Bm E7
const char* const LIFT_SPARKS =
    "B6:4 -:4 B6:4 -:4 |"
    "A6:4 -:4 A6:4 -:4 |"
    "F#6:4 A6:4 -:4 A6:4 |"
    "F#6:4 B6:4 -:4 B6:4 |";

// 110 s: the hook home, the answer, and the motif once more over C and G.
const char* const HOOK_HOME = "E5:3 A5:3 G5:2 E5:2 D5:6 |";  // C G

struct CueText {
  int bar;
  Voice voice;
  const char* tune;
  float level;
  float ring;
};

// Who plays which tune from which bar.
const CueText CUES[] = {
    // bar  voice          tune             level  bell ring (s)
    {0, BELL_VOICE, INTRO_BELLS, 0.9f, 0.9f},
    {4, BELL_VOICE, ANSWER_BELLS, 0.7f, 0.9f},
    {8, COUNTER_VOICE, COUNTER_CALL, 0.8f, 0.0f},
    {12, COUNTER_VOICE, COUNTER_LINE, 1.0f, 0.0f},
    {20, LEAD_VOICE, THEME_A, 0.9f, 0.0f},
    {24, LEAD_VOICE, THEME_A_ANSWER, 0.9f, 0.0f},
    {28, BELL_VOICE, BREAKDOWN_BELLS, 0.9f, 1.1f},
    {31, BELL_VOICE, BUILD_BELLS, 0.6f, 0.8f},
    {32, HOOK_VOICE, HOOK_CALL, 1.0f, 0.0f},
    {33, COUNTER_VOICE, HOOK_ANSWER, 1.0f, 0.0f},
    {34, HOOK_VOICE, HOOK_AGAIN, 1.0f, 0.0f},
    {36, LEAD_VOICE, ANTHEM_CALL_1, 0.95f, 0.0f},
    {37, COUNTER_VOICE, ANTHEM_REPLY_1, 1.0f, 0.0f},
    {38, LEAD_VOICE, ANTHEM_CALL_2, 0.95f, 0.0f},
    {39, COUNTER_VOICE, ANTHEM_REPLY_2, 1.0f, 0.0f},
    {40, LEAD_VOICE, LIFT, 0.95f, 0.0f},
    {40, BELL_VOICE, LIFT_SPARKS, 0.35f, 0.6f},
    {44, HOOK_VOICE, HOOK_CALL, 0.9f, 0.0f},
    {45, COUNTER_VOICE, HOOK_ANSWER, 1.0f, 0.0f},
    {46, HOOK_VOICE, HOOK_HOME, 0.9f, 0.0f},
    {47, BELL_VOICE, BUILD_BELLS, 0.6f, 0.8f},
};

}  // namespace

const BarHarmony& harmonyAt(int songBar) {
  static const std::vector<BarHarmony> bars = [] {
    std::vector<BarHarmony> out;
    for (const char* symbols : CHORDS) out.push_back(parseBar(symbols));
    return out;
  }();
  return bars[(size_t)songBar];
}

const std::vector<Cue>& cues() {
  static const std::vector<Cue> all = [] {
    std::vector<Cue> out;
    for (const CueText& c : CUES)
      out.push_back({c.bar, c.voice, parseTune(c.tune), c.level, c.ring});
    return out;
  }();
  return all;
}

}  // namespace soundtrack
