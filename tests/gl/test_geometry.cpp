// The fixed meshes drawn in a real context: the floor box with back-face culling from all
// six sides, and the quads' attributes at the locations the shaders use.
#include <set>
#include <vector>

#include "gl_test_util.h"
#include "show/meshes.h"

namespace {

using gltest::pixelAtNdc;
using gltest::Rgba;

class GeometryTest : public gltest::TargetTest {
 protected:
  GeometryTest() : TargetTest({0, 0, 0, 0}) {}
};

// What bind leaves enabled; every other location disabled.
void expectAttributes(st::Vertexbuffer& vb, const std::vector<gltest::AttribState>& expected) {
  vb.bind();
  gltest::expectAttribState(expected);
  vb.unbind();
}

// The box squeezed into [-0.5, 0.5]^3, turned so that one face looks at the viewer, and
// every fragment coloured with the number of its triangle.
const char* BOX_VS = R"(#version 330 core
layout(location = 1) in vec3 position;
uniform mat4 turn;
uniform vec3 squeeze;
void main() {
  vec3 p = (turn * vec4(position * squeeze, 1.0)).xyz;
  gl_Position = vec4(p.xy, -p.z, 1.0);
}
)";
const char* BOX_FS = R"(#version 330 core
out vec4 fragColour;
void main() { fragColour = vec4(float(gl_PrimitiveID) / 255.0, 0.0, 0.0, 1.0); }
)";

// Turns (rows of a rotation) that bring each face's outward normal to +z, the viewer's
// side; faces in the box's order z+, y-, z-, y+, x-, x+.
const int TURNS[6][3][3] = {
    {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},   {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
    {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}, {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
    {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}},  {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
};
const int OPPOSITE[6] = {2, 3, 0, 1, 5, 4};

// The set of triangles seen over the face's square, or {-1} where something is missing.
std::set<int> trianglesSeen() {
  std::set<int> seen;
  for (int i = -4; i <= 4; ++i) {
    for (int j = -4; j <= 4; ++j) {
      Rgba p = pixelAtNdc(0.1f * i + 0.013f, 0.1f * j + 0.007f);
      seen.insert(p.a == 255 ? int(p.r) : -1);
    }
  }
  return seen;
}

TEST_F(GeometryTest, BoxShowsOnlyItsOutsideFacesWithBackFaceCulling) {
  st::Shader shader = gltest::loadProgram("box_faces", BOX_VS, BOX_FS);
  std::unique_ptr<st::Vertexbuffer> box(makeBox(400.0f, 2.0f, 400.0f));
  shader.use();
  glUniform3f(shader.uniformLocation("squeeze"), 1.0f / 800.0f, 1.0f / 4.0f, 1.0f / 800.0f);
  glEnable(GL_CULL_FACE);
  glFrontFace(GL_CCW);
  for (GLenum culled : {GL_BACK, GL_FRONT}) {
    glCullFace(culled);
    for (int face = 0; face < 6; ++face) {
      float turn[16] = {};
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) turn[4 * c + r] = float(TURNS[face][r][c]);  // column-major
      turn[15] = 1.0f;
      shader.setMatrix4("turn", turn);
      clear();
      box->bind();
      box->draw();
      box->unbind();
      // Culling the back faces leaves the face toward the viewer; culling the front ones
      // leaves the inside of the face opposite.
      int shown = culled == GL_BACK ? face : OPPOSITE[face];
      EXPECT_EQ(trianglesSeen(), (std::set<int>{2 * shown, 2 * shown + 1}))
          << "face " << face << (culled == GL_BACK ? " culling back" : " culling front");
      EXPECT_EQ(pixelAtNdc(0.0f, 0.55f).a, 0) << face;
      EXPECT_EQ(pixelAtNdc(-0.55f, 0.0f).a, 0) << face;
    }
  }
  glDisable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  shader.unuse();
  expectAttributes(*box, {{1, 3, 0}, {2, 3, 0}, {3, 2, 0}});
}

TEST_F(GeometryTest, ScreenQuadCoversTheTargetWithTextureCoordinatesAtThree) {
  const char* fs = R"(#version 330 core
in vec2 vUv;
out vec4 fragColour;
void main() { fragColour = vec4(vUv, 0.0, 1.0); }
)";
  st::Shader shader = gltest::loadProgram("screen_quad", gltest::UV_VS, fs);
  std::unique_ptr<st::Vertexbuffer> quad(makeScreenQuad());
  expectAttributes(*quad, {{1, 3, 0}, {3, 2, 0}});
  gltest::drawWith(shader, *quad);
  // uv runs from 0 at the left and bottom edges to 1 at the right and top.
  for (int x : {0, 511, 1024, 2047}) {
    for (int y : {0, 1500, 2047}) {
      Rgba p = gltest::pixelAt(x, y);
      EXPECT_NEAR(p.r, (x + 0.5) / 2048.0 * 255.0, 1.0) << x << ", " << y;
      EXPECT_NEAR(p.g, (y + 0.5) / 2048.0 * 255.0, 1.0) << x << ", " << y;
      EXPECT_EQ(p.a, 255);
    }
  }
}

