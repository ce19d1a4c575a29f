// The mixer runs on the audio thread, where allocating could stall the device: mixing,
// wrapping at the loop point and reading positions must not allocate at all.
#include <gtest/gtest.h>

// The replacement operators below pair malloc with free themselves; GCC cannot see that
// through the standard allocator and warns about a mismatch that is not there.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "music/soloud.h"

namespace {
// CMake compiles with absolute paths, so the soundtrack is found from this file's own.
std::string assetPath() {
  std::string self = __FILE__;
  return self.substr(0, self.rfind("/tests/")) + "/assets/zoov2020.ogg";
}

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (counting.load()) allocations.fetch_add(1);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
// The nothrow forms too (Debian 13's GoogleTest allocates its tests with them): every new here
// ends in the free below, and a sanitizer's own nothrow new would not pair with it.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (counting.load()) allocations.fetch_add(1);
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

TEST(MusicMix, NeverAllocates) {
  SoLoud::Soloud engine;
  engine.initOffline();
  SoLoud::Wav wav;
  ASSERT_EQ(wav.load(assetPath().c_str()), 0u);
  wav.setLooping(true);
  wav.setLoopPoint(80.0);
  SoLoud::handle h = engine.play(wav);
  SoLoud::Wav empty;
  engine.play(empty);

  std::vector<float> buffer(2048 * 2);
  const unsigned buffers = wav.getFrameCount() / 2048 + 100;  // through the wrap and on
  counting = true;
  for (unsigned i = 0; i < buffers; ++i) {
    engine.mix(buffer.data(), 2048);
    (void)engine.getStreamPosition(h);
  }
  counting = false;
  EXPECT_EQ(allocations.load(), 0);
  // The mixing did go through the end and on from 80 s.
  const double mixed = (double)buffers * 2048;
  EXPECT_EQ(engine.getStreamPosition(h), (80.0 * 44100 + mixed - wav.getFrameCount()) / 44100);
}
