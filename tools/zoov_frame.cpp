// Renders frames of the show at a chosen tick and music time in a 960x540 window and
// writes the last one as a binary PPM (convert it to PNG with ImageMagick). Used for the
// README picture and for looking at the shaders.
// Usage: zoov_frame OUT.ppm TICK_MS MUSIC_SECONDS [FRAMES]
//   FRAMES (default 3) frames are drawn 40 ms apart in both clocks, ending at the times
//   given, so that the glow (which reads the previous frame's mipmaps) has settled and the
//   fountain has had time to rise. docs/frame.png is
//   zoov_frame frame.ppm 86000 86.0 150 && convert frame.ppm docs/frame.png
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/app.h"
#include "st/report.h"

static int reportCount = 0;
static void printReport(const char* text, const char* caption) {
  ++reportCount;
  fprintf(stderr, "report: %s: %s\n", caption, text);
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s OUT.ppm TICK_MS MUSIC_SECONDS [FRAMES]\n", argv[0]);
    return 1;
  }
  const char* outPath = argv[1];
  int32_t tick = (int32_t)atol(argv[2]);
  double music = atof(argv[3]);
  int frames = argc > 4 ? atoi(argv[4]) : 3;
  if (frames < 1) frames = 1;

  if (SDL_Init(SDL_INIT_VIDEO) < 0) {
    fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
    return 1;
  }
  st::setReportSink(printReport);
  static App app;
  initVideo(app, 2);
  SDL_SetWindowTitle(app.window, "zOOv 2020");
  setupScene(app.show);
  const int32_t windowWidth = app.windowWidth;
  const int32_t windowHeight = app.windowHeight;

  for (int f = 0; f < frames; ++f) {
    int32_t now = tick - 40 * (frames - 1 - f);
    double musicNow = music - 0.04 * (frames - 1 - f);
    // The music time is given instead of played.
    drawFrame(app.show, {now, musicNow < 0.0 ? 0.0 : musicNow});
    if (f + 1 < frames) SDL_GL_SwapWindow(app.window);
  }

  std::vector<unsigned char> pixels((size_t)windowWidth * windowHeight * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, windowWidth, windowHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  FILE* out = fopen(outPath, "wb");
  if (!out) {
    fprintf(stderr, "cannot write %s\n", outPath);
    return 1;
  }
  fprintf(out, "P6\n%d %d\n255\n", windowWidth, windowHeight);
  for (int y = windowHeight - 1; y >= 0; --y)  // GL rows run bottom-up
    fwrite(&pixels[(size_t)y * windowWidth * 3], 1, (size_t)windowWidth * 3, out);
  fclose(out);
  return reportCount == 0 ? 0 : 2;
}
