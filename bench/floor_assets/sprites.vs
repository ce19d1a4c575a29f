// Cost floor: flat camera-facing quads.
#version 330 core
layout(location = 1) in vec3 corner;
layout(location = 2) in vec2 uv;
layout(location = 3) in vec4 instance;
layout(location = 4) in float life;
uniform mat4 view;
uniform mat4 proj;
uniform float colmul;
out float vBright;
void main() {
  vBright = life * colmul;
  gl_Position = proj * (view * vec4(instance.xyz, 1.0) + vec4(corner * 0.25, 0.0));
}
