// Prints the geometry the show builds at a few fixed tick and music times (the script's
// line walls, the frame's matrices, two seconds of the fountain) as exact float bits, one
// value a line, so that the desktop build and the WebAssembly build can be compared value
// by value: the two link different maths libraries.
// Usage: geometry_dump OUT.txt (under node the WebAssembly build writes through node's files).
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fx/math.h"
#include "show/clock.h"
#include "show/script.h"
#include "support/cpu_show.h"
#include "support/line_capture.h"

namespace {

FILE* out = nullptr;

void put(const char* what, int index, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  std::fprintf(out, "%s %d %08x\n", what, index, bits);
}

struct Moment {
  int32_t tick;
  double music;
};

// Each text slot with its reveal part-way, both line figures, the fountain's stretch and
// the looped part of the music.
const Moment MOMENTS[] = {
    {5000, 13.25}, {9000, 27.5},  {17000, 44.1},  {26500, 53.9},   {31000, 61.7},
    {45000, 77.4}, {63000, 84.2}, {70500, 96.03}, {123456, 107.9}, {262143, 119.99},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || !(out = std::fopen(argv[1], "w"))) {
    std::fprintf(stderr, "usage: geometry_dump OUT.txt\n");
    return 2;
  }
  Show& show = test::cpuShow();
  const LineBatch& lines = show.lines;
  for (const Moment& m : MOMENTS) {
    char label[64];
    test::freshLineBuffer();
    runScript(show, deriveClock(m.music), m.tick);
    std::snprintf(label, sizeof label, "lines@%d/%.2f", m.tick, m.music);
    std::fprintf(out, "%s vertices %d\n", label, lines.vertexCount);
    for (int i = 0; i < lines.vertexCount * 3; ++i) put(label, i, lines.positions[i]);
    for (int i = 0; i < lines.vertexCount * 4; ++i) put(label, i, lines.colours[i]);

    FrameMatrices fm;
    buildFrameMatrices(fm, m.tick);
    std::snprintf(label, sizeof label, "matrices@%d", m.tick);
    const mat4* all[] = {&fm.V, &fm.P, &fm.R, &fm.T, &fm.S, &fm.T2, &fm.floorMvp,
                         &fm.linesMvp, &fm.mirrorLinesMvp, &fm.mirrorSpritesView};
    int k = 0;
    for (const mat4* mat : all)
      for (float v : mat->m) put(label, k++, v);
  }

  // The fountain from its first spawn, frame by frame at 60 Hz, with emission on.
  const SpriteInstances& sprites = show.spriteInstances;
  for (int32_t tick = 80000; tick <= 82000; tick += 16)
    updateSprites(show.fountain, show.spriteRng, 1, tick, show.spriteInstances);
  std::fprintf(out, "sprites instances %d\n", sprites.count);
  for (int i = 0; i < sprites.count * 4; ++i) put("sprites", i, sprites.vec4[i]);
  for (int i = 0; i < sprites.count; ++i) put("sprites", i, sprites.scalar[i]);
  return std::fclose(out) == 0 ? 0 : 1;
}
