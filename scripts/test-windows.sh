#!/usr/bin/env bash
# Cross-builds the Windows engine (the KEDO_COM component, kedo.exe and the
# test clients) with MinGW-w64 into build-win/, then runs the Windows tests
# under Wine in a fresh prefix: every tests/windows/*_test.sh in turn.
#
# The test scripts find:
#   KEDO_SOURCE_DIR   the source tree
#   KEDO_WIN_BUILD    the MinGW build folder (build-win/)
#   KEDO_NATIVE_BUILD the native Release build (build/, built here if missing)
#   WINEPREFIX        a fresh 64-bit prefix under build-win/, already initialised
# and the Wine settings below. A script fails by exiting non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
start=$(date +%s)
jobs=$(nproc)

bash scripts/build-win-nellymoser.sh
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j "$jobs"
if [ ! -x build/kedo ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build build -j "$jobs" --target kedo_cli
echo "== windows build ready after $(( $(date +%s) - start )) s"

export KEDO_SOURCE_DIR=$root KEDO_WIN_BUILD=$root/build-win KEDO_NATIVE_BUILD=$root/build
export WINEPREFIX=$root/build-win/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
wine wineboot --init >/dev/null 2>&1
wineserver -w
echo "== wine prefix ready after $(( $(date +%s) - start )) s"

failed=()
for t in tests/windows/*_test.sh; do
  [ -e "$t" ] || continue
  echo "== $t"
  if bash "$t"; then echo "== passed: $t"; else failed+=("$t"); echo "== FAILED: $t"; fi
done
wineserver -k 2>/dev/null || true
echo "== windows tests done after $(( $(date +%s) - start )) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]}"
  exit 1
fi
