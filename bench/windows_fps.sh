#!/usr/bin/env bash
# Frame rate of the Windows build under Wine against the Linux build, both running the
# show's own frame windowed at 960x540 on llvmpipe in one virtual display (tools/zoov_fps,
# music on SDL's dummy driver). The two take turns, several rounds each, so that a
# machine busy with other work slows both alike; prints every round, the median rate of
# each and their ratio (target: the Windows build at 0.8 or more of the Linux rate).
# Usage: bench/windows_fps.sh [LINUX_BUILD_DIR [SECONDS [ROUNDS]]]
#   (the Windows build is scripts/build-windows.sh's, in build-windows/app)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
linux_build=$(cd "${1:-$source_dir/build}" && pwd)
seconds=${2:-15}
rounds=${3:-3}
windows_build=$source_dir/build-windows/app

[ -d "$windows_build" ] || "$source_dir/scripts/build-windows.sh" >/dev/null
cmake --build "$linux_build" --target zoov_fps -j2 >/dev/null
cmake --build "$windows_build" --target zoov_fps -j2 >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/zoov-winfps.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$source_dir/assets" "$work/assets"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" SDL_AUDIODRIVER=dummy
export LINUX_FPS=$linux_build/zoov_fps WINDOWS_FPS=$windows_build/zoov_fps.exe SECONDS_EACH=$seconds ROUNDS=$rounds

cd "$work"
echo "zoov_fps, 960x540, ${seconds} s per run, ${rounds} rounds, Xvfb + $(
  xvfb-run -a glxinfo -B 2>/dev/null | sed -n 's/.*OpenGL renderer string: //p' || true)"
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" bash -c '
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver -p
  timeout 120 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  # "FPS CPU_MS" from zoov_fps: frames per second and CPU milliseconds per frame.
  rate() { tr -d "\r" | sed -n "s/^assets: .* = \([0-9.]*\) fps, \([0-9.]*\) cpu-ms.*/\1 \2/p"; }
  for round in $(seq 1 "$ROUNDS"); do
    read -r linux linux_cpu < <(timeout 120 "$LINUX_FPS" "$SECONDS_EACH" | rate)
    read -r windows windows_cpu < <(timeout 120 /usr/lib/wine/wine64 "$WINDOWS_FPS" "$SECONDS_EACH" | rate)
    echo "round $round: Linux ${linux:-?} fps (${linux_cpu:-?} cpu-ms/frame)," \
      "Windows under Wine ${windows:-?} fps (${windows_cpu:-?} cpu-ms/frame)"
    echo "${linux:-0} ${windows:-0}" >>rates
  done
  /usr/lib/wine/wineserver -k
'
awk '
  { l[NR] = $1; w[NR] = $2 }
  function median(a, n,   i, j, t) {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  END {
    ml = median(l, NR); mw = median(w, NR)
    printf "median: Linux %.2f fps, Windows under Wine %.2f fps, ratio Windows/Linux %.2f\n", ml, mw, mw / ml
  }' "$work/rates"
