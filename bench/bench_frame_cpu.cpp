// The CPU work of the heaviest frames: each figure on its own, the fountain with about 4000
// live sprites, and the script drawing a text slot together with each figure.
#include <benchmark/benchmark.h>

#include <cstring>

#include "fx/math.h"
#include "fx/sprites.h"
#include "fx/tendrils.h"
#include "show/clock.h"
#include "show/meshes.h"
#include "show/script.h"
#include "show/show.h"
#include "st/gl.h"
#include "text/star.h"

namespace {

// No GL context here: the buffer builders only need names handed out and no errors.
GLuint nextName = 1;
void GLAD_API_PTR genNames(GLsizei n, GLuint* names) {
  for (GLsizei i = 0; i < n; ++i) names[i] = nextName++;
}
GLenum GLAD_API_PTR noError() { return GL_NO_ERROR; }

// The show's state with its line and sprite buffers (the programs and targets stay unmade).
Show& show() {
  static Show* made = [] {
    glad_glGenVertexArrays = genNames;
    glad_glGenBuffers = genNames;
    glad_glGetError = noError;
    Show* s = new Show;
    s->lineBuffer = makeLineBuffer(s->lines);
    s->spriteBuffer = makeSpriteBuffer(s->spriteInstances);
    return s;
  }();
  return *made;
}

void emptyLines() {
  show().lines.vertexCount = 0;
  show().lines.indexCount = 0;
}

int liveSprites() {
  int n = 0;
  for (const Sprite& s : show().fountain.sprites) n += s.life > 0;
  return n;
}

int updateSprites(int32_t tick) {
  Show& s = show();
  updateSprites(s.fountain, s.spriteRng, s.emissionFlag, tick, s.spriteInstances);
  return s.spriteInstances.count;
}

// A fountain of about 4000 sprites spread through their flight: spawned in batches at
// the four emitters and flown on between batches.
void fillFountain() {
  static const float emitters[4][3] = {{-80, 0, 0}, {80, 0, 0}, {-40, 0, -60}, {40, 0, -60}};
  Show& s = show();
  s.fountain = Fountain{};
  s.emissionFlag = 0;
  int32_t tick = 0;
  updateSprites(tick);
  int n = 0;
  while (liveSprites() < 4000) {
    for (int k = 0; k < 80; ++k, ++n) {
      spawnSprite(s.fountain, s.spriteRng, emitters[n % 4][0], 0.0f, emitters[n % 4][2]);
    }
    tick += 16;
    updateSprites(tick);
  }
}

void drawTendrils(int32_t seed, int32_t now) {
  Show& s = show();
  drawTendrils(s.lines, s.figureRng, s.tendrilShape, seed, now);
}

void drawJaggedStar(int32_t seed, int32_t now) {
  Show& s = show();
  drawJaggedStar(s.lines, s.starRng, s.starShape, seed, now);
}

void BM_Tendrils(benchmark::State& state) {
  // The last frame of a period: every segment lit.
  const int32_t now = 4000 * 41 + 3990;
  for (auto _ : state) {
    emptyLines();
    drawTendrils((now / 4000) / 2, now);
    benchmark::DoNotOptimize(show().lines.positions[0]);
  }
  state.counters["segments"] = show().lines.vertexCount / 8;
}

void BM_JaggedStar(benchmark::State& state) {
  // Seed 0 walks the longest chords: 80 steps a line.
  const int32_t now = 2000;
  for (auto _ : state) {
    emptyLines();
    drawJaggedStar(0, now);
    benchmark::DoNotOptimize(show().lines.positions[0]);
  }
  state.counters["segments"] = show().lines.vertexCount / 8;
}

// The first frame of a period, when a new seed comes in and the walk is taken afresh: two
// seeds in turn, so that no call finds the last one's shape.
void BM_TendrilsNewSeed(benchmark::State& state) {
  const int32_t ends[2] = {4000 * 41 + 3990, 4000 * 43 + 3990};  // seeds 20 and 21
  int turn = 0;
  for (auto _ : state) {
    emptyLines();
    int32_t now = ends[turn];
    drawTendrils((now / 4000) / 2, now);
    turn ^= 1;
    benchmark::DoNotOptimize(show().lines.positions[0]);
  }
  state.counters["segments"] = show().lines.vertexCount / 8;
}

void BM_JaggedStarNewSeed(benchmark::State& state) {
  int32_t seed = 0;
  for (auto _ : state) {
    emptyLines();
    drawJaggedStar(seed, 2000);
    seed = 7 - seed;  // 0 and 7: step 9 both, the longest chords
    benchmark::DoNotOptimize(show().lines.positions[0]);
  }
  state.counters["segments"] = show().lines.vertexCount / 8;
}

void BM_UpdateSprites(benchmark::State& state) {
  fillFountain();
  Show& s = show();
  static Fountain snapshot;
  snapshot = s.fountain;
  const int32_t start = s.fountain.spriteLastTick;
  int live = 0;
  for (auto _ : state) {
    state.PauseTiming();
    s.fountain = snapshot;
    s.emissionFlag = 1;
    state.ResumeTiming();
    // One 60 Hz frame: two steps and eight spawns.
    live = updateSprites(start + 16);
  }
  s.emissionFlag = 0;
  state.counters["instances"] = live;
}

// The script's frame: empty the lines, derive the clock, texts + reveal + figure.
void scriptFrame(benchmark::State& state, double musicTime, int32_t tick) {
  for (auto _ : state) {
    emptyLines();
    FrameClock clock = deriveClock(musicTime);
    benchmark::DoNotOptimize(runScript(show(), clock, tick));
  }
  state.counters["segments"] = show().lines.vertexCount / 8;
}

// Step 10 (four lines of text, fully revealed) with the tendrils (odd period) ...
void BM_ScriptTextAndTendrils(benchmark::State& state) { scriptFrame(state, 107.0, 4000 * 41 + 2000); }
// ... and with the star: period 196 is even, its seed 98 walks step 9, the longest chords.
const int32_t STAR_TICK = 4000 * 196 + 2000;
void BM_ScriptTextAndStar(benchmark::State& state) { scriptFrame(state, 107.0, STAR_TICK); }
// Step 5 with its long credit line, against the star.
void BM_ScriptCreditsAndStar(benchmark::State& state) { scriptFrame(state, 57.0, STAR_TICK); }

void BM_FrameMatrices(benchmark::State& state) {
  int32_t tick = 123456;
  for (auto _ : state) {
    FrameMatrices m;
    buildFrameMatrices(m, tick++);
    benchmark::DoNotOptimize(m.floorMvp[0]);
  }
}

}  // namespace

#define FRAME_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true)
FRAME_BENCH(BM_Tendrils);
FRAME_BENCH(BM_JaggedStar);
FRAME_BENCH(BM_TendrilsNewSeed);
FRAME_BENCH(BM_JaggedStarNewSeed);
FRAME_BENCH(BM_UpdateSprites);
FRAME_BENCH(BM_ScriptTextAndTendrils);
FRAME_BENCH(BM_ScriptTextAndStar);
FRAME_BENCH(BM_ScriptCreditsAndStar);
FRAME_BENCH(BM_FrameMatrices);
