// A wide, cheap separable glow: one texture tap a pass, no branches (a software
// rasteriser would run both sides of a branch).
// Horizontal pass: one linear tap of level 5 of the scene's mipmaps, which the compose
// pass leaves behind (64 x 64 texels, each the mean of 32 x 32 of the previous frame).
// Sideways and upward alike that is a box of 32 texels and a tent of 64: a deviation of
// 16 texels, reaching 48, where a 9-tap Gaussian reaches 8.
// Vertical pass: a two-tap vertical blur, 16 texels up and down, taken interleaved: even
// rows take the tap below, odd rows the tap above. The compose pass reads this target
// through its mipmaps, whose first level averages every pair of rows, so it sees both
// taps for the price of one.
// In the very first frame the scene has no mipmaps yet: the glow is then just the sharp
// picture, doubled 16 texels up and down, under the fade-in.
// Alpha carries the figures' share of the light along (see lines.vs).
#version 330 core
in vec2 vUv;
uniform sampler2D tex;
uniform int horizontal;
out vec4 colour;
const float COARSE_LOD = 5.0;
const float STEP = 16.0 / 2048.0;
// A spread-out glow is faint: the horizontal pass stores it at twice its strength, so
// that 8 bits still resolve it (compose.fs divides it out again).
const float BLUR_GAIN = 2.0;
void main() {
  float h = float(horizontal);
  // Pixel centres lie at y = n + 0.5: a quarter of the way through a pair of rows on even
  // rows, three quarters on odd ones.
  float side = floor(fract(gl_FragCoord.y * 0.5) * 2.0) * 2.0 - 1.0;   // -1 even, +1 odd
  vec2 d = vec2(0.0, (1.0 - h) * side * STEP);
  // The targets repeat at their edges; keep the taps inside so that the top of the
  // picture does not glow at its bottom.
  float margin = mix(0.5 / 2048.0, 0.5 / 64.0, h);
  vec2 uv = clamp(vUv + d, vec2(margin), vec2(1.0 - margin));
  colour = textureLod(tex, uv, h * COARSE_LOD) * mix(1.0, BLUR_GAIN, h);
}
