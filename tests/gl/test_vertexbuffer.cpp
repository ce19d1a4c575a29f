// Vertex buffers in a real context: plain and instanced draws read back from a render
// target, what an upload sends, the dirty flag, attribute state at bind and unbind.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "gl_test_util.h"
#include "st/gl.h"
#include "st/st_renderbuf.h"
#include "st/st_shader.h"
#include "st/st_vertexbuffer.h"
#include "support/gl_context.h"
#include "support/reports.h"

namespace {

using gltest::pixelAtNdc;
using gltest::Rgba;

const Rgba CLEAR{0, 0, 255, 255};
const Rgba RED{255, 0, 0, 255};
const Rgba GREEN{0, 255, 0, 255};

// Instances: a small square around the per-instance offset, coloured by the scalar.
const char* INSTANCED_VS = R"(#version 330 core
layout(location = 1) in vec3 position;
layout(location = 3) in vec4 offset;
layout(location = 4) in float shade;
out vec4 vColour;
void main() {
  vColour = vec4(shade, 1.0 - shade, 0.0, 1.0);
  gl_Position = vec4(position * 0.1 + offset.xyz, 1.0);
}
)";
// No attributes at all: the triangle comes from the vertex number.
const char* BARE_VS = R"(#version 330 core
out vec4 vColour;
void main() {
  vec2 corners[3] = vec2[3](vec2(-0.5, -0.5), vec2(0.5, -0.5), vec2(-0.5, 0.5));
  vColour = vec4(1.0, 0.0, 0.0, 1.0);
  gl_Position = vec4(corners[gl_VertexID], 0.0, 1.0);
}
)";

void fill(float* out, std::initializer_list<float> values) {
  for (float v : values) *out++ = v;
}

// The square [-h, h]^2 as two triangles, positions at location 1.
st::Vertexbuffer* makeQuad(float h, int instances) {
  auto* vb = new st::Vertexbuffer;
  vb->init(4, 6, instances);
  unsigned quad[6] = {0, 1, 2, 1, 2, 3};
  for (int i = 0; i < 6; ++i) vb->indices[i] = quad[i];
  fill(vb->addAttrib(3, 1, 0), {-h, -h, 0, h, -h, 0, -h, h, 0, h, h, 0});
  return vb;
}

// The square [-0.5, 0.5]^2 in one colour.
st::Vertexbuffer* makeSquare(Rgba colour) {
  st::Vertexbuffer* vb = makeQuad(0.5f, 0);
  float* c = vb->addAttrib(4, 3, 0);
  for (int v = 0; v < 4; ++v)
    fill(c + 4 * v, {colour.r / 255.0f, colour.g / 255.0f, colour.b / 255.0f, colour.a / 255.0f});
  return vb;
}

using gltest::drawWith;

class VertexbufferTest : public gltest::TargetTest {
 protected:
  VertexbufferTest() : TargetTest({0, 0, 255, 255}) {}
  st::Shader flat() { return gltest::loadProgram("vb_flat", gltest::FLAT_VS, gltest::FLAT_FS); }
};

TEST_F(VertexbufferTest, PlainDrawFillsExactlyItsSquare) {
  st::Shader shader = flat();
  st::Vertexbuffer* vb = makeSquare(RED);
  drawWith(shader, *vb);
  EXPECT_EQ(pixelAtNdc(0.0f, 0.0f), RED);
  EXPECT_EQ(pixelAtNdc(-0.45f, -0.45f), RED);  // first triangle
  EXPECT_EQ(pixelAtNdc(0.45f, 0.45f), RED);    // second triangle
  EXPECT_EQ(pixelAtNdc(-0.55f, 0.0f), CLEAR);
  EXPECT_EQ(pixelAtNdc(0.0f, 0.55f), CLEAR);
  EXPECT_EQ(pixelAtNdc(0.9f, -0.9f), CLEAR);
  delete vb;
}

