// Particle glows: each instance is a quad that faces the camera, built in view space around
// the particle's position; its size and brightness follow the remaining life.
#version 330 core
layout(location = 1) in vec3 corner;      // (+-2, +-2, 0)
layout(location = 2) in vec2 uv;          // 0..1 over the quad
layout(location = 3) in vec4 instance;    // xyz: world position (w is not written)
layout(location = 4) in float life;       // remaining life / 750: up to about 1.47
uniform mat4 view;
uniform mat4 proj;
uniform float colmul;
out vec2 vOffset;
out float vBright;
void main() {
  float l = clamp(life, 0.0, 1.0);
  float size = 0.25 + 0.35 * l;             // half-size 0.5 .. 1.2 world units
  vOffset = uv * 2.0 - 1.0;
  // In the compose pass's units of light (sprites.fs divides by the target's headroom).
  vBright = 0.9 * l * colmul;
  vec4 centre = view * vec4(instance.xyz, 1.0);
  gl_Position = proj * (centre + vec4(corner.xy * size, 0.0, 0.0));
}
