#!/usr/bin/env bash
# Configures, builds and runs the whole test suite.
#   scripts/test.sh            Release build in build/
#   scripts/test.sh asan       AddressSanitizer + UBSan build in build-asan/
#   scripts/test.sh windows    MinGW-w64 build in build-win/, tested under Wine
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-release}
if [ "$mode" = windows ]; then
  exec bash scripts/test-windows.sh
fi
jobs=$(nproc)
if [ "$mode" = asan ]; then
  dir=build-asan
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKEDO_SANITIZE=ON -DKEDO_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-O1" >/dev/null
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$dir" -j "$jobs"
ctest --test-dir "$dir" --output-on-failure -j "$jobs"