TEST_F(VertexbufferTest, InstancedOnlyFromTwoInstancesOn) {
  st::Shader shader = gltest::loadProgram("vb_instanced", INSTANCED_VS, gltest::FLAT_FS);
  st::Vertexbuffer* vb = makeQuad(1.0f, 3);
  st::Vertexbuffer::Attribarray* positions = vb->attribs;
  float* offsets = vb->addAttrib(4, 3, 1);
  float* shades = vb->addAttrib(1, 4, 1);
  EXPECT_EQ(positions->count, 12);
  EXPECT_EQ(vb->attribs->count, 3);        // shades: one per instance
  EXPECT_EQ(vb->attribs->next->count, 12);  // offsets
  fill(offsets, {-0.5f, -0.5f, 0, 0, 0.5f, -0.5f, 0, 0, 0.0f, 0.5f, 0, 0});
  fill(shades, {0.2f, 0.6f, 1.0f});

  // Square i covers offset +-0.1; colour (shade, 1 - shade, 0) in bytes. One instance, and
  // none at all, draw once: the plain draw reads instance element 0.
  const Rgba first{51, 204, 0, 255}, second{153, 102, 0, 255}, third{255, 0, 0, 255};
  const struct {
    int count;
    Rgba second, third;
  } cases[] = {{3, second, third}, {1, CLEAR, CLEAR}, {0, CLEAR, CLEAR}, {2, second, CLEAR}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "instance count " << c.count);
    clear();
    vb->instanceCount = c.count;
    drawWith(shader, *vb);
    EXPECT_EQ(pixelAtNdc(-0.5f, -0.5f), first);
    EXPECT_EQ(pixelAtNdc(0.55f, -0.45f), c.second);
    EXPECT_EQ(pixelAtNdc(0.0f, 0.5f), c.third);
    EXPECT_EQ(pixelAtNdc(0.0f, 0.0f), CLEAR);
    EXPECT_EQ(pixelAtNdc(-0.5f, -0.65f), CLEAR);
  }
  delete vb;
}

TEST_F(VertexbufferTest, IndexCountZeroDrawsNothingAndUploadsNoIndices) {
  st::Shader shader = flat();
  st::Vertexbuffer* vb = makeSquare(RED);
  vb->indexCount = 0;
  shader.use();
  vb->bind();
  GLint size = -1;
  glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
  EXPECT_EQ(size, 0);
  vb->draw();
  vb->unbind();
  shader.unuse();
  EXPECT_EQ(pixelAtNdc(0.0f, 0.0f), CLEAR);
  EXPECT_EQ(pixelAtNdc(-0.45f, -0.45f), CLEAR);
  delete vb;
}

