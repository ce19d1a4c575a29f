// The stroke font tables checked against the font's drawing notes: every glyph's strokes
// as pen paths, its metrics, the totals, the telling glyphs spelled out, and the grid bands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "text/font.h"

namespace {

struct Segment {
  int x1, y1, x2, y2;
  bool operator==(const Segment& o) const {
    return x1 == o.x1 && y1 == o.y1 && x2 == o.x2 && y2 == o.y2;
  }
};

std::vector<Segment> storedSegments(int code) {
  int g = code - GLYPH_FIRST_CODE;
  std::vector<Segment> out;
  for (int j = 0; j < glyphStrokeBytes[g] / 4; ++j) {
    const int8_t* s = glyphStrokes[g] + 4 * j;
    out.push_back({s[0], s[1], s[2], s[3]});
  }
  return out;
}

std::string describe(const std::vector<Segment>& segs) {
  std::string out;
  for (const Segment& s : segs) {
    char buf[48];
    std::snprintf(buf, sizeof buf, " %d,%d-%d,%d", s.x1, s.y1, s.x2, s.y2);
    out += buf;
  }
  return out;
}

// The drawing notes: points "x,y" separated by blanks form a pen path, one segment from
// each point to the next; " / " lifts the pen.
struct GlyphNotes {
  int code;
  int segments;
  const char* paths;
};

const GlyphNotes glyphNotes[GLYPH_COUNT] = {
    {32, 1, "0,16 0,16"},
    {33, 5, "1,4 1,18 / 1,23 0,24 1,25 2,24 1,23"},
    {34, 2, "0,4 0,11 / 8,4 8,11"},
    {35, 4, "8,0 1,32 / 14,0 7,32 / 1,13 15,13 / 0,19 14,19"},
    {36, 21, "5,0 5,29 / 9,0 9,29 / 14,7 12,5 9,4 5,4 2,5 0,7 0,9 1,11 2,12 4,13 10,15 12,16 13,17 14,19 14,22 12,24 9,25 5,25 2,24 0,22"},
    {37, 26, "18,4 0,25 / 5,4 7,6 7,8 6,10 4,11 2,11 0,9 0,7 1,5 3,4 5,4 7,5 10,6 13,6 16,5 18,4 / 14,18 12,19 11,21 11,23 13,25 15,25 17,24 18,22 18,20 16,18 14,18"},
    {38, 33, "20,13 20,12 19,11 18,11 17,12 16,14 14,19 12,22 10,24 8,25 4,25 2,24 1,23 0,21 0,19 1,17 2,16 9,12 10,11 11,9 11,7 10,5 8,4 6,5 5,7 5,9 6,12 8,15 13,22 15,24 17,25 19,25 20,24 20,23"},
    {39, 6, "1,6 0,5 1,4 2,5 2,7 1,9 0,10"},
    {40, 9, "7,0 5,2 3,5 1,9 0,14 0,18 1,23 3,27 5,30 7,32"},
    {41, 9, "0,0 2,2 4,5 6,9 7,14 7,18 6,23 4,27 2,30 0,32"},
    {42, 3, "5,10 5,22 / 0,13 10,19 / 10,13 0,19"},
    {43, 2, "9,7 9,25 / 0,16 18,16"},
    {44, 6, "2,21 1,22 0,21 1,20 2,21 2,23 0,25"},
    {45, 1, "0,16 18,16"},
    {46, 4, "1,20 0,21 1,22 2,21 1,20"},
    {47, 1, "18,0 0,32"},
    {48, 16, "6,4 3,5 1,8 0,13 0,16 1,21 3,24 6,25 8,25 11,24 13,21 14,16 14,13 13,8 11,5 8,4 6,4"},
    {49, 3, "0,8 2,7 5,4 5,25"},
    {50, 13, "1,9 1,8 2,6 3,5 5,4 9,4 11,5 12,6 13,8 13,10 12,12 10,15 0,25 14,25"},
    {51, 14, "2,4 13,4 7,12 10,12 12,13 13,14 14,17 14,19 13,22 11,24 8,25 5,25 2,24 1,23 0,21"},
    {52, 3, "10,4 0,18 15,18 / 10,4 10,25"},
    {53, 16, "12,4 2,4 1,13 2,12 5,11 8,11 11,12 13,14 14,17 14,19 13,22 11,24 8,25 5,25 2,24 1,23 0,21"},
    {54, 22, "12,7 11,5 8,4 6,4 3,5 1,8 0,13 0,18 1,22 3,24 6,25 7,25 10,24 12,22 13,19 13,18 12,15 10,13 7,12 6,12 3,13 1,15 0,18"},
    {55, 2, "14,4 4,25 / 0,4 14,4"},
    {56, 28, "5,4 2,5 1,7 1,9 2,11 4,12 8,13 11,14 13,16 14,18 14,21 13,23 12,24 9,25 5,25 2,24 1,23 0,21 0,18 1,16 3,14 6,13 10,12 12,11 13,9 13,7 12,5 9,4 5,4"},
    {57, 22, "13,11 12,14 10,16 7,17 6,17 3,16 1,14 0,11 0,10 1,7 3,5 6,4 7,4 10,5 12,7 13,11 13,16 12,21 10,24 7,25 5,25 2,24 1,22"},
    {58, 8, "1,13 0,14 1,15 2,14 1,13 / 1,20 0,21 1,22 2,21 1,20"},
    {59, 10, "1,13 0,14 1,15 2,14 1,13 / 2,21 1,22 0,21 1,20 2,21 2,23 0,25"},
    {60, 2, "16,7 0,16 16,25"},
    {61, 2, "0,13 18,13 / 0,19 18,19"},
    {62, 2, "0,7 16,16 0,25"},
    {63, 17, "0,9 0,8 1,6 2,5 4,4 8,4 10,5 11,6 12,8 12,10 11,12 10,13 6,15 6,18 / 6,23 5,24 6,25 7,24 6,23"},
    {64, 48, "15,12 14,10 12,9 9,9 7,10 6,11 5,14 5,17 6,19 8,20 11,20 13,19 14,17 / 9,9 7,11 6,14 6,17 7,19 8,20 / 15,9 14,17 14,19 16,20 18,20 20,18 21,15 21,13 20,10 19,8 17,6 15,5 12,4 9,4 6,5 4,6 2,8 1,10 0,13 0,16 1,19 2,21 4,23 6,24 9,25 12,25 15,24 17,23 18,22 / 16,9 15,17 15,19 16,20"},
    {65, 3, "8,4 0,25 / 8,4 16,25 / 3,18 13,18"},
    {66, 18, "0,4 0,25 / 0,4 9,4 12,5 13,6 14,8 14,10 13,12 12,13 9,14 / 0,14 9,14 12,15 13,16 14,18 14,21 13,23 12,24 9,25 0,25"},
    {67, 17, "15,9 14,7 12,5 10,4 6,4 4,5 2,7 1,9 0,12 0,17 1,20 2,22 4,24 6,25 10,25 12,24 14,22 15,20"},
    {68, 12, "0,4 0,25 / 0,4 7,4 10,5 12,7 13,9 14,12 14,17 13,20 12,22 10,24 7,25 0,25"},
    {69, 4, "0,4 0,25 / 0,4 13,4 / 0,14 8,14 / 0,25 13,25"},
    {70, 3, "0,4 0,25 / 0,4 13,4 / 0,14 8,14"},
    {71, 19, "15,9 14,7 12,5 10,4 6,4 4,5 2,7 1,9 0,12 0,17 1,20 2,22 4,24 6,25 10,25 12,24 14,22 15,20 15,17 / 10,17 15,17"},
    {72, 3, "0,4 0,25 / 14,4 14,25 / 0,14 14,14"},
    {73, 1, "0,4 0,25"},
    {74, 9, "10,4 10,20 9,23 8,24 6,25 4,25 2,24 1,23 0,20 0,18"},
    {75, 3, "0,4 0,25 / 14,4 0,18 / 5,13 14,25"},
    {76, 2, "0,4 0,25 12,25"},
    {77, 4, "0,4 0,25 / 0,4 8,25 / 16,4 8,25 / 16,4 16,25"},
    {78, 3, "0,4 0,25 / 0,4 14,25 / 14,4 14,25"},
    {79, 20, "6,4 4,5 2,7 1,9 0,12 0,17 1,20 2,22 4,24 6,25 10,25 12,24 14,22 15,20 16,17 16,12 15,9 14,7 12,5 10,4 6,4"},
    {80, 10, "0,4 0,25 / 0,4 9,4 12,5 13,6 14,8 14,11 13,13 12,14 9,15 0,15"},
    {81, 21, "6,4 4,5 2,7 1,9 0,12 0,17 1,20 2,22 4,24 6,25 10,25 12,24 14,22 15,20 16,17 16,12 15,9 14,7 12,5 10,4 6,4 / 9,21 15,27"},
    {82, 11, "0,4 0,25 / 0,4 9,4 12,5 13,6 14,8 14,10 13,12 12,13 9,14 0,14 / 7,14 14,25"},
    {83, 19, "14,7 12,5 9,4 5,4 2,5 0,7 0,9 1,11 2,12 4,13 10,15 12,16 13,17 14,19 14,22 12,24 9,25 5,25 2,24 0,22"},
    {84, 2, "7,4 7,25 / 0,4 14,4"},
    {85, 9, "0,4 0,19 1,22 3,24 6,25 8,25 11,24 13,22 14,19 14,4"},
    {86, 2, "0,4 8,25 / 16,4 8,25"},
    {87, 4, "0,4 5,25 / 10,4 5,25 / 10,4 15,25 / 20,4 15,25"},
    {88, 2, "0,4 14,25 / 14,4 0,25"},
    {89, 3, "0,4 8,14 8,25 / 16,4 8,14"},
    {90, 3, "14,4 0,25 / 0,4 14,4 / 0,25 14,25"},
    {91, 4, "0,0 0,32 / 1,0 1,32 / 0,0 7,0 / 0,32 7,32"},
    {92, 1, "0,4 14,28"},
    {93, 4, "6,0 6,32 / 7,0 7,32 / 0,0 7,0 / 0,32 7,32"},
    {94, 2, "8,2 0,16 / 8,2 16,16"},
    {95, 1, "0,32 18,32"},
    {96, 6, "2,9 0,11 0,13 1,14 2,13 1,12 0,13"},
    {97, 14, "12,11 12,25 / 12,14 10,12 8,11 5,11 3,12 1,14 0,17 0,19 1,22 3,24 5,25 8,25 10,24 12,22"},
    {98, 14, "0,4 0,25 / 0,14 2,12 4,11 7,11 9,12 11,14 12,17 12,19 11,22 9,24 7,25 4,25 2,24 0,22"},
    {99, 13, "12,14 10,12 8,11 5,11 3,12 1,14 0,17 0,19 1,22 3,24 5,25 8,25 10,24 12,22"},
    {100, 14, "12,4 12,25 / 12,14 10,12 8,11 5,11 3,12 1,14 0,17 0,19 1,22 3,24 5,25 8,25 10,24 12,22"},
    {101, 16, "0,17 12,17 12,15 11,13 10,12 8,11 5,11 3,12 1,14 0,17 0,19 1,22 3,24 5,25 8,25 10,24 12,22"},
    {102, 5, "8,4 6,4 4,5 3,8 3,25 / 0,11 7,11"},
    {103, 19, "12,11 12,27 11,30 10,31 8,32 5,32 3,31 / 12,14 10,12 8,11 5,11 3,12 1,14 0,17 0,19 1,22 3,24 5,25 8,25 10,24 12,22"},
    {104, 7, "0,4 0,25 / 0,15 3,12 5,11 8,11 10,12 11,15 11,25"},
    {105, 5, "0,4 1,5 2,4 1,3 0,4 / 1,11 1,25"},
    {106, 8, "4,4 5,5 6,4 5,3 4,4 / 5,11 5,28 4,31 2,32 0,32"},
    {107, 3, "0,4 0,25 / 10,11 0,21 / 4,17 11,25"},
    {108, 1, "0,4 0,25"},
    {109, 13, "0,11 0,25 / 0,15 3,12 5,11 8,11 10,12 11,15 11,25 / 11,15 14,12 16,11 19,11 21,12 22,15 22,25"},
    {110, 7, "0,11 0,25 / 0,15 3,12 5,11 8,11 10,12 11,15 11,25"},
    {111, 16, "5,11 3,12 1,14 0,17 0,19 1,22 3,24 5,25 8,25 10,24 12,22 13,19 13,17 12,14 10,12 8,11 5,11"},
    {112, 14, "0,11 0,32 / 0,14 2,12 4,11 7,11 9,12 11,14 12,17 12,19 11,22 9,24 7,25 4,25 2,24 0,22"},
    {113, 14, "12,11 12,32 / 12,14 10,12 8,11 5,11 3,12 1,14 0,17 0,19 1,22 3,24 5,25 8,25 10,24 12,22"},
    {114, 5, "0,11 0,25 / 0,17 1,14 3,12 5,11 8,11"},
    {115, 16, "11,14 10,12 7,11 4,11 1,12 0,14 1,16 3,17 8,18 10,19 11,21 11,22 10,24 7,25 4,25 1,24 0,22"},
    {116, 5, "3,4 3,21 4,24 6,25 8,25 / 0,11 7,11"},
    {117, 7, "0,11 0,21 1,24 3,25 6,25 8,24 11,21 / 11,11 11,25"},
    {118, 2, "0,11 6,25 / 12,11 6,25"},
    {119, 4, "0,11 4,25 / 8,11 4,25 / 8,11 12,25 / 16,11 12,25"},
    {120, 2, "0,11 11,25 / 11,11 0,25"},
    {121, 6, "1,11 7,25 / 13,11 7,25 5,29 3,31 1,32 0,32"},
    {122, 3, "11,11 0,25 / 0,11 11,11 / 0,25 11,25"},
    {123, 34, "5,0 3,1 2,2 1,4 1,6 2,8 3,9 4,11 4,13 2,15 / 3,1 2,3 2,5 3,7 4,8 5,10 5,12 4,14 0,16 4,18 5,20 5,22 4,24 3,25 2,27 2,29 3,31 / 2,17 4,19 4,21 3,23 2,24 1,26 1,28 2,30 3,31 5,32"},
    {124, 1, "0,0 0,32"},
    {125, 34, "0,0 2,1 3,2 4,4 4,6 3,8 2,9 1,11 1,13 3,15 / 2,1 3,3 3,5 2,7 1,8 0,10 0,12 1,14 5,16 1,18 0,20 0,22 1,24 2,25 3,27 3,29 2,31 / 3,17 1,19 1,21 2,23 3,24 4,26 4,28 3,30 2,31 0,32"},
    {126, 20, "0,19 0,17 1,14 3,13 5,13 7,14 11,17 13,18 15,18 17,17 18,15 / 0,17 1,15 3,14 5,14 7,15 11,18 13,19 15,19 17,18 18,15 18,13"},
    {127, 33, "0,4 0,25 1,25 1,4 2,4 2,25 3,25 3,4 4,4 4,25 5,25 5,4 6,4 6,25 7,25 7,4 8,4 8,25 9,25 9,4 10,4 10,25 11,25 11,4 12,4 12,25 13,25 13,4 14,4 14,25 15,25 15,4 16,4 16,25"},};

std::vector<Segment> expandPaths(const char* paths) {
  std::vector<Segment> out;
  std::istringstream in(paths);
  std::string word;
  bool havePoint = false;
  int px = 0, py = 0;
  while (in >> word) {
    if (word == "/") {
      havePoint = false;
      continue;
    }
    int x = 0, y = 0;
    EXPECT_EQ(std::sscanf(word.c_str(), "%d,%d", &x, &y), 2) << word;
    if (havePoint) out.push_back({px, py, x, y});
    px = x;
    py = y;
    havePoint = true;
  }
  return out;
}

// Ink width / nominal width of codes 32..127, sixteen to a row.
const char* const metricRows[6] = {
    "16/16 2/10 8/16 15/21 14/20 18/24 20/26 2/10 7/14 7/14 10/16 18/26 2/8 18/26 2/8 18/22",
    "14/20 5/20 14/20 14/20 15/20 14/20 13/20 14/20 14/20 13/20 2/8 2/8 16/24 18/26 16/24 12/18",
    "21/27 16/18 14/21 15/21 14/21 13/19 13/18 15/21 14/22 0/8 10/16 14/21 12/17 16/24 14/22 16/22",
    "14/21 16/22 14/21 14/20 14/16 14/22 16/18 20/24 14/20 16/18 14/20 7/14 14/14 7/14 16/16 18/18",
    "2/8 12/19 12/19 12/18 12/19 12/18 8/12 12/19 11/19 2/8 6/10 11/17 0/8 22/30 11/19 13/19",
    "12/19 12/19 8/13 11/17 8/12 11/19 12/16 16/22 11/17 13/16 11/17 5/14 0/8 5/14 18/24 16/16",
};

struct RowBand {
  int minRow, maxRow;
};

RowBand rowBand(int code) {
  RowBand b{1000, -1000};
  for (const Segment& s : storedSegments(code)) {
    for (int y : {s.y1, s.y2}) {
      if (y < b.minRow) b.minRow = y;
      if (y > b.maxRow) b.maxRow = y;
    }
  }
  return b;
}

int minColumn(int code) {
  int m = 1000;
  for (const Segment& s : storedSegments(code)) m = std::min(m, std::min(s.x1, s.x2));
  return m;
}

int maxColumn(int code) {
  int m = -1000;
  for (const Segment& s : storedSegments(code)) m = std::max(m, std::max(s.x1, s.x2));
  return m;
}

}  // namespace

