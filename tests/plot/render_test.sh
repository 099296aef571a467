#!/usr/bin/env bash
# kedo plot on the golden runs: the SVG is well-formed XML (xmllint) and draws
# (rsvg-convert renders it to a PNG of the picture's size); a folder without
# the run's files fails with a message naming them.
#   render_test.sh KEDO SOURCE_DIR
set -euo pipefail
kedo=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for run in assess english recog; do
  "$kedo" plot "$source/tests/golden/$run" "$work/$run.svg" >/dev/null
  xmllint --noout "$work/$run.svg"
  rsvg-convert "$work/$run.svg" -o "$work/$run.png"
  # The PNG signature, then the width in the IHDR chunk: 1000 = 0 0 3 232.
  header=$(od -An -tu1 -N20 "$work/$run.png" | tr -s ' \n' ' ')
  [ "$header" = " 137 80 78 71 13 10 26 10 0 0 0 13 73 72 68 82 0 0 3 232 " ] ||
    { echo "$run: not a 1000-pixel-wide PNG: $header"; exit 1; }
  # A drawing with something on it: compresses to more than a blank page would.
  [ "$(stat -c %s "$work/$run.png")" -gt 20000 ] || { echo "$run: the PNG is nearly empty"; exit 1; }
done
mkdir "$work/empty"
if "$kedo" plot "$work/empty" "$work/none.svg" 2>"$work/err"; then
  echo "an empty folder was drawn"; exit 1
fi
grep -q "lacks output.wave (the conditioned recording) and output.xml (the result document)" "$work/err" ||
  { cat "$work/err"; exit 1; }
[ ! -e "$work/none.svg" ] || { echo "a picture was written for an empty folder"; exit 1; }
echo "rendered assess, english, recog"
