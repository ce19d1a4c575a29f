#!/usr/bin/env bash
# Serves the browser build (dist/web, made by scripts/build-web.sh) on this machine and
# prints its address. Usage: scripts/serve-web.sh [PORT] (default 8020).
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f dist/web/index.html ] || { echo "serve-web: no dist/web yet: run scripts/build-web.sh" >&2; exit 1; }
exec node scripts/lib/web-server.mjs dist/web "${1:-8020}"
