#version 330 core
in vec2 vUv;
out vec4 colour;
void main() { colour = vec4(vec3(0.05), 1.0); }
