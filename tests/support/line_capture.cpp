// One CPU-only lineBuffer for the whole test process, and a read-back of its vertices.
#include "support/line_capture.h"

#include <cstdint>
#include <cstring>

#include "show/scene.h"
#include "st/geometry.h"
#include "support/cpu_gl.h"

namespace test {

void freshLineBuffer() {
  if (lineBuffer == nullptr) {
    installCpuGlStubs();
    lineBuffer = makeLineBuffer();
  }
  lineBuffer->vertexCount = 0;
  lineBuffer->indexCount = 0;
  lineBuffer->dirty = 1;
}

std::vector<LineVertex> capturedLineVertices() {
  std::vector<LineVertex> out;
  for (int i = 0; i < lineBuffer->vertexCount; ++i) {
    const float* p = linePositions + 3 * i;
    const float* c = lineColours + 4 * i;
    out.push_back({p[0], p[1], p[2], c[0], c[1], c[2], c[3]});
  }
  return out;
}

bool sameBits(float a, float b) {
  uint32_t ua, ub;
  std::memcpy(&ua, &a, 4);
  std::memcpy(&ub, &b, 4);
  return ua == ub;
}

}  // namespace test
