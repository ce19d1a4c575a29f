// Glowing line walls: the interpolated colour, faded once more by the height up the wall
// so that the light hugs the ground; added to what is already there.
#version 330 core
in vec3 vColour;
in float vFoot;
out vec4 colour;
void main() { colour = vec4(vColour * (vFoot * vFoot), 1.0); }
