// Glowing line geometry shared by the texts and the figures, colour conversion, text layout.
#pragma once

struct Rgb {
  float r, g, b;
};

// Appends one segment (a wall and a ribbon, 8 vertices, 12 indices) to lineBuffer;
// silently drops it when the buffer is full.
void addLineSegment(float x1, float z1, float x2, float z2, float h, float r, float g, float b);
Rgb hsvToRgb(float hue, float s, float v);
// Appends one glyph at pen (x, z); returns the pen advance.
float drawGlyph(char code, float x, float z, float scale, float brightness);
void drawText(const char* text, float x0, float z, float scale, float brightness);
