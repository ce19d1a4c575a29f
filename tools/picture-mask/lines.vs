// Picture meter, text mask: red where a credit's strokes stand, green where their mirror
// image does, black for the figures, so the meter knows where the letters are.
#version 330 core
layout(location = 1) in vec3 position;
layout(location = 3) in vec4 colour;
uniform mat4 mvp;
uniform float colmul;
uniform float time;
out float vText;
out float vMirror;
out float vFoot;
void main() {
  float top = max(colour.r, max(colour.g, colour.b));
  float low = min(colour.r, min(colour.g, colour.b));
  // Credits are drawn at saturation 0.2, the star and the tendrils at 0.1: that tells
  // them apart. Every uniform stays in use, or the show would report it as unknown.
  float saturation = top > 1e-6 ? (top - low) / top : 0.0;
  float direct = step(0.9, colmul) * step(-1.0, time);
  vText = step(0.15, saturation) * direct;
  vMirror = step(0.15, saturation) * (1.0 - direct);
  vFoot = step(1e-6, top);
  gl_Position = mvp * vec4(position, 1.0);
}
