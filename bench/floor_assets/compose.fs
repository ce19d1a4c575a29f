// Cost floor: sharp plus blurred, one tap each, faded in with "t".
#version 330 core
in vec2 vUv;
uniform sampler2D tex;
uniform sampler2D blurtex;
uniform float t;
out vec4 colour;
void main() {
  colour = vec4((texture(tex, vUv).rgb + texture(blurtex, vUv).rgb) * clamp(t, 0.0, 1.0), 1.0);
}
