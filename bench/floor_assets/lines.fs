// Cost floor: vertex colours as they are.
#version 330 core
in vec4 vColour;
out vec4 colour;
void main() { colour = vColour; }
