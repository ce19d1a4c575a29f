// A wide, cheap separable glow, two taps a pass and no branches (a software rasteriser
// runs both sides of a branch). The horizontal pass reads level 4 of the scene's mipmaps,
// which the compose pass leaves behind (128 x 128, each texel the mean of 16 x 16 of the
// previous frame), with linear filtering, half a coarse texel to either side; the
// vertical pass reads the full-size horizontal result the same distance above and below.
// Each way the kernel is a box of 16, a tent of 32 and the two-tap step: a deviation of
// about 11 texels, reaching 32, where a 9-tap Gaussian reaches 8. In the very first
// frame the scene has no mipmaps yet and the glow is narrow.
#version 330 core
in vec2 vUv;
uniform sampler2D tex;
uniform int horizontal;
out vec4 colour;
const float SPREAD = 8.0 / 2048.0;
const float COARSE_LOD = 4.0;
void main() {
  float h = float(horizontal);
  vec2 d = vec2(h, 1.0 - h) * SPREAD;
  float lod = h * COARSE_LOD;   // the vertical pass reads level 0, all its target has
  // The targets repeat at their edges; keep every tap inside so that the top of the
  // picture does not glow at its bottom.
  float margin = mix(0.5 / 2048.0, 0.5 / 128.0, h);
  vec2 lo = vec2(margin);
  vec2 hi = vec2(1.0 - margin);
  vec3 sum = textureLod(tex, clamp(vUv - d, lo, hi), lod).rgb +
             textureLod(tex, clamp(vUv + d, lo, hi), lod).rgb;
  colour = vec4(sum * 0.5, 1.0);
}
