// Picture meter, text mask: the particle quads, kept only so that every uniform stays in use.
#version 330 core
layout(location = 1) in vec3 corner;
layout(location = 2) in vec2 uv;
layout(location = 3) in vec4 instance;
layout(location = 4) in float life;
uniform mat4 view;
uniform mat4 proj;
uniform float colmul;
out vec2 vOffset;
out float vBright;
void main() {
  vOffset = uv;
  vBright = life;
  vec4 centre = view * vec4(instance.xyz, 1.0);
  gl_Position = proj * (centre + vec4(corner.xy * step(-1.0, colmul), 0.0, 0.0));
}
