// CPU-side access to the line batch for the line, text, figure and script tests: the one
// of test::cpuShow(), emptied as the frame does, and read back as vertices or as the
// segments the producers wrote.
#pragma once
#include <string>
#include <vector>

namespace test {

struct LineVertex {
  float x, y, z;
  float r, g, b, a;
};

// One segment of eight vertices: the wall's foot (vertices 0 and 1), its height (vertex 2)
// and the colour along the ground.
struct Segment {
  float x1, z1, x2, z2, h, r, g, b;
};

// Empties test::lines().
void freshLineBuffer();
// The vertices written this frame, up to vertexCount.
std::vector<LineVertex> capturedLineVertices();
// The segments written this frame, from segment `first` on.
std::vector<Segment> capturedSegments(int first = 0);
// Bitwise equality of two floats (tells -0 from +0, equal NaNs compare equal).
bool sameBits(float a, float b);
// "" when both lists hold the same segments bit for bit, else the first difference.
std::string firstDifference(const std::vector<Segment>& got, const std::vector<Segment>& want);

}  // namespace test
