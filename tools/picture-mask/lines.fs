// Picture meter, text mask: the ribbon and the lower half of each letter wall.
#version 330 core
in float vText;
in float vFoot;
out vec4 colour;
void main() { colour = vec4(vec3(vText * step(0.5, vFoot)), 1.0); }
