// Cost floor: vertex colours as they are ("time" only reaches the unused alpha).
#version 330 core
layout(location = 1) in vec3 position;
layout(location = 3) in vec4 colour;
uniform mat4 mvp;
uniform float colmul;
uniform float time;
out vec4 vColour;
void main() {
  vColour = vec4(colour.rgb * colmul, time);
  gl_Position = mvp * vec4(position, 1.0);
}
