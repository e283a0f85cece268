#!/usr/bin/env bash
# Installs what Ostrel needs, builds it and starts it (on the simulated engraver by default).
# Usage: ./run.sh [ostrel options...]     e.g. ./run.sh --port ppdev:/dev/parport0
# Without a display it runs the sample job headless instead and prints its summary.
set -euo pipefail
cd "$(dirname "$0")"
./install-deps.sh
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target ostrel
# The headless commands, the help and the version need no display; the window does.
headless=false
case "${1:-}" in script | simulate | --help | -h | --version) headless=true ;; esac
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "$headless" = false ]; then
  echo "No display: running the sample job headless instead (burn picture: build/sample-burn.png)."
  exec ./build/ostrel simulate --picture resources/sample.png --burn build/sample-burn.png
fi
exec ./build/ostrel "$@"
