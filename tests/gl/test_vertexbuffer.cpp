// Vertex buffers in a real context: plain and instanced draws read back from a render
// target, what an upload sends, the dirty flag, attribute state at bind and unbind.
#include "gl_test_util.h"

namespace {

using gltest::drawWith;
using gltest::expectPixels;
using gltest::fill;
using gltest::GREEN;
using gltest::makeQuad;
using gltest::makeSquare;
using gltest::pixelAtNdc;
using gltest::RED;
using gltest::Rgba;

const Rgba CLEAR{0, 0, 255, 255};

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

GLint bufferSize(GLenum target) {
  GLint size = -1;
  glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
  return size;
}

class VertexbufferTest : public gltest::TargetTest {
 protected:
  VertexbufferTest() : TargetTest(CLEAR) {}
  st::Shader flat() { return gltest::loadProgram("vb_flat", gltest::FLAT_VS, gltest::FLAT_FS); }
};

TEST_F(VertexbufferTest, PlainDrawFillsExactlyItsSquare) {
  st::Shader shader = flat();
  auto vb = makeSquare(RED);
  drawWith(shader, *vb);
  // The middle, one point in each triangle, and three points outside.
  expectPixels({{0.0f, 0.0f, RED}, {-0.45f, -0.45f, RED}, {0.45f, 0.45f, RED},
                {-0.55f, 0.0f, CLEAR}, {0.0f, 0.55f, CLEAR}, {0.9f, -0.9f, CLEAR}});
}

TEST_F(VertexbufferTest, InstancedOnlyFromTwoInstancesOn) {
  st::Shader shader = gltest::loadProgram("vb_instanced", INSTANCED_VS, gltest::FLAT_FS);
  auto vb = makeQuad(1.0f, 3);
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
    expectPixels({{-0.5f, -0.5f, first}, {0.55f, -0.45f, c.second}, {0.0f, 0.5f, c.third},
                  {0.0f, 0.0f, CLEAR}, {-0.5f, -0.65f, CLEAR}});
  }
}

TEST_F(VertexbufferTest, IndexCountZeroDrawsNothingAndUploadsNoIndices) {
  st::Shader shader = flat();
  auto vb = makeSquare(RED);
  vb->indexCount = 0;
  shader.use();
  vb->bind();
  EXPECT_EQ(bufferSize(GL_ELEMENT_ARRAY_BUFFER), 0);
  vb->draw();
  vb->unbind();
  shader.unuse();
  expectPixels({{0.0f, 0.0f, CLEAR}, {-0.45f, -0.45f, CLEAR}});
}

TEST_F(VertexbufferTest, UploadSendsFirstIndicesButWholeArrays) {
  st::Shader shader = flat();
  auto vb = makeSquare(GREEN);
  vb->indexCount = 3;  // the first triangle only
  vb->vertexCount = 2;  // a fill level: the arrays still go up whole
  vb->bind();
  EXPECT_EQ(vb->dirty, 0);
  EXPECT_EQ(bufferSize(GL_ELEMENT_ARRAY_BUFFER), 12);
  for (st::Vertexbuffer::Attribarray* a = vb->attribs; a; a = a->next) {
    EXPECT_EQ(GLuint(gltest::attribInt(GLuint(a->location), GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING)),
              a->vbo);
    glBindBuffer(GL_ARRAY_BUFFER, a->vbo);
    EXPECT_EQ(bufferSize(GL_ARRAY_BUFFER), a->count * 4) << a->location;
    EXPECT_EQ(a->count, a->size * 4) << a->location;
  }
  vb->unbind();
  drawWith(shader, *vb);
  expectPixels({{-0.45f, -0.45f, GREEN}, {0.45f, 0.45f, CLEAR}});
}

TEST_F(VertexbufferTest, ChangesWithoutDirtyChangeNothing) {
  st::Shader shader = flat();
  auto vb = makeSquare(RED);
  drawWith(shader, *vb);
  ASSERT_EQ(pixelAtNdc(0.0f, 0.0f), RED);
  ASSERT_EQ(vb->dirty, 0);

  float* colours = vb->attribs->data;  // newest first: the colours
  ASSERT_EQ(vb->attribs->location, 3);
  for (int v = 0; v < 4; ++v) fill(colours + 4 * v, {0, 1, 0, 1});
  vb->indices[2] = 3;  // would make the first triangle (0, 1, 3)
  clear();
  drawWith(shader, *vb);
  expectPixels({{0.0f, 0.0f, RED}, {-0.45f, 0.35f, RED}});

  vb->dirty = 1;
  clear();
  drawWith(shader, *vb);
  // The new first triangle (0, 1, 3) leaves the upper left corner.
  expectPixels({{0.0f, 0.0f, GREEN}, {-0.45f, 0.35f, CLEAR}});
  EXPECT_EQ(vb->dirty, 0);
}

TEST_F(VertexbufferTest, BufferWithoutAttributesBindsDrawsAndUnbinds) {
  st::Shader shader = gltest::loadProgram("vb_bare", BARE_VS, gltest::FLAT_FS);
  st::Vertexbuffer vb;
  vb.init(3, -1, 0);  // unindexed: 0, 1, 2
  EXPECT_EQ(vb.attribs, nullptr);
  drawWith(shader, vb);
  expectPixels({{-0.4f, -0.4f, RED}, {0.4f, 0.4f, CLEAR}});
}

TEST_F(VertexbufferTest, BindPointsEveryAttributeUnbindDisablesThem) {
  st::Vertexbuffer vb;
  vb.init(4, 6, 8);
  const std::vector<gltest::AttribState> attribs = {{1, 3, 0}, {2, 2, 0}, {3, 4, 2}, {4, 1, 1}};
  for (const auto& a : attribs) vb.addAttrib(a.size, a.location, a.divisor);
  vb.bind();
  EXPECT_EQ(GLuint(gltest::getInt(GL_VERTEX_ARRAY_BINDING)), vb.vao);
  gltest::expectAttribState(attribs);
  // Per-instance arrays are sized by instanceCount / divisor at the time they were added.
  EXPECT_EQ(vb.attribs->count, 8);           // (1, 4, 1)
  EXPECT_EQ(vb.attribs->next->count, 16);    // (4, 3, 2)
  vb.unbind();
  EXPECT_EQ(gltest::getInt(GL_VERTEX_ARRAY_BINDING), 0);
  glBindVertexArray(vb.vao);
  gltest::expectAttribState({});
  glBindVertexArray(0);
}

TEST_F(VertexbufferTest, DestructorDeletesItsGlObjects) {
  auto vb = std::make_unique<st::Vertexbuffer>();
  vb->init(4, 6, 0);
  vb->addAttrib(3, 1, 0);
  vb->bind();  // names become objects at their first bind
  vb->unbind();
  GLuint vao = vb->vao, ibo = vb->ibo, vbo = vb->attribs->vbo;
  EXPECT_TRUE(glIsVertexArray(vao));
  EXPECT_TRUE(glIsBuffer(ibo));
  EXPECT_TRUE(glIsBuffer(vbo));
  vb.reset();
  EXPECT_FALSE(glIsVertexArray(vao));
  EXPECT_FALSE(glIsBuffer(ibo));
  EXPECT_FALSE(glIsBuffer(vbo));
}

TEST_F(VertexbufferTest, DrawErrorsNameTheCheckAfterEachDrawCall) {
  st::Shader shader = flat();
  auto vb = makeSquare(RED);
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
}

}  // namespace
