#!/usr/bin/env bash
# kedo plot in the Windows build under Wine: the pictures of the golden runs
# (two Chinese, one English) are the same bytes as the native build's, with
# the Chinese text decoded from Big5 whatever the ANSI code page; a folder
# without the run's files fails alike.
# Run by scripts/test-windows.sh, which sets KEDO_SOURCE_DIR, KEDO_WIN_BUILD,
# KEDO_NATIVE_BUILD and a fresh WINEPREFIX.
set -euo pipefail
: "${KEDO_SOURCE_DIR:?}" "${KEDO_WIN_BUILD:?}" "${KEDO_NATIVE_BUILD:?}" "${WINEPREFIX:?}"
export WINEDEBUG=${WINEDEBUG:--all}

exe=$KEDO_WIN_BUILD/kedo.exe
native=$KEDO_NATIVE_BUILD/kedo
win=$WINEPREFIX/drive_c/kedoPlot    # C:\kedoPlot
cleanup() { rm -rf "$win"; }
trap cleanup EXIT
rm -rf "$win"
mkdir -p "$win/empty"
cp -r "$KEDO_SOURCE_DIR/tests/golden" "$win/"

source "$KEDO_SOURCE_DIR/tests/windows/checks.sh"

for run in assess recog english; do
  "$native" plot "$win/golden/$run" "$win/$run.nat.svg" >/dev/null
  (cd "$win" && LC_ALL=C.UTF-8 wine "$exe" plot "golden\\$run" "$run.win.svg" >/dev/null 2>&1) || true
  if [ -f "$win/$run.win.svg" ] && cmp -s "$win/$run.nat.svg" "$win/$run.win.svg"; then
    pass "$run: the same picture"
  else
    fail "$run: the Windows picture differs or is missing"
  fi
done
grep -q '>你好</text>' "$win/assess.win.svg" && pass "Big5 text decoded" || fail "Big5 text not decoded"

status=0
message=$(cd "$win" && wine "$exe" plot empty none.svg 2>&1 | tr -d '\r') || status=$?
if [ "$status" -ne 0 ] && [[ $message == *"lacks output.wave (the conditioned recording) and output.xml"* ]]; then
  pass "a folder without the run's files is refused"
else
  fail "empty folder: status $status, message: $message"
fi
finish plot
