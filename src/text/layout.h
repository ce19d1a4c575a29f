// Text layout in the stroke font: glyphs as glowing line segments on the ground plane.
#pragma once
#include "fx/lines.h"

// Appends one glyph at pen (x, z); returns the pen advance.
float drawGlyph(LineBatch& lines, char code, float x, float z, float scale, float brightness);
void drawText(LineBatch& lines, const char* text, float x0, float z, float scale,
              float brightness);
