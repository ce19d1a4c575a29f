// The built-in stroke font: four parallel tables for the character codes 32..127,
// indexed by code - 32. Read directly by drawGlyph.
#pragma once
#include <cstdint>

enum : int {
  GLYPH_FIRST_CODE = 32,
  GLYPH_COUNT = 96,
};

// Bytes of stroke data per glyph, 4 per segment (x1, y1, x2, y2).
extern const int32_t glyphStrokeBytes[GLYPH_COUNT];
extern const int8_t* const glyphStrokes[GLYPH_COUNT];
// The largest column the strokes reach (the space keeps its full 16).
extern const int8_t glyphInkWidth[GLYPH_COUNT];
// The nominal width; the pen advances by the mean of the two widths.
extern const int8_t glyphWidth[GLYPH_COUNT];
