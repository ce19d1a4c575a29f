// Compose pass: the sharp scene plus its blurred copy as bloom, a gentle vignette, a tone
// curve with a shoulder that keeps the hue of bright light instead of clipping it to
// white, and a fade-in over the first second. The figures are held below the credits.
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

float brightest(vec3 c) { return max(c.r, max(c.g, c.b)); }

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

// The sharp scene. Its mipmaps come from the driver, with the driver's rounding (llvmpipe
// lands a quarter of a step of 8 bits high on average, at every level), and in the dark,
// where the tone curve stretches each stored step about fourfold, that showed. So where
// the scene is dark the picture comes from level 0 itself: two linear taps a quarter of
// the pixel's height above and below its centre (a row of the picture spans nearly twice
// as many texels as a column), which also average the floor's dither. Where it is bright
// the trilinear read stays: its softer cores keep the credits from burning white.
vec4 sharpScene(vec2 uv) {
  vec4 soft = texture(tex, uv);
  vec2 dy = dFdy(vUv) * 0.25;
  vec2 at = clamp(uv, vec2(0.002) + abs(dy), vec2(0.998) - abs(dy));
  vec4 fine = 0.5 * (textureLod(tex, at - dy, 0.0) + textureLod(tex, at + dy, 0.0));
  return mix(fine, soft, smoothstep(0.05, 0.25, brightest(soft.rgb)));
}

void main() {
  // The targets repeat at their edges: stay a few texels inside so nothing wraps round.
  vec2 uv = clamp(vUv, 0.002, 0.998);
  vec4 sharp = sharpScene(uv);
  // Level 5 of the blurred target spreads the glow and completes the vertical blur's
  // interleaved taps (see blur.fs); half a texel of it from the edges, nothing wraps.
  vec4 glow = textureLod(blurtex, clamp(vUv, 0.5 / 64.0, 1.0 - 0.5 / 64.0), 5.0) * (1.0 / BLUR_GAIN);
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
