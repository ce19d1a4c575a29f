// Cost floor: flat camera-facing quads.
#version 330 core
in float vBright;
out vec4 colour;
void main() { colour = vec4(vec3(vBright), 1.0); }
