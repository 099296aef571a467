#!/usr/bin/env bash
# Configures, builds and runs the whole test suite.
#   scripts/test.sh            Release build in build/
#   scripts/test.sh asan       AddressSanitizer + UBSan build in build-asan/
#   scripts/test.sh windows    MinGW-w64 build in build-win/, tested under Wine
#   scripts/test.sh tsan       ThreadSanitizer build in build-tsan/: the tests of
#                              engines and progress sinks on several threads
#   scripts/test.sh package    the Debian package, built in build-deb/ and checked
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-release}
if [ "$mode" = windows ]; then
  exec bash scripts/test-windows.sh
fi
if [ "$mode" = package ]; then
  exec bash scripts/test-package.sh
fi
jobs=$(nproc)
if [ "$mode" = tsan ]; then
  dir=build-tsan
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKEDO_TSAN=ON -DKEDO_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-O1" >/dev/null
  cmake --build "$dir" -j "$jobs" --target kedo_bundled_data_tests kedo_util_tests kedo_facade_tests
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  "$dir/tests/kedo_bundled_data_tests" --gtest_filter='ParallelEngines.*'
  "$dir/tests/kedo_util_tests" --gtest_filter='Progress.*'
  "$dir/tests/kedo_facade_tests" --gtest_filter='FacadeTest.Concurrent*:FacadeTest.Progress*'
  exit 0
fi
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
