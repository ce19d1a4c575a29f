// Builders of the show's four meshes, and the attribute arrays they hand to the line and
// sprite producers.
#pragma once
#include "fx/lines.h"
#include "fx/sprites.h"
#include "st/st_vertexbuffer.h"

// Attribute locations shared with the shaders.
enum : int {
  ATTRIB_POSITION = 1,
  ATTRIB_NORMAL_OR_SPRITE_UV = 2,
  ATTRIB_COLOUR_UV_OR_INSTANCE = 3,
  ATTRIB_INSTANCE_SCALAR = 4,
};

// Instances the sprite buffer holds: one per particle slot.
enum : int { SPRITE_CAPACITY = SPRITE_SLOTS };

st::Vertexbuffer* makeBox(float halfX, float halfY, float halfZ);
// Points `lines` at the buffer's position and colour arrays.
st::Vertexbuffer* makeLineBuffer(LineBatch& lines);
// Points `instances` at the buffer's per-instance arrays.
st::Vertexbuffer* makeSpriteBuffer(SpriteInstances& instances);
st::Vertexbuffer* makeScreenQuad();
