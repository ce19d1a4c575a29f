// Blur passes: the full-screen quad with its texture coordinates.
#version 330 core
layout(location = 1) in vec3 position;
layout(location = 3) in vec2 uv;
out vec2 vUv;
void main() {
  vUv = uv;
  gl_Position = vec4(position, 1.0);
}
