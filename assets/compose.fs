// Compose pass: the sharp scene plus its blurred copy as bloom, a gentle vignette, a tone
// curve with a shoulder that keeps the hue of bright light instead of clipping it to
// white, and a fade-in over the first second. The figures are held below the credits.
// Both targets are read texel by texel with weights worked out here, never through the
// driver's filtering or its generated mipmaps: drivers round those differently, and the
// tone curve would show it (see blur.fs).
#version 330 core
in vec2 vUv;
uniform sampler2D tex;       // the sharp scene, unit 0
uniform sampler2D blurtex;   // the blurred scene, unit 1
uniform float t;             // seconds since start
out vec4 colour;
// How the scene is stored (lines.vs): light divided by HEADROOM in colour, the figures'
// light divided by FIGURE_RANGE in alpha; the blur stores twice its light (blur.fs).
const float HEADROOM = 3.0;
const float FIGURE_RANGE = 4.0;
const float BLUR_GAIN = 2.0;
// However much of the star, the tendrils and the fountain piles up at a point, it stays
// under this much light, under half the foot of a credit's wall (1.6): the letters always
// rise above what stands behind them.
const float FIGURE_CAP = 0.75;
// Where a credit's light stands, the figure behind it gives way, up to this share, as
// if the glowing letters stood in front of it: the letters keep their own colour.
const float OCCLUSION = 0.8;
// Around the credits (their light in the blurred copy) the figures dim too, up to this
// share, so each word stands on a darker ground of its own.
const float BACKDROP = 0.85;
const float BLOOM = 0.45;
// The bloom saturates: a wide mass of light gets a halo, not a white fog.
const float BLOOM_KNEE = 1.2;
const float EXPOSURE = 1.3;

const int SIZE = 2048;    // texels a side of each target
const ivec2 CELLS = ivec2(256, 128);   // the glow's cells across and up (blur.fs)

float brightest(vec3 c) { return max(c.r, max(c.g, c.b)); }

// The sharp scene, averaged over this pixel's footprint: a box as wide and as tall as the
// pixel covers in texels (at least one texel, which is plain bilinear filtering), over
// the texels as little squares; each texel weighs its overlap with the box. The loops
// have fixed counts, which a compiler unrolls, in three sizes: a picture of 1024 lines or
// more, one of 512 or more, and smaller ones, whose box is held at 5 x 7 texels. With
// the coordinates held 0.002 inside the target, no box reaches past its edges.
float overlap(float lo, float hi, float texel) {
  return max(min(hi, texel + 1.0) - max(lo, texel), 0.0);
}
#define SHARP_SCENE(NAME, NX, NY)                                                   \
  vec4 NAME(vec2 centre, vec2 box) {                                                \
    vec2 lo = centre - 0.5 * box, hi = lo + box;                                    \
    ivec2 first = ivec2(floor(lo));                                                 \
    vec4 sum = vec4(0.0);                                                           \
    for (int j = 0; j < NY; ++j) {                                                  \
      vec4 row = vec4(0.0);                                                         \
      for (int i = 0; i < NX; ++i)                                                  \
        row += texelFetch(tex, first + ivec2(i, j), 0) *                            \
               overlap(lo.x, hi.x, float(first.x + i));                            \
      sum += row * overlap(lo.y, hi.y, float(first.y + j));                         \
    }                                                                               \
    return sum / (box.x * box.y);                                                   \
  }
SHARP_SCENE(sharpLarge, 3, 3)
SHARP_SCENE(sharpMedium, 4, 5)
SHARP_SCENE(sharpSmall, 6, 8)

vec4 sharpScene(vec2 uv, vec2 footprint) {
  vec2 centre = uv * float(SIZE);
  vec2 box = max(footprint, vec2(1.0));
  if (box.x <= 2.0 && box.y <= 2.0) return sharpLarge(centre, box);
  if (box.x <= 3.0 && box.y <= 4.0) return sharpMedium(centre, box);
  return sharpSmall(centre, min(box, vec2(5.0, 7.0)));
}

// The glow's cells (blur.fs), interpolated bilinearly.
vec4 glowAt(vec2 uv) {
  vec2 c = uv * vec2(CELLS) - 0.5;
  vec2 c0 = floor(c);
  vec2 f = c - c0;
  ivec2 i0 = clamp(ivec2(c0), ivec2(0), CELLS - 1);
  ivec2 i1 = clamp(ivec2(c0) + 1, ivec2(0), CELLS - 1);
  return mix(mix(texelFetch(blurtex, i0, 0), texelFetch(blurtex, ivec2(i1.x, i0.y), 0), f.x),
             mix(texelFetch(blurtex, ivec2(i0.x, i1.y), 0), texelFetch(blurtex, i1, 0), f.x), f.y);
}

// Light with the figures' share (measured like the brightest channel) compressed under
// FIGURE_CAP and pushed back behind the letters, the rest (credits, grey lines) left as
// it is.
vec3 holdFigures(vec3 light, float figure, float backdrop) {
  float total = brightest(light);
  // Beyond the floor the cleared alpha of 1 stays: no light stands there to hold back.
  float f = min(figure, total);
  float letters = total - f;
  f = FIGURE_CAP * (1.0 - exp(-f / FIGURE_CAP));
  float held = letters + f * (1.0 - max(OCCLUSION * smoothstep(0.0, 0.6, letters), backdrop));
  return light * (held / max(total, 1e-4));
}

void main() {
  // The targets repeat at their edges: stay a few texels inside so nothing wraps round.
  vec2 uv = clamp(vUv, 0.002, 0.998);
  // Texels of the scene per pixel, across and up (the target is stretched to the viewport).
  vec2 footprint = vec2(length(dFdx(vUv)), length(dFdy(vUv))) * float(SIZE);
  vec4 sharp = sharpScene(uv, footprint);
  vec4 glow = glowAt(uv) * (1.0 / BLUR_GAIN);
  vec3 glowLight = glow.rgb * HEADROOM;
  float glowFigure = glow.a * FIGURE_RANGE;
  float nearLetters = max(brightest(glowLight) - glowFigure, 0.0);
  float backdrop = BACKDROP * smoothstep(0.03, 0.12, nearLetters);
  vec3 light = holdFigures(sharp.rgb * HEADROOM, sharp.a * FIGURE_RANGE, backdrop);
  vec3 halo = holdFigures(glowLight, glowFigure, backdrop);
  light += halo * (BLOOM / (1.0 + brightest(halo) / BLOOM_KNEE));
  vec2 v = vUv - 0.5;
  light *= 1.0 - 0.6 * dot(v, v);
  // The shoulder acts on the brightest channel and scales the others with it, so a
  // coloured light stays that colour however bright it gets.
  float m = brightest(light);
  vec3 c = light * ((1.0 - exp(-EXPOSURE * m)) / max(m, 1e-4));
  colour = vec4(c * clamp(t, 0.0, 1.0), 1.0);
}
