// The CPU work of the heaviest frames: each figure on its own, the fountain with about 4000
// live sprites, and the script drawing a text slot together with each figure.
#include <benchmark/benchmark.h>

#include <cstring>

#include "fx/figures.h"
#include "fx/math.h"
#include "fx/sprites.h"
#include "show/clock.h"
#include "show/scene.h"
#include "show/script.h"
#include "st/geometry.h"
#include "st/gl.h"
#include "text/star.h"

namespace {

// No GL context here: the buffer builders only need names handed out and no errors.
GLuint nextName = 1;
void GLAD_API_PTR genNames(GLsizei n, GLuint* names) {
  for (GLsizei i = 0; i < n; ++i) names[i] = nextName++;
}
GLenum GLAD_API_PTR noError() { return GL_NO_ERROR; }

void setUpBuffersOnce() {
  if (lineBuffer) return;
  glad_glGenVertexArrays = genNames;
  glad_glGenBuffers = genNames;
  glad_glGetError = noError;
  lineBuffer = makeLineBuffer();
  spriteBuffer = makeSpriteBuffer();
}

void emptyLines() {
  lineBuffer->vertexCount = 0;
  lineBuffer->indexCount = 0;
  lineBuffer->dirty = 1;
}

int liveSprites() {
  int n = 0;
  for (const Sprite& s : sprites) n += s.life > 0;
  return n;
}

// A fountain of about 4000 sprites spread through their flight: spawned in batches at
// the four emitters and flown on between batches.
void fillFountain() {
  static const float emitters[4][3] = {{-80, 0, 0}, {80, 0, 0}, {-40, 0, -60}, {40, 0, -60}};
  std::memset(sprites, 0, sizeof sprites);
  emissionFlag = 0;
  spriteLastTick = -1;
  int32_t tick = 0;
  updateSprites(tick);
  int n = 0;
  while (liveSprites() < 4000) {
    for (int k = 0; k < 80; ++k, ++n) spawnSprite(emitters[n % 4][0], 0.0f, emitters[n % 4][2]);
    tick += 16;
    updateSprites(tick);
  }
}

void BM_Tendrils(benchmark::State& state) {
  setUpBuffersOnce();
  // The last frame of a period: every segment lit.
  const int32_t now = 4000 * 41 + 3990;
  for (auto _ : state) {
    emptyLines();
    drawTendrils((now / 4000) / 2, now);
    benchmark::DoNotOptimize(linePositions[0]);
  }
  state.counters["segments"] = lineBuffer->vertexCount / 8;
}

void BM_JaggedStar(benchmark::State& state) {
  setUpBuffersOnce();
  // Seed 0 walks the longest chords: 80 steps a line.
  const int32_t now = 2000;
  for (auto _ : state) {
    emptyLines();
    drawJaggedStar(0, now);
    benchmark::DoNotOptimize(linePositions[0]);
  }
  state.counters["segments"] = lineBuffer->vertexCount / 8;
}

// The first frame of a period, when a new seed comes in and the walk is taken afresh: two
// seeds in turn, so that no call finds the last one's shape.
void BM_TendrilsNewSeed(benchmark::State& state) {
  setUpBuffersOnce();
  const int32_t ends[2] = {4000 * 41 + 3990, 4000 * 43 + 3990};  // seeds 20 and 21
  int turn = 0;
  for (auto _ : state) {
    emptyLines();
    int32_t now = ends[turn];
    drawTendrils((now / 4000) / 2, now);
    turn ^= 1;
    benchmark::DoNotOptimize(linePositions[0]);
  }
  state.counters["segments"] = lineBuffer->vertexCount / 8;
}

void BM_JaggedStarNewSeed(benchmark::State& state) {
  setUpBuffersOnce();
  int32_t seed = 0;
  for (auto _ : state) {
    emptyLines();
    drawJaggedStar(seed, 2000);
    seed = 7 - seed;  // 0 and 7: step 9 both, the longest chords
    benchmark::DoNotOptimize(linePositions[0]);
  }
  state.counters["segments"] = lineBuffer->vertexCount / 8;
}

void BM_UpdateSprites(benchmark::State& state) {
  setUpBuffersOnce();
  fillFountain();
  static Sprite snapshot[SPRITE_SLOTS];
  std::memcpy(snapshot, sprites, sizeof sprites);
  const int32_t start = spriteLastTick;
  int live = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(sprites, snapshot, sizeof sprites);
    spriteLastTick = start;
    emissionFlag = 1;
    state.ResumeTiming();
    // One 60 Hz frame: two steps and eight spawns.
    updateSprites(start + 16);
    live = spriteBuffer->instanceCount;
  }
  emissionFlag = 0;
  state.counters["instances"] = live;
}

// The script's frame: empty the lines, derive the clock, texts + reveal + figure.
void scriptFrame(benchmark::State& state, double musicTime, int32_t tick) {
  setUpBuffersOnce();
  for (auto _ : state) {
    emptyLines();
    FrameClock clock = deriveClock(musicTime);
    runScript(clock, tick);
    benchmark::DoNotOptimize(lineBuffer->vertexCount);
  }
  emissionFlag = 0;
  state.counters["segments"] = lineBuffer->vertexCount / 8;
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
    buildFrameMatrices(m, tick++, 1920, 1080);
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
