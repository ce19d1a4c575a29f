#version 330 core
in vec2 vUv;
uniform sampler2D tex;
uniform int horizontal;
out vec4 colour;
void main() {
  vec2 step = horizontal == 1 ? vec2(1.0 / 2048.0, 0.0) : vec2(0.0, 1.0 / 2048.0);
  colour = (texture(tex, vUv - step) + texture(tex, vUv) + texture(tex, vUv + step)) / 3.0;
}
