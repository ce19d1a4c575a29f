// Glowing line walls: the colour stands at the foot of each wall and falls to black at its
// top, so under additive blending the walls fade upward.
#version 330 core
layout(location = 1) in vec3 position;
layout(location = 3) in vec4 colour;
uniform mat4 mvp;
uniform float colmul;
uniform float time;
out vec3 vColour;
out float vFoot;
// Overlapping walls add up; at a little under half strength two of them still stay
// below white and keep their tint.
const float GAIN = 0.45;
void main() {
  // A slow, faint shimmer travelling across the ground: at most 8 % either way, so the
  // texts always read.
  float shimmer = 1.0 + 0.08 * sin(time * 0.35 + position.x * 0.11 - position.z * 0.07);
  vColour = colour.rgb * (colmul * shimmer * GAIN);
  // 1 at a coloured (foot or ribbon) vertex, 0 at a black wall top.
  vFoot = step(1e-6, max(colour.r, max(colour.g, colour.b)));
  gl_Position = mvp * vec4(position, 1.0);
}
