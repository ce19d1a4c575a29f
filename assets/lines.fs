// Glowing line walls: the interpolated colour already falls linearly up the wall; the
// foot weight squared makes it fall with the cube of the height, so the light hugs the
// ground. Added to what is already there.
#version 330 core
in vec3 vColour;
in float vFoot;
out vec4 colour;
void main() { colour = vec4(vColour * (vFoot * vFoot), 1.0); }
