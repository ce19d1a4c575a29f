// The fixed meshes' CPU content, built without a GL context: counts, indices, the box's
// corners, normals and winding, and where every attribute goes.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "show/meshes.h"
#include "st/gl.h"
#include "st/st_vertexbuffer.h"
#include "support/cpu_gl.h"

namespace {

using Attrib = st::Vertexbuffer::Attribarray;
using Mesh = std::unique_ptr<st::Vertexbuffer>;
const std::vector<unsigned> QUAD = {0, 1, 2, 1, 2, 3};

// The attributes in the order they were added (the list holds them newest first).
std::vector<Attrib*> inAddedOrder(const st::Vertexbuffer& vb) {
  std::vector<Attrib*> out;
  for (Attrib* a = vb.attribs; a; a = a->next) out.insert(out.begin(), a);
  return out;
}

struct AttribShape {
  int size, location, divisor, count;
};

// What every builder fixes: triangles, the counts, a fresh upload pending, the leading
// indices and the attributes in the order added. Returns the attributes in that order.
std::vector<Attrib*> expectMesh(const st::Vertexbuffer& vb, int vertices, int indices,
                                int instances, const std::vector<unsigned>& firstIndices,
                                const std::vector<AttribShape>& shapes) {
  EXPECT_EQ(vb.mode, GLenum(GL_TRIANGLES));
  EXPECT_EQ(vb.vertexCount, vertices);
  EXPECT_EQ(vb.indexCount, indices);
  EXPECT_EQ(vb.instanceCount, instances);
  EXPECT_EQ(vb.dirty, 1);
  for (size_t i = 0; i < firstIndices.size(); ++i)
    EXPECT_EQ(vb.indices[i], firstIndices[i]) << "index " << i;
  std::vector<Attrib*> attribs = inAddedOrder(vb);
  EXPECT_EQ(attribs.size(), shapes.size());
  for (size_t i = 0; i < attribs.size() && i < shapes.size(); ++i) {
    EXPECT_EQ(attribs[i]->size, shapes[i].size) << "attribute " << i;
    EXPECT_EQ(attribs[i]->location, shapes[i].location) << "attribute " << i;
    EXPECT_EQ(attribs[i]->divisor, shapes[i].divisor) << "attribute " << i;
    EXPECT_EQ(attribs[i]->count, shapes[i].count) << "attribute " << i;
  }
  return attribs;
}

void expectData(const Attrib* a, const std::vector<float>& values) {
  for (size_t i = 0; i < values.size(); ++i)
    EXPECT_EQ(a->data[i], values[i]) << "location " << a->location << " float " << i;
}

class GeometryData : public testing::Test {
 protected:
  void SetUp() override { test::installCpuGlStubs(); }
};

// The unit box, four corners per face, faces z+, y-, z-, y+, x-, x+.
const float UNIT[24][5] = {
    {-1, 1, 1, 0, 0},   {1, 1, 1, 1, 0},   {-1, -1, 1, 0, 1},  {1, -1, 1, 1, 1},
    {1, -1, 1, 0, 0},   {-1, -1, 1, 1, 0}, {1, -1, -1, 0, 1},  {-1, -1, -1, 1, 1},
    {-1, -1, -1, 0, 0}, {1, -1, -1, 1, 0}, {-1, 1, -1, 0, 1},  {1, 1, -1, 1, 1},
    {1, 1, -1, 0, 0},   {-1, 1, -1, 1, 0}, {1, 1, 1, 0, 1},    {-1, 1, 1, 1, 1},
    {-1, 1, 1, 0, 0},   {-1, -1, 1, 1, 0}, {-1, 1, -1, 0, 1},  {-1, -1, -1, 1, 1},
    {1, -1, -1, 0, 0},  {1, -1, 1, 1, 0},  {1, 1, -1, 0, 1},   {1, 1, 1, 1, 1},
};
const std::vector<unsigned> BOX_INDICES = {0,  2,  1,  1,  2,  3,  5,  7,  4,  4,  7,  6,
                                           8,  10, 9,  9,  10, 11, 12, 13, 14, 13, 15, 14,
                                           16, 18, 17, 17, 18, 19, 20, 22, 21, 21, 22, 23};
// Outward normal of each face: axis and sign.
const int FACE_AXIS[6] = {2, 1, 2, 1, 0, 0};
const int FACE_SIGN[6] = {1, -1, -1, 1, -1, 1};

TEST_F(GeometryData, BoxCountsAndAttributes) {
  Mesh box(makeBox(400.0f, 2.0f, 400.0f));
  // Position, normal, texture coordinate.
  expectMesh(*box, 24, 36, 0, BOX_INDICES, {{3, 1, 0, 72}, {3, 2, 0, 72}, {2, 3, 0, 48}});
}

TEST_F(GeometryData, BoxIsA800By4By800SlabAroundTheOrigin) {
  Mesh box(makeBox(400.0f, 2.0f, 400.0f));
  auto attribs = inAddedOrder(*box);
  const float* position = attribs[0]->data;
  const float* normal = attribs[1]->data;
  const float* uv = attribs[2]->data;
  const float half[3] = {400.0f, 2.0f, 400.0f};
  float low[3] = {1e9f, 1e9f, 1e9f}, high[3] = {-1e9f, -1e9f, -1e9f};
  const float inverseRoot3 = float(1.0 / std::sqrt(3.0));
  for (int v = 0; v < 24; ++v) {
    for (int k = 0; k < 3; ++k) {
      float p = position[3 * v + k];
      EXPECT_EQ(p, UNIT[v][k] * half[k]) << v << "/" << k;
      low[k] = std::fmin(low[k], p);
      high[k] = std::fmax(high[k], p);
      // From the centre through the corner, unit length.
      EXPECT_NEAR(normal[3 * v + k], UNIT[v][k] * inverseRoot3, 1e-7f) << v << "/" << k;
    }
    EXPECT_EQ(uv[2 * v + 0], UNIT[v][3]) << v;
    EXPECT_EQ(uv[2 * v + 1], UNIT[v][4]) << v;
  }
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(low[k], -half[k]);
    EXPECT_EQ(high[k], half[k]);
  }
}

