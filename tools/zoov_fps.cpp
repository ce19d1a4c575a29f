// Frame-rate probe: runs the show's own frame (setupShow, then renderFrame) in a 960x540
// window, or full screen like the show without arguments, for a fixed time and prints the
// frame rate. Shaders come from ./assets like the
// show's. Given a second shader folder, it alternates frame by frame between the two sets
// (the same frame, the same passes, only the five programs swapped), so that both are
// measured under the same load, and prints both rates and their ratio.
// Usage: zoov_fps [--fullscreen] [SECONDS [OTHER_SHADER_DIR]]
//   (default 10 s, after 1 s of warm-up)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "st/report.h"

namespace {

int reportCount = 0;

// A report would open a modal box and stall the run; count and print it instead.
void printReport(const char* text, const char* caption) {
  ++reportCount;
  if (reportCount <= 5) fprintf(stderr, "report: %s: %s\n", caption, text);
}

// CPU time of the whole process, the rasteriser's threads included.
double cpuMs() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return 1000.0 * (double)ts.tv_sec + 1e-6 * (double)ts.tv_nsec;
}

double wallMs() {
  return 1000.0 * (double)SDL_GetPerformanceCounter() / (double)SDL_GetPerformanceFrequency();
}

struct ShaderSet {
  st::Shader floor, lines, compose, blur, sprites;
};

void loadSet(ShaderSet& set, const std::string& dir) {
  auto load = [&](st::Shader& shader, const char* name) {
    std::string vs = dir + "/" + name + ".vs", fs = dir + "/" + name + ".fs";
    shader.load(vs.c_str(), fs.c_str());
  };
  load(set.floor, "floor");
  load(set.lines, "lines");
  load(set.compose, "compose");
  load(set.blur, "blur");
  load(set.sprites, "sprites");
}

// Exchanges the scene's five programs with the set's.
void swapSet(Show& show, ShaderSet& set) {
  std::swap(show.floorShader, set.floor);
  std::swap(show.linesShader, set.lines);
  std::swap(show.composeShader, set.compose);
  std::swap(show.blurShader, set.blur);
  std::swap(show.spritesShader, set.sprites);
}

struct Timings {
  std::vector<double> wall, cpu;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

void print(const char* name, const Timings& t) {
  double ms = median(t.wall);
  printf("%s: %zu frames, median %.1f ms/frame = %.2f fps, %.1f cpu-ms/frame\n", name,
         t.wall.size(), ms, 1000.0 / ms, median(t.cpu));
}

}  // namespace

int main(int argc, char** argv) {
  bool fullscreen = argc > 1 && std::string(argv[1]) == "--fullscreen";
  if (fullscreen) {
    --argc;
    ++argv;
  }
  double seconds = argc > 1 ? atof(argv[1]) : 10.0;
  if (seconds <= 0.0) seconds = 10.0;
  const char* otherDir = argc > 2 ? argv[2] : nullptr;
  if (SDL_Init(SDL_INIT_VIDEO) < 0) {
    fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
    return 1;
  }
  st::setReportSink(printReport);
  static App app;
  initVideo(app, fullscreen ? 1 : 2);
  SDL_SetWindowTitle(app.window, "zOOv 2020");
  setupShow(app);
  ShaderSet other{};
  if (otherDir) loadSet(other, otherDir);

  Timings own, alternate;
  double warmEnd = wallMs() + 1000.0;
  double end = warmEnd + 1000.0 * seconds;
  for (long frame = 0;; ++frame) {
    double w0 = wallMs();
    if (w0 >= end) break;
    bool useOther = otherDir && (frame & 1);
    if (useOther) swapSet(app.show, other);
    double c0 = cpuMs();
    SDL_PumpEvents();
    renderFrame(app);
    double c1 = cpuMs(), w1 = wallMs();
    if (useOther) swapSet(app.show, other);
    if (w0 < warmEnd) continue;
    Timings& t = useOther ? alternate : own;
    t.wall.push_back(w1 - w0);
    t.cpu.push_back(c1 - c0);
  }
  if (own.wall.empty() || (otherDir && alternate.wall.empty())) {
    fprintf(stderr, "no frame finished in the measured time\n");
    return 1;
  }

  printf("window %dx%d%s\n", app.windowWidth, app.windowHeight, fullscreen ? ", full screen" : "");
  print("assets", own);
  if (otherDir) {
    print(otherDir, alternate);
    printf("ratio assets/%s: %.3f in frame rate, %.3f in CPU time\n", otherDir,
           median(alternate.wall) / median(own.wall), median(alternate.cpu) / median(own.cpu));
  }
  if (reportCount) printf("reports: %d\n", reportCount);
  app.music.soloud.deinit();
  return reportCount == 0 ? 0 : 2;
}
