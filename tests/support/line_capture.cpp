// Emptying the test show's line batch, and read-backs of what was written into it.
#include "support/line_capture.h"

#include <cstdint>
#include <cstring>
#include <sstream>

#include "support/cpu_show.h"

namespace test {

void freshLineBuffer() {
  lines().vertexCount = 0;
  lines().indexCount = 0;
}

std::vector<LineVertex> capturedLineVertices() {
  std::vector<LineVertex> out;
  const LineBatch& batch = lines();
  for (int i = 0; i < batch.vertexCount; ++i) {
    const float* p = batch.positions + 3 * i;
    const float* c = batch.colours + 4 * i;
    out.push_back({p[0], p[1], p[2], c[0], c[1], c[2], c[3]});
  }
  return out;
}

std::vector<Segment> capturedSegments(int first) {
  std::vector<Segment> out;
  const LineBatch& batch = lines();
  for (int v = 8 * first; v < batch.vertexCount; v += 8) {
    const float* p = batch.positions + 3 * v;
    const float* c = batch.colours + 4 * v;
    out.push_back({p[0], p[2], p[3], p[5], p[7], c[0], c[1], c[2]});
  }
  return out;
}

bool sameBits(float a, float b) {
  uint32_t ua, ub;
  std::memcpy(&ua, &a, 4);
  std::memcpy(&ub, &b, 4);
  return ua == ub;
}

std::string firstDifference(const std::vector<Segment>& got, const std::vector<Segment>& want) {
  std::ostringstream out;
  if (got.size() != want.size()) {
    out << got.size() << " segments, expected " << want.size();
    return out.str();
  }
  for (size_t i = 0; i < got.size(); ++i) {
    const Segment &g = got[i], &w = want[i];
    const float gv[8] = {g.x1, g.z1, g.x2, g.z2, g.h, g.r, g.g, g.b};
    const float wv[8] = {w.x1, w.z1, w.x2, w.z2, w.h, w.r, w.g, w.b};
    for (int k = 0; k < 8; ++k) {
      if (sameBits(gv[k], wv[k])) continue;
      static const char* const names[8] = {"x1", "z1", "x2", "z2", "h", "r", "g", "b"};
      out.precision(9);
      out << "segment " << i << " " << names[k] << ": " << gv[k] << ", expected " << wv[k];
      return out.str();
    }
  }
  return "";
}

}  // namespace test
