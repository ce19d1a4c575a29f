// The floor slab: near-black, a little lighter towards the centre, and always far darker
// than the lines standing on it. Stored, like all light of the scene, divided by the
// target's headroom (see lines.vs); its alpha says that no figure light is here yet.
#version 330 core
in vec3 vNormal;
out vec4 colour;
const float HEADROOM = 3.0;
// On screen the compose pass's tone curve starts with a slope of 1.3: this keeps the
// floor as light as it has always been shown.
const float LEVEL = 2.0 / 1.3;
void main() {
  float up = vNormal.y * inversesqrt(dot(vNormal, vNormal));   // 1 at the centre, 0.58 at the corners
  float sheen = up * up;
  sheen *= sheen;                                              // 1 .. 0.11
  vec3 ground = vec3(0.004, 0.005, 0.008) + vec3(0.024, 0.030, 0.044) * sheen;
  // So dark a ground has only a few steps of 8 bits left: noise of half a step breaks
  // them up, and the compose pass's minification averages it away.
  float noise = fract(52.9829189 * fract(dot(gl_FragCoord.xy, vec2(0.06711056, 0.00583715))));
  colour = vec4(ground * (LEVEL / HEADROOM) + (noise - 0.5) / 255.0, 0.0);
}
