// The four fixed meshes: floor box, line buffer, instanced sprite quad, screen quad.
#include "show/meshes.h"

#include "fx/math.h"

namespace {

// Every four-vertex quad is the triangles (0, 1, 2) and (1, 2, 3).
void writeQuadIndices(unsigned* indices, int quads) {
  for (int q = 0; q < quads; ++q) {
    unsigned b = 4u * (unsigned)q;
    unsigned* out = indices + 6 * q;
    out[0] = b;
    out[1] = b + 1;
    out[2] = b + 2;
    out[3] = b + 1;
    out[4] = b + 2;
    out[5] = b + 3;
  }
}

void copyFloats(float* out, const float* in, int n) {
  for (int i = 0; i < n; ++i) out[i] = in[i];
}

}  // namespace

st::Vertexbuffer* makeBox(float halfX, float halfY, float halfZ) {
  // Faces z+, y-, z-, y+, x-, x+; every triangle counter-clockwise seen from outside.
  static const unsigned boxIndices[36] = {0,  2,  1,  1,  2,  3,  5,  7,  4,  4,  7,  6,
                                          8,  10, 9,  9,  10, 11, 12, 13, 14, 13, 15, 14,
                                          16, 18, 17, 17, 18, 19, 20, 22, 21, 21, 22, 23};
  static const float unit[24][5] = {
      {-1, 1, 1, 0, 0},   {1, 1, 1, 1, 0},   {-1, -1, 1, 0, 1},  {1, -1, 1, 1, 1},
      {1, -1, 1, 0, 0},   {-1, -1, 1, 1, 0}, {1, -1, -1, 0, 1},  {-1, -1, -1, 1, 1},
      {-1, -1, -1, 0, 0}, {1, -1, -1, 1, 0}, {-1, 1, -1, 0, 1},  {1, 1, -1, 1, 1},
      {1, 1, -1, 0, 0},   {-1, 1, -1, 1, 0}, {1, 1, 1, 0, 1},    {-1, 1, 1, 1, 1},
      {-1, 1, 1, 0, 0},   {-1, -1, 1, 1, 0}, {-1, 1, -1, 0, 1},  {-1, -1, -1, 1, 1},
      {1, -1, -1, 0, 0},  {1, -1, 1, 1, 0},  {1, 1, -1, 0, 1},   {1, 1, 1, 1, 1},
  };
  st::Vertexbuffer* box = new st::Vertexbuffer;
  box->init(24, 36, 0);
  for (int i = 0; i < 36; ++i) box->indices[i] = boxIndices[i];

  float* position = box->addAttrib(3, ATTRIB_POSITION, 0);
  float* normal = box->addAttrib(3, ATTRIB_NORMAL_OR_SPRITE_UV, 0);
  float* uv = box->addAttrib(2, ATTRIB_COLOUR_UV_OR_INSTANCE, 0);
  for (int v = 0; v < 24; ++v) {
    const float* u = unit[v];
    position[3 * v + 0] = u[0] * halfX;
    position[3 * v + 1] = u[1] * halfY;
    position[3 * v + 2] = u[2] * halfZ;
    float length = floatSqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    normal[3 * v + 0] = u[0] / length;
    normal[3 * v + 1] = u[1] / length;
    normal[3 * v + 2] = u[2] / length;
    uv[2 * v + 0] = u[3];
    uv[2 * v + 1] = u[4];
  }
  return box;
}

st::Vertexbuffer* makeLineBuffer(LineBatch& batch) {
  st::Vertexbuffer* lines = new st::Vertexbuffer;
  lines->init(LINE_BUFFER_VERTICES, LINE_BUFFER_INDICES, 0);
  writeQuadIndices(lines->indices, LINE_BUFFER_INDICES / 6);
  batch.positions = lines->addAttrib(3, ATTRIB_POSITION, 0);
  batch.colours = lines->addAttrib(4, ATTRIB_COLOUR_UV_OR_INSTANCE, 0);
  return lines;
}

st::Vertexbuffer* makeSpriteBuffer(SpriteInstances& instances) {
  static const float corners[12] = {-2, -2, 0, 2, -2, 0, -2, 2, 0, 2, 2, 0};
  static const float uvs[8] = {0, 0, 1, 0, 0, 1, 1, 1};
  st::Vertexbuffer* quad = new st::Vertexbuffer;
  quad->init(4, 6, SPRITE_CAPACITY);
  writeQuadIndices(quad->indices, 1);
  copyFloats(quad->addAttrib(3, ATTRIB_POSITION, 0), corners, 12);
  copyFloats(quad->addAttrib(2, ATTRIB_NORMAL_OR_SPRITE_UV, 0), uvs, 8);
  instances.vec4 = quad->addAttrib(4, ATTRIB_COLOUR_UV_OR_INSTANCE, 1);
  instances.scalar = quad->addAttrib(1, ATTRIB_INSTANCE_SCALAR, 1);
  return quad;
}

st::Vertexbuffer* makeScreenQuad() {
  static const float corners[12] = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0};
  static const float uvs[8] = {0, 0, 1, 0, 0, 1, 1, 1};
  st::Vertexbuffer* quad = new st::Vertexbuffer;
  quad->init(4, 6, 0);
  writeQuadIndices(quad->indices, 1);
  copyFloats(quad->addAttrib(3, ATTRIB_POSITION, 0), corners, 12);
  copyFloats(quad->addAttrib(2, ATTRIB_COLOUR_UV_OR_INSTANCE, 0), uvs, 8);
  return quad;
}
