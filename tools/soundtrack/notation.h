// Reading the score's notation: chord symbols ("Am", "F", "E7", "F#m", "Amadd9") and tunes
// written as note names with lengths in sixteenths ("E5:3 A5:3 G5:2 | ..."; "-:4" rests,
// "|" is a bar line that must fall on a bar). A slip in the score stops the program.
#pragma once

#include <vector>

#include "score.h"

namespace soundtrack {

Chord parseChord(const char* symbol);
// One bar's symbols: one chord, or two ("Dm E7") for its two halves.
BarHarmony parseBar(const char* symbols);
std::vector<TuneNote> parseTune(const char* text);

}  // namespace soundtrack
