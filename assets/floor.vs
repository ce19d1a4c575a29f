#version 330 core
layout(location = 1) in vec3 position;
layout(location = 2) in vec3 normal;
layout(location = 3) in vec2 uv;
uniform mat4 mvp;
out vec2 vUv;
void main() {
  vUv = uv + normal.xy * 0.0;
  gl_Position = mvp * vec4(position, 1.0);
}