TEST(StrokeFont, EveryGlyphIsItsPenPathsInStoredOrder) {
  for (int g = 0; g < GLYPH_COUNT; ++g) {
    const GlyphNotes& notes = glyphNotes[g];
    ASSERT_EQ(notes.code, g + GLYPH_FIRST_CODE);
    std::vector<Segment> expected = expandPaths(notes.paths);
    EXPECT_EQ((int)expected.size(), notes.segments) << "code " << notes.code;
    EXPECT_EQ(glyphStrokeBytes[g], 4 * notes.segments) << "code " << notes.code;
    std::vector<Segment> stored = storedSegments(notes.code);
    EXPECT_TRUE(stored == expected) << "code " << notes.code << "\n stored:  " << describe(stored)
                                    << "\n notes:   " << describe(expected);
  }
}

TEST(StrokeFont, Totals) {
  int bytes = 0;
  for (int g = 0; g < GLYPH_COUNT; ++g) {
    EXPECT_EQ(glyphStrokeBytes[g] % 4, 0) << g;
    EXPECT_GT(glyphStrokeBytes[g], 0) << g;
    bytes += glyphStrokeBytes[g];
  }
  EXPECT_EQ(bytes, 3764);
  EXPECT_EQ(bytes / 4, 941);
}

TEST(StrokeFont, SmallestAndLargestGlyphs) {
  const char single[] = {'I', 'l', '-', '/', '\\', '|', '_', ' '};
  for (int code = 32; code < 128; ++code) {
    int n = glyphStrokeBytes[code - 32] / 4;
    bool isSingle = std::memchr(single, code, sizeof single) != nullptr;
    EXPECT_EQ(n == 1, isSingle) << "code " << code;
    if (code == '@') EXPECT_EQ(n, 48);
    else EXPECT_LT(n, 48) << "code " << code;
  }
}

