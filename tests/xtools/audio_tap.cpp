// Listens to what the show's mixer writes (SDL's disk audio driver into a pipe: stereo
// float at 44100 Hz, as fast as it mixes) and keeps short slices of it at given music
// times, so that the soak can check what was playing there without storing gigabytes.
// The device plays silence until the music starts; the soundtrack's first sample is not
// zero, so the first non-zero sample is the music's time 0.
// Usage: audio_tap OUT_DIR SECONDS...  < stream
//   writes OUT_DIR/tap-SECONDS.raw (0.4 s of mono float from that music time on) and
//   prints "music SECONDS" (how much music was mixed in all) and "silence SECONDS".
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const long RATE = 44100;
const long SLICE_FRAMES = RATE * 4 / 10;

struct Tap {
  std::string name;
  long first;  // music frame where the slice starts
  std::vector<float> mono;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: audio_tap OUT_DIR SECONDS... < stream\n");
    return 2;
  }
  std::vector<Tap> taps;
  for (int i = 2; i < argc; ++i) taps.push_back({argv[i], (long)(atof(argv[i]) * RATE), {}});

  std::vector<float> block(2 * 65536);
  long silent = 0;   // frames before the music
  long music = -1;   // frames of music so far; -1 until the first non-zero sample
  size_t got;
  while ((got = fread(block.data(), 2 * sizeof(float), 65536, stdin)) > 0) {
    size_t start = 0;
    if (music < 0) {
      while (start < got && block[2 * start] == 0.0f && block[2 * start + 1] == 0.0f) ++start;
      silent += (long)start;
      if (start == got) continue;
      music = 0;
    }
    long blockFirst = music;  // music frame of block[start]
    long blockEnd = music + (long)(got - start);
    for (Tap& tap : taps) {
      long from = std::max(tap.first + (long)tap.mono.size(), blockFirst);
      long to = std::min(tap.first + SLICE_FRAMES, blockEnd);
      for (long f = from; f < to; ++f) {
        size_t k = start + (size_t)(f - blockFirst);
        tap.mono.push_back(0.5f * (block[2 * k] + block[2 * k + 1]));
      }
    }
    music = blockEnd;
  }
  for (const Tap& tap : taps) {
    if ((long)tap.mono.size() < SLICE_FRAMES) continue;  // the music never got there
    std::string path = std::string(argv[1]) + "/tap-" + tap.name + ".raw";
    FILE* out = fopen(path.c_str(), "wb");
    if (!out || fwrite(tap.mono.data(), sizeof(float), tap.mono.size(), out) != tap.mono.size()) {
      fprintf(stderr, "audio_tap: cannot write %s\n", path.c_str());
      return 1;
    }
    fclose(out);
  }
  printf("music %.3f\nsilence %.3f\n", music < 0 ? 0.0 : (double)music / RATE, (double)silent / RATE);
  return 0;
}
