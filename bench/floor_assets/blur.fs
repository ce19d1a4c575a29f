// Cost floor: a 1-tap copy ("horizontal" only reaches the unused alpha).
#version 330 core
in vec2 vUv;
uniform sampler2D tex;
uniform int horizontal;
out vec4 colour;
void main() { colour = vec4(texture(tex, vUv).rgb, float(horizontal)); }
