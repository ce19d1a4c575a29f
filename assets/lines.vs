#version 330 core
layout(location = 1) in vec3 position;
layout(location = 3) in vec4 colour;
uniform mat4 mvp;
uniform float colmul;
uniform float time;
out vec4 vColour;
void main() {
  vColour = colour * colmul + vec4(time * 0.0);
  gl_Position = mvp * vec4(position, 1.0);
}