TEST_F(GeometryTest, SpriteQuadIsInstancedWithTextureCoordinatesAtTwo) {
  const char* vs = R"(#version 330 core
layout(location = 1) in vec3 position;
layout(location = 2) in vec2 uv;
layout(location = 3) in vec4 place;
layout(location = 4) in float shade;
out vec4 vColour;
void main() {
  vColour = vec4(uv, shade, 1.0);
  gl_Position = vec4(position * 0.1 + place.xyz, 1.0);
}
)";
  st::Shader shader = gltest::loadProgram("sprite_quad", vs, gltest::FLAT_FS);
  SpriteInstances instances;
  std::unique_ptr<st::Vertexbuffer> sprites(makeSpriteBuffer(instances));
  EXPECT_EQ(sprites->instanceCount, 10000);
  expectAttributes(*sprites, {{1, 3, 0}, {2, 2, 0}, {3, 4, 1}, {4, 1, 1}});

  // Two sprites, 0.4 wide, around (-0.5, 0) and (0.5, 0).
  const float places[8] = {-0.5f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.0f};
  for (int i = 0; i < 8; ++i) instances.vec4[i] = places[i];
  instances.scalar[0] = 0.2f;
  instances.scalar[1] = 1.0f;
  sprites->instanceCount = 2;
  sprites->dirty = 1;
  gltest::drawWith(shader, *sprites);

  // Near a sprite's lower-left corner uv is near (0, 0), near its upper-right near (1, 1);
  // blue is each sprite's own shade.
  Rgba lowLeft = pixelAtNdc(-0.69f, -0.19f), highRight = pixelAtNdc(0.69f, 0.19f);
  EXPECT_TRUE(lowLeft.r < 20 && lowLeft.g < 20 && lowLeft.b == 51) << lowLeft;
  EXPECT_TRUE(highRight.r > 235 && highRight.g > 235 && highRight.b == 255) << highRight;
  EXPECT_EQ(pixelAtNdc(0.0f, 0.0f).a, 0);
  EXPECT_EQ(pixelAtNdc(-0.5f, 0.25f).a, 0);
}

TEST_F(GeometryTest, LineBufferDrawsExactlyTheQuadsCounted) {
  st::Shader shader = gltest::loadProgram("line_quads", gltest::FLAT_VS, gltest::FLAT_FS);
  LineBatch batch;
  std::unique_ptr<st::Vertexbuffer> lines(makeLineBuffer(batch));
  expectAttributes(*lines, {{1, 3, 0}, {3, 4, 0}});
  lines->vertexCount = 0;
  lines->indexCount = 0;
  // Three quads written as a producer would; only the first two are counted.
  const float lefts[3] = {-0.9f, -0.3f, 0.3f};
  for (int q = 0; q < 3; ++q) {
    const float corners[4][2] = {{lefts[q], -0.2f}, {lefts[q] + 0.4f, -0.2f},
                                 {lefts[q], 0.2f},  {lefts[q] + 0.4f, 0.2f}};
    for (int v = 0; v < 4; ++v) {
      int n = 4 * q + v;
      gltest::fill(&batch.positions[3 * n], {corners[v][0], corners[v][1], 0.0f});
      gltest::fill(&batch.colours[4 * n], {1.0f, q == 0 ? 1.0f : 0.0f, 0.0f, 1.0f});
    }
  }
  lines->vertexCount = 8;
  lines->indexCount = 12;
  lines->dirty = 1;
  gltest::drawWith(shader, *lines);
  const Rgba yellow{255, 255, 0, 255};
  gltest::expectPixels({{-0.7f, 0.1f, yellow}, {-0.7f, -0.1f, yellow},
                        {-0.1f, 0.1f, gltest::RED}, {-0.1f, -0.1f, gltest::RED}});
  EXPECT_EQ(pixelAtNdc(0.5f, 0.0f).a, 0);
}

}  // namespace
