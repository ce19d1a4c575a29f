// Picture meter, text mask: the particles add nothing.
#version 330 core
in vec2 vOffset;
in float vBright;
out vec4 colour;
void main() { colour = vec4(vec3(0.0), 1.0); }
