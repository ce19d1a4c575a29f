// The floor slab: a dark box whose top catches a soft sheen under the texts.
#version 330 core
layout(location = 1) in vec3 position;
layout(location = 2) in vec3 normal;
layout(location = 3) in vec2 uv;
uniform mat4 mvp;
out vec3 vNormal;
void main() {
  // The box's normals point through its corners; interpolated over the top face they
  // stand straightest at the centre, where the texts are, so they give a radial sheen
  // for free.
  vNormal = normal;
  gl_Position = mvp * vec4(position, 1.0);
}