TEST_F(VertexbufferTest, UploadSendsFirstIndicesButWholeArrays) {
  st::Shader shader = flat();
  st::Vertexbuffer* vb = makeSquare(GREEN);
  vb->indexCount = 3;  // the first triangle only
  vb->vertexCount = 2;  // a fill level: the arrays still go up whole
  vb->bind();
  EXPECT_EQ(vb->dirty, 0);
  GLint size = -1;
  glGetBufferParameteriv(GL_ELEMENT_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
  EXPECT_EQ(size, 12);
  for (st::Vertexbuffer::Attribarray* a = vb->attribs; a; a = a->next) {
    GLint bound = 0;
    glGetVertexAttribiv((GLuint)a->location, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(GLuint(bound), a->vbo);
    glBindBuffer(GL_ARRAY_BUFFER, a->vbo);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, a->count * 4) << a->location;
    EXPECT_EQ(a->count, a->size * 4) << a->location;
  }
  vb->unbind();
  drawWith(shader, *vb);
  EXPECT_EQ(pixelAtNdc(-0.45f, -0.45f), GREEN);
  EXPECT_EQ(pixelAtNdc(0.45f, 0.45f), CLEAR);
  delete vb;
}

TEST_F(VertexbufferTest, ChangesWithoutDirtyChangeNothing) {
  st::Shader shader = flat();
  st::Vertexbuffer* vb = makeSquare(RED);
  drawWith(shader, *vb);
  ASSERT_EQ(pixelAtNdc(0.0f, 0.0f), RED);
  ASSERT_EQ(vb->dirty, 0);

  float* colours = vb->attribs->data;  // newest first: the colours
  ASSERT_EQ(vb->attribs->location, 3);
  for (int v = 0; v < 4; ++v) fill(colours + 4 * v, {0, 1, 0, 1});
  vb->indices[2] = 3;  // would make the first triangle (0, 1, 3)
  clear();
  drawWith(shader, *vb);
  EXPECT_EQ(pixelAtNdc(0.0f, 0.0f), RED);
  EXPECT_EQ(pixelAtNdc(-0.45f, 0.35f), RED);

  vb->dirty = 1;
  clear();
  drawWith(shader, *vb);
  EXPECT_EQ(pixelAtNdc(0.0f, 0.0f), GREEN);
  EXPECT_EQ(pixelAtNdc(-0.45f, 0.35f), CLEAR);  // the new first triangle is (0, 1, 3)
  EXPECT_EQ(vb->dirty, 0);
  delete vb;
}

TEST_F(VertexbufferTest, BufferWithoutAttributesBindsDrawsAndUnbinds) {
  st::Shader shader = gltest::loadProgram("vb_bare", BARE_VS, gltest::FLAT_FS);
  auto* vb = new st::Vertexbuffer;
  vb->init(3, -1, 0);  // unindexed: 0, 1, 2
  EXPECT_EQ(vb->attribs, nullptr);
  drawWith(shader, *vb);
  EXPECT_EQ(pixelAtNdc(-0.4f, -0.4f), RED);
  EXPECT_EQ(pixelAtNdc(0.4f, 0.4f), CLEAR);
  delete vb;
}

TEST_F(VertexbufferTest, BindPointsEveryAttributeUnbindDisablesThem) {
  auto* vb = new st::Vertexbuffer;
  vb->init(4, 6, 8);
  vb->addAttrib(3, 1, 0);
  vb->addAttrib(2, 2, 0);
  vb->addAttrib(4, 3, 2);
  vb->addAttrib(1, 4, 1);
  vb->bind();
  GLint vao = 0;
  glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
  EXPECT_EQ(GLuint(vao), vb->vao);
  gltest::expectAttribState({{1, 3, 0}, {2, 2, 0}, {3, 4, 2}, {4, 1, 1}});
  // Per-instance arrays are sized by instanceCount / divisor at the time they were added.
  EXPECT_EQ(vb->attribs->count, 8);           // (1, 4, 1)
  EXPECT_EQ(vb->attribs->next->count, 16);    // (4, 3, 2)
  vb->unbind();
  glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
  EXPECT_EQ(vao, 0);
  glBindVertexArray(vb->vao);
  gltest::expectAttribState({});
  glBindVertexArray(0);
  delete vb;
}

TEST_F(VertexbufferTest, DestructorDeletesItsGlObjects) {
  auto* vb = new st::Vertexbuffer;
  vb->init(4, 6, 0);
  vb->addAttrib(3, 1, 0);
  vb->bind();  // names become objects at their first bind
  vb->unbind();
  GLuint vao = vb->vao, ibo = vb->ibo, vbo = vb->attribs->vbo;
  EXPECT_TRUE(glIsVertexArray(vao));
  EXPECT_TRUE(glIsBuffer(ibo));
  EXPECT_TRUE(glIsBuffer(vbo));
  delete vb;
  EXPECT_FALSE(glIsVertexArray(vao));
  EXPECT_FALSE(glIsBuffer(ibo));
  EXPECT_FALSE(glIsBuffer(vbo));
}

TEST_F(VertexbufferTest, DrawErrorsNameTheCheckAfterEachDrawCall) {
  st::Shader shader = flat();
  st::Vertexbuffer* vb = makeSquare(RED);
  vb->mode = 0xFFFF;  // not a primitive mode: GL_INVALID_ENUM from either draw call
  shader.use();
  vb->bind();
  vb->draw();
  vb->instanceCount = 2;
  vb->draw();
  vb->unbind();
  shader.unuse();
  ASSERT_EQ(recorder->reports.size(), 2u);
  const char* expectedCalls[2] = {"glDrawElements(", "glDrawElementsInstanced("};
  for (int i = 0; i < 2; ++i)
    gltest::expectCheckAfterCall(recorder->reports[i], "src/st/st_vertexbuffer.cpp",
                                 "GL_INVALID_ENUM", expectedCalls[i]);
  recorder->reports.clear();
  delete vb;
}

}  // namespace
