#!/usr/bin/env bash
# Installs what Ostrel needs, builds it and starts it (on the simulated engraver by default).
# Usage: ./run.sh [ostrel options...]     e.g. ./run.sh --port ppdev:/dev/parport0
set -euo pipefail
cd "$(dirname "$0")"
./install-deps.sh
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target ostrel
exec ./build/ostrel "$@"
