// Particle glows: a soft round spot, bright in the middle and gone at the quad's rim. The
// fountain counts as a figure: its light also goes to alpha, so that the compose pass
// keeps it below the credits (constants as in lines.vs).
#version 330 core
in vec2 vOffset;
in float vBright;
out vec4 colour;
const float HEADROOM = 3.0;
const float FIGURE_RANGE = 4.0;
void main() {
  float r2 = dot(vOffset, vOffset);
  float fall = max(1.0 - r2, 0.0);
  fall *= fall;
  float light = fall * vBright;
  colour = vec4(vec3(0.45, 0.8, 1.0) * (light / HEADROOM), light / FIGURE_RANGE);
}
