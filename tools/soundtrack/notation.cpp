// Chord symbols and note names into numbers (see notation.h).
#include "notation.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace soundtrack {

namespace {

[[noreturn]] void slip(const char* what, const std::string& text) {
  fprintf(stderr, "make_soundtrack: the score has %s: \"%s\"\n", what, text.c_str());
  exit(2);
}

// "C" .. "B" with an optional sharp or flat: the pitch class, and how many letters it took.
int pitchClass(const char* s, int& used) {
  static const int LETTER[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  char c = (char)toupper((unsigned char)s[0]);
  if (c < 'A' || c > 'G') return -1;
  int pc = LETTER[c - 'A'];
  used = 1;
  if (s[1] == '#') pc += 1, used = 2;
  if (s[1] == 'b') pc += 11, used = 2;
  return pc % 12;
}

}  // namespace

Chord parseChord(const char* symbol) {
  int used = 0;
  int root = pitchClass(symbol, used);
  if (root < 0) slip("a chord without a root", symbol);
  std::string quality = symbol + used;
  static const struct {
    const char* name;
    int shape[4];
  } QUALITIES[] = {
      {"", {0, 4, 7, 12}},  {"m", {0, 3, 7, 12}},     {"7", {0, 4, 7, 10}},
      {"m7", {0, 3, 7, 10}}, {"madd9", {0, 3, 7, 14}}, {"add9", {0, 4, 7, 14}},
  };
  for (const auto& q : QUALITIES) {
    if (quality == q.name) return Chord{root, {q.shape[0], q.shape[1], q.shape[2], q.shape[3]}};
  }
  slip("an unknown chord", symbol);
}

BarHarmony parseBar(const char* symbols) {
  char first[16] = "", second[16] = "";
  int n = sscanf(symbols, "%15s %15s", first, second);
  if (n < 1) slip("an empty bar", symbols);
  Chord a = parseChord(first);
  return BarHarmony{a, n == 2 ? parseChord(second) : a};
}

std::vector<TuneNote> parseTune(const char* text) {
  std::vector<TuneNote> notes;
  int at = 0;
  for (const char* s = text; *s;) {
    if (isspace((unsigned char)*s)) {
      ++s;
      continue;
    }
    if (*s == '|') {
      if (at % 16 != 0) slip("a bar line off the bar", std::string(text, s - text + 1));
      ++s;
      continue;
    }
    const char* start = s;
    while (*s && !isspace((unsigned char)*s) && *s != '|') ++s;
    std::string token(start, s);
    size_t colon = token.find(':');
    if (colon == std::string::npos) slip("a note without a length", token);
    int length = atoi(token.c_str() + colon + 1);
    if (length <= 0) slip("a note without a length", token);
    if (token[0] != '-') {
      int used = 0;
      int pc = pitchClass(token.c_str(), used);
      if (pc < 0 || !isdigit((unsigned char)token[used])) slip("an unknown note", token);
      int octave = token[used] - '0';
      // The octave is the letter's: B#4 and Cb5 are spelt from their own letter's octave.
      int letterPc = pitchClass(token.substr(0, 1).c_str(), used);
      int midi = 12 * (octave + 1) + letterPc + (pc - letterPc + 18) % 12 - 6;
      notes.push_back({at, length, midi});
    }
    at += length;
  }
  if (at % 16 != 0) slip("a tune that ends off the bar", text);
  return notes;
}

}  // namespace soundtrack
