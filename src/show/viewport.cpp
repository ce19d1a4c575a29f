// The letterbox rectangle, in the exact single-precision steps the desktop uses.
#include "show/viewport.h"

#include "fx/math.h"
#include "st/gl.h"

Viewport letterboxViewport(int32_t width, int32_t height) {
  // Every step is single precision and truncates toward zero.
  const float aspect169 = PICTURE_ASPECT;
  float wf = (float)width;
  float hf = (float)height;
  float a = wf / hf;
  if (a > aspect169) {
    float vw = hf * aspect169;
    return {(int)((wf - vw) * 0.5f), 0, (int)vw, height};
  }
  float vh = wf / aspect169;
  return {0, (int)((hf - vh) * 0.5f), width, (int)vh};
}

void applyLetterbox(int32_t width, int32_t height) {
  Viewport v = letterboxViewport(width, height);
  glViewport(v.x, v.y, v.width, v.height);
}
