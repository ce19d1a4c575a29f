// Cost floor: the slab in one flat colour.
#version 330 core
out vec4 colour;
void main() { colour = vec4(0.05, 0.05, 0.05, 1.0); }