TEST(StrokeFont, MetricsAsTabled) {
  for (int row = 0; row < 6; ++row) {
    std::istringstream in(metricRows[row]);
    for (int col = 0; col < 16; ++col) {
      int ink = -1, width = -1;
      std::string cell;
      in >> cell;
      ASSERT_EQ(std::sscanf(cell.c_str(), "%d/%d", &ink, &width), 2);
      int g = row * 16 + col;
      EXPECT_EQ(glyphInkWidth[g], ink) << "code " << g + 32;
      EXPECT_EQ(glyphWidth[g], width) << "code " << g + 32;
    }
  }
}

TEST(StrokeFont, InkWidthIsTheLargestColumnExceptForTheSpace) {
  for (int code = 33; code < 128; ++code)
    EXPECT_EQ(maxColumn(code), glyphInkWidth[code - 32]) << "code " << code;
  EXPECT_EQ(maxColumn(' '), 0);
  EXPECT_EQ(glyphInkWidth[0], 16);
}

TEST(StrokeFont, GridLimits) {
  for (int code = 32; code < 128; ++code) {
    EXPECT_EQ(minColumn(code), 0) << "code " << code << " does not start at column 0";
    EXPECT_LE(maxColumn(code), code == 'm' ? 22 : 21) << "code " << code;
    for (const Segment& s : storedSegments(code)) {
      for (int v : {s.x1, s.y1, s.x2, s.y2}) {
        EXPECT_GE(v, 0) << "code " << code;
        EXPECT_LE(v, 32) << "code " << code;
      }
    }
  }
  EXPECT_EQ(maxColumn('m'), 22);
}

