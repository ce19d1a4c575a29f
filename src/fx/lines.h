// The glowing line segment that every text and figure is made of, the batch it is
// appended to, and the HSV colour helper.
#pragma once

// What the line buffer holds at most: 10000 segments of 8 vertices and 12 indices.
enum : int {
  LINE_BUFFER_VERTICES = 80000,
  LINE_BUFFER_INDICES = 120000,
};

struct Rgb {
  float r, g, b;
};

// This frame's line geometry: the CPU arrays of the line buffer and how much of them the
// texts and figures have filled. The show hands the counts to the buffer before drawing.
struct LineBatch {
  float* positions = nullptr;  // 3 floats per vertex (location 1)
  float* colours = nullptr;    // 4 floats per vertex (location 3)
  int vertexCount = 0;
  int indexCount = 0;
};

// Appends one segment (a wall and a ribbon, 8 vertices, 12 indices); silently drops it
// when the batch is full.
void addLineSegment(LineBatch& lines, float x1, float z1, float x2, float z2, float h, float r,
                    float g, float b);
Rgb hsvToRgb(float hue, float s, float v);
