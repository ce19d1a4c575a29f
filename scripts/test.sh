#!/usr/bin/env bash
# Installs what is missing, checks that the folders under src/ use each other one way,
# builds, and runs every test: unit tests, GL tests under Xvfb
# and end-to-end tests of the real programs; the Windows build under Wine
# (ZOOV_WINDOWS=0 skips it), the Linux release in a plain Debian 11 root (ZOOV_RELEASE=0
# skips it) and the browser build in Chromium and Firefox (ZOOV_WEB=0 skips it); then the
# native suites again in a build with AddressSanitizer and UBSan (ZOOV_SANITIZE=0 skips
# that pass).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
# Each stage's heading says how long the run has taken so far (CI has 30 minutes).
stage() { printf '== %s (at %d:%02d)\n' "$1" $((SECONDS / 60)) $((SECONDS % 60)); }

# The Linux release is built in a Debian 11 root made here with debootstrap: mostly
# downloads and one-time builds, so it runs beside the suites below and is waited for
# before its own test.
release=
if [ "${ZOOV_RELEASE:-1}" != 0 ]; then
  scripts/lib/apt-install.sh debootstrap python3-glad dpkg-dev binutils
  mkdir -p build-linux
  scripts/package-linux.sh build-linux >build-linux/package.log 2>&1 &
  release=$!
  trap '[ -n "$release" ] && kill "$release" 2>/dev/null; true' EXIT
fi

stage "folder layers"
scripts/check-layers.py

stage "plain build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure

if [ "${ZOOV_WINDOWS:-1}" != 0 ]; then  # ZOOV_WINDOWS=0 skips it
  stage "Windows build, tested under Wine"
  scripts/test-windows.sh build
fi
if [ -n "$release" ]; then
  stage "Linux release, built in a Debian 11 root and played in a plain one"
  status=0
  wait "$release" || status=$?
  release=
  if [ "$status" -ne 0 ]; then
    tail -n 40 build-linux/package.log
    exit 1
  fi
  grep '^package-linux:' build-linux/package.log
  tests/release/plain-root.sh build-linux . bullseye
fi
if [ "${ZOOV_WEB:-1}" != 0 ]; then
  stage "browser build in Chromium and Firefox"
  tests/web/run.sh build
fi

if [ "${ZOOV_SANITIZE:-1}" != 0 ]; then
  stage "AddressSanitizer + UBSan build"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOOV_SANITIZE=ON -DZOOV_BENCH=OFF >/dev/null
  # Only what the sanitized suites run: the show, the capture (text.sh's pinned frame),
  # the test binaries and their helper.
  cmake --build build-asan -j"$jobs" --target zoov2020 zoov2020-capture unit_tests gl_tests close_window \
    $(ls tests/solo/*.cpp | xargs -n1 basename | sed 's/\.cpp$//')
  # The slowest end-to-end runs (soak, valgrind) belong to the plain build only.
  ctest --test-dir build-asan --output-on-failure -LE plain-only
fi
stage "all passed"
