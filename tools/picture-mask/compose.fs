// Picture meter, text mask: the sharp mask as it is, without fade, bloom or vignette.
#version 330 core
in vec2 vUv;
uniform sampler2D tex;
uniform sampler2D blurtex;
uniform float t;
out vec4 colour;
void main() {
  vec2 uv = clamp(vUv, 0.002, 0.998);
  // The blurred copy and the clock only keep their uniforms in use.
  vec3 sharp = max(texture(tex, uv).rgb, textureLod(blurtex, uv, 1.0).rgb * 1e-6);
  colour = vec4(sharp * step(-1.0, t), 1.0);
}
