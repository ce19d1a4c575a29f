// Vertexbuffer bookkeeping without a GL context: init, attribute sizing at the moment of
// adding, the newest-first list, and the dirty flag.
#include <gtest/gtest.h>

#include "st/gl.h"
#include "st/st_vertexbuffer.h"
#include "support/cpu_gl.h"

namespace {

class VertexbufferData : public testing::Test {
 protected:
  void SetUp() override { test::installCpuGlStubs(); }
};

TEST_F(VertexbufferData, ConstructionLeavesEverythingEmptyButTheVertexArray) {
  st::Vertexbuffer vb;
  EXPECT_NE(vb.vao, 0u);
  EXPECT_EQ(vb.mode, 0u);
  EXPECT_EQ(vb.vertexCount, 0);
  EXPECT_EQ(vb.attribs, nullptr);
  EXPECT_EQ(vb.dirty, 0);
  EXPECT_EQ(vb.instanceCount, 0);
  EXPECT_EQ(vb.indexCount, 0);
  EXPECT_EQ(vb.indices, nullptr);
  EXPECT_EQ(vb.ibo, 0u);
}

TEST_F(VertexbufferData, InitCountsAndNumbersTheIndices) {
  st::Vertexbuffer vb;
  vb.init(5, 9, 3);
  EXPECT_EQ(vb.mode, GLenum(GL_TRIANGLES));
  EXPECT_EQ(vb.vertexCount, 5);
  EXPECT_EQ(vb.indexCount, 9);
  EXPECT_EQ(vb.instanceCount, 3);
  EXPECT_NE(vb.ibo, 0u);
  EXPECT_EQ(vb.dirty, 1);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(vb.indices[i], unsigned(i));
}

TEST_F(VertexbufferData, IndexCountMinusOneMeansOnePerVertex) {
  st::Vertexbuffer vb;
  vb.init(7, -1, 0);
  EXPECT_EQ(vb.indexCount, 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(vb.indices[i], unsigned(i));
}

TEST_F(VertexbufferData, AttributesAreSizedByTheCountsOfTheirMoment) {
  st::Vertexbuffer vb;
  vb.init(10, 6, 7);
  vb.dirty = 0;
  float* perVertex = vb.addAttrib(3, 1, 0);
  EXPECT_EQ(vb.dirty, 1);
  float* perInstance = vb.addAttrib(4, 3, 1);
  float* perPair = vb.addAttrib(2, 5, 2);  // 7 / 2 = 3 elements
  vb.vertexCount = 4;
  vb.instanceCount = 20;
  float* later = vb.addAttrib(1, 2, 0);
  float* laterInstance = vb.addAttrib(1, 4, 3);  // 20 / 3 = 6 elements

  const st::Vertexbuffer::Attribarray* a = vb.attribs;  // newest first
  const int expected[5][5] = {{1, 4, 3, 6, 4}, {1, 2, 0, 4, 2}, {2, 5, 2, 6, 0},
                              {4, 3, 1, 28, 0}, {3, 1, 0, 30, 0}};
  float* const arrays[5] = {laterInstance, later, perPair, perInstance, perVertex};
  for (int i = 0; i < 5; ++i, a = a->next) {
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->size, expected[i][0]) << i;
    EXPECT_EQ(a->location, expected[i][1]) << i;
    EXPECT_EQ(a->divisor, expected[i][2]) << i;
    EXPECT_EQ(a->count, expected[i][3]) << i;
    EXPECT_EQ(a->data, arrays[i]) << i;
    EXPECT_NE(a->vbo, 0u) << i;
    for (int k = 0; k < a->count; ++k) EXPECT_EQ(a->data[k], 0.0f) << i << "/" << k;
  }
  EXPECT_EQ(a, nullptr);
}

}  // namespace
