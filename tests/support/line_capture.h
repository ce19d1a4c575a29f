// CPU-side access to lineBuffer for the line, text and script tests: one buffer per
// process made without a GL context, emptied as the frame does, and read back as vertices.
#pragma once
#include <vector>

namespace test {

struct LineVertex {
  float x, y, z;
  float r, g, b, a;
};

// Makes lineBuffer (once per process, on CPU-only GL stand-ins) and empties it.
void freshLineBuffer();
// The vertices written this frame, up to vertexCount.
std::vector<LineVertex> capturedLineVertices();
// Bitwise equality of two floats (tells -0 from +0, equal NaNs compare equal).
bool sameBits(float a, float b);

}  // namespace test
