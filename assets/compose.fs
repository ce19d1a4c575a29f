// Compose pass: the sharp scene plus its blurred copy as bloom, a gentle vignette, a soft
// shoulder that keeps bright light from clipping flat, and a fade-in over the first second.
#version 330 core
in vec2 vUv;
uniform sampler2D tex;       // the sharp scene, unit 0
uniform sampler2D blurtex;   // the blurred scene, unit 1
uniform float t;             // seconds since start
out vec4 colour;
void main() {
  // The targets repeat at their edges: stay a few texels inside so nothing wraps round.
  vec2 uv = clamp(vUv, 0.002, 0.998);
  vec3 sharp = texture(tex, uv).rgb;
  // Level 1 averages each pair of rows of the blurred target, which completes the
  // vertical blur's interleaved taps (see blur.fs).
  vec3 glow = textureLod(blurtex, uv, 1.0).rgb;
  // The squared term lets bright light bloom while the dim floor gains almost nothing.
  vec3 c = sharp + 0.15 * glow + 0.6 * glow * glow;
  vec2 v = vUv - 0.5;
  float vignette = 1.0 - 0.6 * dot(v, v);
  c = 1.0 - exp(-2.0 * c * vignette);
  colour = vec4(c * clamp(t, 0.0, 1.0), 1.0);
}
