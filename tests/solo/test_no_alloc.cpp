// The frame's CPU work allocates nothing: this binary replaces the global allocation
// functions with counting ones and runs hundreds of frames of script, figures and sprites.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "fx/math.h"
#include "fx/tendrils.h"
#include "show/show.h"
#include "support/cpu_show.h"
#include "text/star.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> newCalls{0};
std::atomic<long> mallocCalls{0};

void* countedNew(std::size_t n) {
  if (counting.load(std::memory_order_relaxed)) newCalls.fetch_add(1, std::memory_order_relaxed);
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  return p;
}

void* countedAlignedNew(std::size_t n, std::align_val_t al) {
  if (counting.load(std::memory_order_relaxed)) newCalls.fetch_add(1, std::memory_order_relaxed);
  std::size_t a = (std::size_t)al < sizeof(void*) ? sizeof(void*) : (std::size_t)al;
  void* p = nullptr;
  if (posix_memalign(&p, a, n ? n : 1) != 0) throw std::bad_alloc();
  return p;
}
}  // namespace

void* operator new(std::size_t n) { return countedNew(n); }
void* operator new[](std::size_t n) { return countedNew(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return countedNew(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return countedNew(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t n, std::align_val_t a) { return countedAlignedNew(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return countedAlignedNew(n, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

// The C allocator too (glibc lets a program interpose it), unless a sanitizer owns it.
#if !defined(__SANITIZE_ADDRESS__)
#define ZOOV_COUNT_MALLOC 1
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
  if (counting.load(std::memory_order_relaxed)) mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
  if (counting.load(std::memory_order_relaxed)) mallocCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
void free(void* p) { __libc_free(p); }
}
#endif

namespace {

Show& show = test::cpuShow();

void startCounting() {
  newCalls = 0;
  mallocCalls = 0;
  counting = true;
}

void stopCounting() { counting = false; }

// The CPU half of one frame, with the matrices the passes would take.
void cpuFrame(int32_t tick, double musicTime) {
  buildFrameGeometry(show, {tick, musicTime});
  FrameMatrices matrices;
  buildFrameMatrices(matrices, tick);
}

}  // namespace

// Runs first, before any test touches the generators: the fountain starts from seed 0.
TEST(NoAlloc, GeneratorsStartInTheSeedZeroState) {
  for (const Well512* w : {&show.spriteRng, &show.figureRng, &show.starRng}) {
    for (uint32_t word : w->state) EXPECT_EQ(word, 0x7457EDB7u);
    EXPECT_EQ(w->index, 0u);
  }
}

TEST(NoAlloc, CounterSeesAllocations) {
  startCounting();
  int* volatile p = new int(7);
  delete p;
#ifdef ZOOV_COUNT_MALLOC
  void* (*volatile allocate)(std::size_t) = std::malloc;
  void* volatile q = allocate(32);
  std::free(q);
#endif
  stopCounting();
  EXPECT_GE(newCalls.load(), 1);
#ifdef ZOOV_COUNT_MALLOC
  EXPECT_GE(mallocCalls.load(), 1);
#endif
}

TEST(NoAlloc, ScriptDrivenFrames) {
  // Warm-up frame outside the count: the sprite clock starts here.
  cpuFrame(1000, 0.0);
  startCounting();
  // 720 frames through the whole 120 s script, the tick 100 ms a frame so that both line
  // figures come round many times.
  int32_t tick = 1100;
  for (int f = 0; f < 720; ++f) {
    cpuFrame(tick, f * (120.0 / 720.0));
    tick += 100;
  }
  stopCounting();
  EXPECT_EQ(newCalls.load(), 0);
  EXPECT_EQ(mallocCalls.load(), 0);
}

TEST(NoAlloc, FiguresAndFountain) {
  cpuFrame(200000, 79.0);
  startCounting();
  // 600 frames at 60 Hz across the emission window, with both figures drawn every frame.
  int32_t tick = 200016;
  int maxSprites = 0;
  for (int f = 0; f < 600; ++f) {
    double music = 79.0 + f / 60.0;
    cpuFrame(tick, music);
    show.emissionFlag = music >= 80.0 && music < 88.0;
    int32_t seed = (tick / 4000) / 2;
    show.lines.vertexCount = 0;
    show.lines.indexCount = 0;
    drawTendrils(show.lines, show.figureRng, show.tendrilShape, seed, tick);
    drawJaggedStar(show.lines, show.starRng, show.starShape, seed, tick);
    maxSprites = std::max(maxSprites, show.spriteInstances.count);
    tick += 16 + (f % 3 == 0);
  }
  stopCounting();
  EXPECT_EQ(newCalls.load(), 0);
  EXPECT_EQ(mallocCalls.load(), 0);
  // The loop really did the heavy work.
  EXPECT_GT(maxSprites, 1000);
  EXPECT_GT(show.lines.vertexCount, 32000);
}
