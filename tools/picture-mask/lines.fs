// Picture meter, text mask: the ribbon and the lower half of each letter wall.
#version 330 core
in float vText;
in float vMirror;
in float vFoot;
out vec4 colour;
void main() { colour = vec4(vec2(vText, vMirror) * step(0.5, vFoot), 0.0, 1.0); }
