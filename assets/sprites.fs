#version 330 core
in vec2 vUv;
in float vBright;
out vec4 colour;
void main() {
  float d = length(vUv - 0.5) * 2.0;
  colour = vec4(vec3(max(0.0, 1.0 - d) * vBright), 1.0);
}