TEST(StrokeFont, RowsWithinTheirBands) {
  auto expectBand = [](int code, int lo, int hi) {
    RowBand b = rowBand(code);
    EXPECT_EQ(b.minRow, lo) << "glyph " << (char)code;
    EXPECT_EQ(b.maxRow, hi) << "glyph " << (char)code;
  };
  for (int c = 'A'; c <= 'Z'; ++c) expectBand(c, 4, c == 'Q' ? 27 : 25);
  for (int c = '0'; c <= '9'; ++c) expectBand(c, 4, 25);
  for (char c : std::string("acemnorsuvwxz")) expectBand(c, 11, 25);
  for (char c : std::string("bdfhklt")) expectBand(c, 4, 25);
  for (char c : std::string("gpqy")) expectBand(c, 11, 32);
  expectBand('i', 3, 25);
  expectBand('j', 3, 32);
  for (char c : std::string("()[]{}|")) expectBand(c, 0, 32);
  expectBand('_', 32, 32);
  expectBand('-', 16, 16);
}

TEST(StrokeFont, TellingGlyphsInFull) {
  EXPECT_TRUE(storedSegments(' ') == (std::vector<Segment>{{0, 16, 0, 16}}));
  EXPECT_TRUE(storedSegments('!') ==
              (std::vector<Segment>{{1, 4, 1, 18}, {1, 23, 0, 24}, {0, 24, 1, 25}, {1, 25, 2, 24},
                                    {2, 24, 1, 23}}));
  EXPECT_TRUE(storedSegments('1') == (std::vector<Segment>{{0, 8, 2, 7}, {2, 7, 5, 4}, {5, 4, 5, 25}}));
  EXPECT_TRUE(storedSegments('A') ==
              (std::vector<Segment>{{8, 4, 0, 25}, {8, 4, 16, 25}, {3, 18, 13, 18}}));
  EXPECT_TRUE(storedSegments('I') == (std::vector<Segment>{{0, 4, 0, 25}}));
  EXPECT_TRUE(storedSegments('T') == (std::vector<Segment>{{7, 4, 7, 25}, {0, 4, 14, 4}}));

  // "o": a closed chain through sixteen points.
  const int ring[16][2] = {{5, 11}, {3, 12}, {1, 14}, {0, 17},  {0, 19},  {1, 22},  {3, 24},  {5, 25},
                           {8, 25}, {10, 24}, {12, 22}, {13, 19}, {13, 17}, {12, 14}, {10, 12}, {8, 11}};
  std::vector<Segment> o;
  for (int i = 0; i < 16; ++i)
    o.push_back({ring[i][0], ring[i][1], ring[(i + 1) % 16][0], ring[(i + 1) % 16][1]});
  EXPECT_TRUE(storedSegments('o') == o) << describe(storedSegments('o'));

  // Code 127: a solid block as one zig-zag, down on even columns, up on odd ones.
  std::vector<Segment> block;
  for (int c = 0; c <= 16; ++c) {
    int from = c % 2 == 0 ? 4 : 25;
    int to = c % 2 == 0 ? 25 : 4;
    block.push_back({c, from, c, to});
    if (c < 16) block.push_back({c, to, c + 1, to});
  }
  ASSERT_EQ(block.size(), 33u);
  EXPECT_TRUE(storedSegments(127) == block) << describe(storedSegments(127));
}

TEST(StrokeFont, AdvancesAtScaleOne) {
  auto advance = [](int code) { return (glyphInkWidth[code - 32] + glyphWidth[code - 32]) / 2.0; };
  EXPECT_EQ(advance(' '), 16.0);
  EXPECT_EQ(advance('I'), 4.0);
  EXPECT_EQ(advance('l'), 4.0);
  EXPECT_EQ(advance('|'), 4.0);
  EXPECT_EQ(advance('A'), 17.0);
  EXPECT_EQ(advance('m'), 26.0);
  EXPECT_EQ(advance(127), 16.0);
}
