// PLACEHOLDER until the stroke font lands: glyphs draw nothing and do not advance.
#include "text/lines.h"

float drawGlyph(char code, float x, float z, float scale, float brightness) {
  (void)code, (void)x, (void)z, (void)scale, (void)brightness;
  return 0.0f;
}

void drawText(const char* text, float x0, float z, float scale, float brightness) {
  float x = x0;
  for (const char* c = text; *c; ++c) x += drawGlyph(*c, x, z, scale, brightness);
}
