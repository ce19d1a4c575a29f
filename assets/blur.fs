// A wide, cheap separable glow: one texture tap a pass, no branches (a software
// rasteriser would run both sides of a branch).
// Horizontal pass: one linear tap of level 2 of the scene's mipmaps, which the compose
// pass leaves behind (512 x 512 texels, each the mean of 4 x 4 of the previous frame).
// Vertical pass: a two-tap vertical blur, 16 texels up and down, taken interleaved: even
// rows take the tap below, odd rows the tap above.
// The compose pass reads the result through level 5 of its mipmaps, each texel the mean
// of 32 x 32: that sees both interleaved taps for the price of one, and spreads the glow
// sideways and upward alike over a box of 32 texels and a tent of 64, a deviation of 16
// texels, reaching 48, where a 9-tap Gaussian reaches 8.
// Why the wide average comes last: every driver builds mipmaps with its own rounding, and
// some round up, a quarter of a step of 8 bits a level on average (Mesa's llvmpipe).
// Read five levels deep in the scene, that drift brightened the whole glow by more than
// a step; the blurred target holds twice the light, so there the same drift weighs half.
// In the very first frame the scene has no mipmaps yet: the glow is then the sharp
// picture, doubled 16 texels up and down, under the fade-in.
// Alpha carries the figures' share of the light along (see lines.vs).
#version 330 core
in vec2 vUv;
uniform sampler2D tex;
uniform int horizontal;
out vec4 colour;
const float SCENE_LOD = 2.0;
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
  float margin = mix(0.5 / 2048.0, 0.5 / 512.0, h);
  vec2 uv = clamp(vUv + d, vec2(margin), vec2(1.0 - margin));
  colour = textureLod(tex, uv, h * SCENE_LOD) * mix(1.0, BLUR_GAIN, h);
}
