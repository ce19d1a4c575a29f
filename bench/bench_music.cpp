// Start-up cost of the music: loading and decoding the soundtrack with the engine, next to
// the reference decoder on the same file; and the cost of mixing one device buffer.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "music/soloud.h"

namespace {

const std::string ASSET = std::string(ZOOV_SOURCE_DIR) + "/assets/zoov2020.ogg";

void BM_MusicLoadSoundtrack(benchmark::State& state) {
  for (auto _ : state) {
    SoLoud::Wav wav;
    wav.load(ASSET.c_str());
    benchmark::DoNotOptimize(wav.getFrameCount());
  }
}
BENCHMARK(BM_MusicLoadSoundtrack)->Unit(benchmark::kMillisecond)->Iterations(5);

// oggdec decodes the same file to raw 16-bit PCM and throws it away.
void BM_MusicOggdecSameFile(benchmark::State& state) {
  const std::string command = "oggdec -Q -R -o /dev/null " + ASSET;
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("oggdec failed");
      break;
    }
  }
}
BENCHMARK(BM_MusicOggdecSameFile)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_MusicMixDeviceBuffer(benchmark::State& state) {
  SoLoud::Soloud engine;
  engine.initOffline();
  SoLoud::Wav wav;
  wav.load(ASSET.c_str());
  wav.setLooping(true);
  wav.setLoopPoint(80.0);
  engine.play(wav);
  std::vector<float> buffer(SoLoud::ENGINE_BUFFER_FRAMES * 2);
  for (auto _ : state) {
    engine.mix(buffer.data(), SoLoud::ENGINE_BUFFER_FRAMES);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetItemsProcessed(state.iterations() * SoLoud::ENGINE_BUFFER_FRAMES);
}
BENCHMARK(BM_MusicMixDeviceBuffer)->Unit(benchmark::kMicrosecond);

}  // namespace
