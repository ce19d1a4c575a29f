#!/usr/bin/env bash
# Start-up figures for the music: the engine's load and decode of the soundtrack next to
# oggdec on the same file (Google Benchmark, same run), and the time from launching the
# show under Xvfb to its first swapped frame, with the share spent loading the music.
# Usage: bench/bench_music.sh [BUILD_DIR] [LAUNCHES]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
launches=${2:-3}
src=$(pwd)

if [ -z "${ZOOV_BENCH_DISPLAY:-}" ]; then
  ZOOV_BENCH_DISPLAY=1 exec tests/e2e/lib/with-display.sh bash "$0" "$build" "$launches"
fi

work=$(mktemp -d /tmp/zoov-bench-music-XXXXXX)
trap 'rm -rf "$work"' EXIT

# 1. Decode: the engine against the reference decoder, medians of three runs of five.
"$build/bench/zoov_bench" --benchmark_filter='BM_Music(LoadSoundtrack|OggdecSameFile)' \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null >"$work/decode.csv"
engine_ms=$(awk -F, '/BM_MusicLoadSoundtrack.*_median/ {print $3}' "$work/decode.csv")
oggdec_ms=$(awk -F, '/BM_MusicOggdecSameFile.*_median/ {print $3}' "$work/decode.csv")
awk -v e="$engine_ms" -v o="$oggdec_ms" 'BEGIN {
  printf "soundtrack load and decode: engine %.0f ms, oggdec %.0f ms, ratio %.2f (target <= 1.2)\n", e, o, e / o }'

# 2. Launch to first swapped frame. A preloaded probe notes when the soundtrack is opened,
# when its conversion ends (the engine's last SDL call of a load) and when the first frame
# is swapped, then ends the process.
cat >"$work/probe.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static long long now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}
static long long loadStart, loadEnd;

FILE* fopen(const char* path, const char* mode) {
  static FILE* (*real)(const char*, const char*);
  if (!real) real = (FILE * (*)(const char*, const char*)) dlsym(RTLD_NEXT, "fopen");
  size_t n = strlen(path);
  if (!loadStart && n >= 12 && strcmp(path + n - 12, "zoov2020.ogg") == 0) loadStart = now();
  return real(path, mode);
}

void SDL_FreeAudioStream(void* stream) {
  static void (*real)(void*);
  if (!real) real = (void (*)(void*))dlsym(RTLD_NEXT, "SDL_FreeAudioStream");
  real(stream);
  if (loadStart && !loadEnd) loadEnd = now();
}

void SDL_GL_SwapWindow(void* window) {
  static void (*real)(void*);
  if (!real) real = (void (*)(void*))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
  real(window);
  const char* t0 = getenv("ZOOV_BENCH_T0");
  fprintf(stderr, "probe: launch %lld first-swap %lld load-start %lld load-end %lld\n",
          t0 ? atoll(t0) : 0LL, now(), loadStart, loadEnd);
  _exit(0);
}
EOF
cc -O2 -shared -fPIC -o "$work/probe.so" "$work/probe.c" -ldl

mkdir "$work/run"
cp -r "$src/assets" "$work/run/"
for i in $(seq 1 "$launches"); do
  (cd "$work/run" && ZOOV_BENCH_T0=$(date +%s%N) SDL_AUDIODRIVER=dummy LD_PRELOAD="$work/probe.so" \
    "$build/zoov2020" w 2>&1 | grep '^probe:' >>"$work/launch.txt") || true
done
awk '{
  launch = $3; swap = $5; start = $7; end = $9
  total[NR] = (swap - launch) / 1e6; music[NR] = (end - start) / 1e6
} END {
  if (NR == 0) { print "launch to first swapped frame: no frame was swapped"; exit 1 }
  # median of the launches
  for (i = 1; i <= NR; i++) for (j = i + 1; j <= NR; j++) if (total[j] < total[i]) {
    t = total[i]; total[i] = total[j]; total[j] = t; t = music[i]; music[i] = music[j]; music[j] = t }
  m = int((NR + 1) / 2)
  printf "launch to first swapped frame (Xvfb, median of %d): %.0f ms, of which loading the music %.0f ms (%.0f %%)\n", NR, total[m], music[m], 100 * music[m] / total[m]
}' "$work/launch.txt"
