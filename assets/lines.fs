// Glowing line walls: the interpolated colour already falls linearly up the wall; a power
// of the foot weight (the cube for credits, the fourth power for figures) makes the
// light hug the ground. Added to what is already there; the figures' share also goes to
// alpha (see lines.vs).
#version 330 core
in vec3 vColour;
in float vFigure;
in float vFoot;
in float vHug;
in float vRibbon;
out vec4 colour;
void main() {
  float fall = pow(max(vFoot, 0.0), vHug);
  // The ribbon lies flat, all of it at the foot: only there does the foot weight not
  // change from pixel to pixel. It gets its own, brighter gain (lines.vs).
  float lying = 1.0 - step(1e-4, fwidth(vFoot));
  vec3 light = vColour * (fall * mix(1.0, vRibbon, lying));
  // The light is stored at a third of its strength: a little noise of zero mean, at most
  // half a step of 8 bits and never more than the light itself, hides the steps of the
  // fading walls once the compose pass has stretched them again.
  float noise = fract(52.9829189 * fract(dot(gl_FragCoord.xy, vec2(0.06711056, 0.00583715))));
  light += (noise - 0.5) / 255.0 * min(light * 255.0, vec3(1.0));
  colour = vec4(light, vFigure * fall);
}
