// Glowing line walls: the colour stands at the foot of each wall and falls to black at its
// top, so under additive blending the walls fade upward. Credits and figures are lit
// differently, so that the letters always stand out from the star and the tendrils.
#version 330 core
layout(location = 1) in vec3 position;
layout(location = 3) in vec4 colour;
uniform mat4 mvp;
uniform float colmul;
uniform float time;
out vec3 vColour;
out float vFigure;
out float vFoot;
out float vHug;
out float vRibbon;
// The scene target has 8 bits a channel and clips at 1.0: it holds light divided by
// HEADROOM, so that a dozen overlapping walls still add up instead of clipping to white.
// The compose pass multiplies it back (compose.fs has the same constant).
const float HEADROOM = 3.0;
// Figure light is also summed, alone, in the alpha channel, divided by FIGURE_RANGE; the
// compose pass uses it to keep the figures below the credits (compose.fs, same constant).
const float FIGURE_RANGE = 4.0;
// Light at the foot of a wall of full brightness, in the compose pass's units (1 is a
// bright glow, about 0.75 on screen).
const float TEXT_GAIN = 1.6;
const float FIGURE_GAIN = 0.55;
// The flat ribbon along each stroke traces the letter on the ground, and from the camera
// it is a thin line between the wall and its mirror image: lit brighter (lines.fs tells
// it from the wall), it draws the letter's shape in front of the walls' glow.
const float TEXT_RIBBON = 2.4;
const float FIGURE_RIBBON = 1.3;
void main() {
  float top = max(colour.r, max(colour.g, colour.b));
  float low = min(colour.r, min(colour.g, colour.b));
  // The credits are drawn at saturation 0.2, the star and the tendrils at 0.1: that is how
  // the two are told apart here. Anything else (grey lines) is lit like a credit.
  float saturation = top > 1e-6 ? (top - low) / top : 0.0;
  float figure = step(0.05, saturation) * step(saturation, 0.15);
  // Those pale tints would add up to white: widen them, keeping hue and value. The
  // figures' hue runs become plain colours; the credits keep a lighter tint.
  float widen = mix(1.5, 5.5, figure);
  vec3 tinted = max(vec3(top) - (vec3(top) - colour.rgb) * widen, vec3(0.0));
  // A slow, faint shimmer travelling across the ground: at most 8 % either way, so the
  // texts always read.
  float shimmer = 1.0 + 0.08 * sin(time * 0.35 + position.x * 0.11 - position.z * 0.07);
  float gain = mix(TEXT_GAIN, FIGURE_GAIN, figure) * colmul * shimmer;
  vRibbon = mix(TEXT_RIBBON, FIGURE_RIBBON, figure);
  vColour = tinted * (gain / HEADROOM);
  vFigure = figure * top * gain / FIGURE_RANGE;
  // 1 at a coloured (foot or ribbon) vertex, 0 at a black wall top.
  vFoot = step(1e-6, top);
  // The figures' light hugs the ground more closely than the letters' does: their walls
  // stand behind the credits and would otherwise pile up over them.
  vHug = mix(3.0, 4.0, figure);
  gl_Position = mvp * vec4(position, 1.0);
}
