// Builders of the show's fixed meshes, and the attribute arrays they hand to producers.
#pragma once
#include "st/st_vertexbuffer.h"

// Attribute locations shared with the shaders.
enum : int {
  ATTRIB_POSITION = 1,
  ATTRIB_NORMAL_OR_SPRITE_UV = 2,
  ATTRIB_COLOUR_UV_OR_INSTANCE = 3,
  ATTRIB_INSTANCE_SCALAR = 4,
};

enum : int {
  LINE_BUFFER_VERTICES = 80000,
  LINE_BUFFER_INDICES = 120000,
  SPRITE_CAPACITY = 10000,
};

st::Vertexbuffer* makeBox(float halfX, float halfY, float halfZ);
st::Vertexbuffer* makeLineBuffer();
st::Vertexbuffer* makeSpriteBuffer();
st::Vertexbuffer* makeScreenQuad();

extern float* linePositions;         // 3 floats per line vertex (location 1)
extern float* lineColours;           // 4 floats per line vertex (location 3)
extern float* spriteInstanceVec4;    // 4 floats per sprite instance (location 3)
extern float* spriteInstanceScalar;  // 1 float per sprite instance (location 4)
