// Picture meter, text mask: the floor adds nothing.
#version 330 core
in vec3 vNormal;
out vec4 colour;
void main() { colour = vec4(vec3(0.0) * vNormal, 1.0); }
