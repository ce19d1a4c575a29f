#version 330 core
layout(location = 1) in vec3 corner;
layout(location = 2) in vec2 uv;
layout(location = 3) in vec4 instance;
layout(location = 4) in float life;
uniform mat4 view;
uniform mat4 proj;
uniform float colmul;
out vec2 vUv;
out float vBright;
void main() {
  vUv = uv;
  vBright = life * colmul;
  vec4 centre = view * vec4(instance.xyz, 1.0);
  gl_Position = proj * (centre + vec4(corner * 0.25, 0.0));
}
