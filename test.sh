#!/usr/bin/env bash
# Configures, builds and runs the whole test suite (ctest).
# Usage: ./test.sh            (build in ./build)
#        OSTREL_SANITIZE=1 ./test.sh   (AddressSanitizer + UndefinedBehaviorSanitizer, in ./build-asan)
set -euo pipefail
cd "$(dirname "$0")"
export QT_QPA_PLATFORM=offscreen
if [ "${OSTREL_SANITIZE:-0}" = 1 ]; then
  dir=build-asan
  extra=(-DOSTREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$dir" "${generator[@]}" "${extra[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