TEST_F(GeometryData, BoxTrianglesTurnCounterClockwiseSeenFromOutside) {
  Mesh box(makeBox(400.0f, 2.0f, 400.0f));
  const float* p = inAddedOrder(*box)[0]->data;
  for (int t = 0; t < 12; ++t) {
    int face = t / 2;
    const unsigned* tri = box->indices + 3 * t;
    // All three corners on the face's plane ...
    for (int c = 0; c < 3; ++c) {
      int axis = FACE_AXIS[face];
      float half = axis == 1 ? 2.0f : 400.0f;
      EXPECT_EQ(p[3 * tri[c] + axis], FACE_SIGN[face] * half) << "triangle " << t;
    }
    // ... and the winding's normal (right-hand rule) pointing out of the box.
    float a[3], b[3];
    for (int k = 0; k < 3; ++k) {
      a[k] = p[3 * tri[1] + k] - p[3 * tri[0] + k];
      b[k] = p[3 * tri[2] + k] - p[3 * tri[0] + k];
    }
    float cross[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                      a[0] * b[1] - a[1] * b[0]};
    EXPECT_GT(cross[FACE_AXIS[face]] * FACE_SIGN[face], 0.0f) << "triangle " << t;
  }
}

TEST_F(GeometryData, LineBufferHoldsTwentyThousandQuads) {
  LineBatch batch;
  Mesh lines(makeLineBuffer(batch));
  auto attribs = expectMesh(*lines, 80000, 120000, 0, {}, {{3, 1, 0, 240000}, {4, 3, 0, 320000}});
  for (unsigned q = 0; q < 20000; ++q)
    for (int k = 0; k < 6; ++k) ASSERT_EQ(lines->indices[6 * q + k], 4 * q + QUAD[k]) << "quad " << q;
  ASSERT_EQ(attribs.size(), 2u);
  EXPECT_EQ(batch.positions, attribs[0]->data);
  EXPECT_EQ(batch.colours, attribs[1]->data);
}

TEST_F(GeometryData, SpriteQuadHasPerInstanceArraysForTenThousand) {
  SpriteInstances instances;
  Mesh sprites(makeSpriteBuffer(instances));
  auto attribs = expectMesh(*sprites, 4, 6, 10000, QUAD,
                            {{3, 1, 0, 12}, {2, 2, 0, 8}, {4, 3, 1, 40000}, {1, 4, 1, 10000}});
  ASSERT_EQ(attribs.size(), 4u);
  expectData(attribs[0], {-2, -2, 0, 2, -2, 0, -2, 2, 0, 2, 2, 0});
  expectData(attribs[1], {0, 0, 1, 0, 0, 1, 1, 1});
  EXPECT_EQ(instances.vec4, attribs[2]->data);
  EXPECT_EQ(instances.scalar, attribs[3]->data);
  // Nothing written yet: the per-instance arrays start cleared.
  for (int i = 0; i < 40000; ++i) ASSERT_EQ(instances.vec4[i], 0.0f) << i;
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(instances.scalar[i], 0.0f) << i;
}

TEST_F(GeometryData, ScreenQuadCoversClipSpaceWithTextureCoordinatesAtThree) {
  Mesh quad(makeScreenQuad());
  auto attribs = expectMesh(*quad, 4, 6, 0, QUAD, {{3, 1, 0, 12}, {2, 3, 0, 8}});
  ASSERT_EQ(attribs.size(), 2u);
  expectData(attribs[0], {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0});
  expectData(attribs[1], {0, 0, 1, 0, 0, 1, 1, 1});
}

}  // namespace
