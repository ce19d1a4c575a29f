// Particle glows: a soft round spot, bright in the middle and gone at the quad's rim.
#version 330 core
in vec2 vOffset;
in float vBright;
out vec4 colour;
void main() {
  float r2 = dot(vOffset, vOffset);
  float fall = max(1.0 - r2, 0.0);
  fall *= fall;
  colour = vec4(vec3(0.75, 0.9, 1.0) * (fall * vBright), 1.0);
}
