#!/usr/bin/env bash
# FLV recordings (Nellymoser audio) in the Windows build under Wine, against
# the native build on the same files:
#   - formats 4 (16 kHz), 5 (8 kHz) and 6 at 11.025, 22.05 and 44.1 kHz, made
#     by ffmpeg from the bundled English sample, and stereo format-6 files
#     made by setting the channel bit in every audio tag: kedo.exe wave-info
#     reports the same rate, bits and channels and its samples match the
#     native decoder's (identical, or within +-1 at worst);
#   - an assessment of an FLV recording scores as on Linux (within 0.5);
#   - the FLV fuzz corpus and a set of broken files give the same output,
#     messages and exit status as on Linux.
# Run by scripts/test-windows.sh, which sets KEDO_SOURCE_DIR, KEDO_WIN_BUILD,
# KEDO_NATIVE_BUILD and a fresh WINEPREFIX.
set -euo pipefail
: "${KEDO_SOURCE_DIR:?}" "${KEDO_WIN_BUILD:?}" "${KEDO_NATIVE_BUILD:?}" "${WINEPREFIX:?}"
export WINEDEBUG=${WINEDEBUG:--all}

exe=$KEDO_WIN_BUILD/kedo.exe
native=$KEDO_NATIVE_BUILD/kedo
win=$WINEPREFIX/drive_c/kedoFlv    # C:\kedoFlv, also the native run's folder
cleanup() { rm -rf "$win"; }
trap cleanup EXIT
rm -rf "$win"
mkdir -p "$win"
cp -r "$KEDO_SOURCE_DIR/tests/data/toy/kedoData" "$win/"
samples=kedoData/samples

source "$KEDO_SOURCE_DIR/tests/windows/checks.sh"

# Both builds on the same arguments from the same folder: stdout and stderr
# of each in NAME.nat / NAME.win (carriage returns dropped; the line naming
# the error log, which only the Windows build prints, and blank lines left
# out), the exit status appended.
both() {
  local name=$1
  shift
  (cd "$win" && { "$native" "$@" 2>&1 && echo exit=0 || echo "exit=$?"; } | grep -v -e '^Saved error log at' -e '^$' > "$name.nat") || true
  (cd "$win" && { wine "$exe" "$@" 2>&1 && echo exit=0 || echo "exit=$?"; } | tr -d '\r' | grep -v -e '^Saved error log at' -e '^$' > "$name.win") || true
}

# The largest difference between two raw 16-bit little-endian files of the
# same length, or "length" when they differ in length.
max_diff() {
  /usr/bin/python3 - "$1" "$2" << 'EOF'
import sys
import numpy as np
a = np.fromfile(sys.argv[1], dtype='<i2').astype(np.int32)
b = np.fromfile(sys.argv[2], dtype='<i2').astype(np.int32)
print("length" if a.size != b.size else int(np.abs(a - b).max(initial=0)))
EOF
}

# Sets the channel bit in the flags byte of every audio tag.
make_stereo() {
  /usr/bin/python3 - "$1" "$2" << 'EOF'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
pos = 9 + 4
while pos + 11 <= len(data):
    size = int.from_bytes(data[pos + 1:pos + 4], 'big')
    if data[pos] == 8 and size > 0:
        data[pos + 11] |= 1
    pos += 11 + size + 4
open(sys.argv[2], 'wb').write(data)
EOF
}

# 1. Formats and rates, sample for sample.
identical=0
for rate in 8000 16000 11025 22050 44100; do
  sox "$win/$samples/english.wav" -r "$rate" "$win/en$rate.wav"
  ffmpeg -nostdin -loglevel error -y -i "$win/en$rate.wav" -c:a nellymoser "$win/en$rate.flv"
done
make_stereo "$win/en22050.flv" "$win/en22050s.flv"
make_stereo "$win/en44100.flv" "$win/en44100s.flv"
for f in en8000 en16000 en11025 en22050 en44100 en22050s en44100s; do
  both "$f" wave-info "$f.flv" --raw "$f.raw"
  mv "$win/$f.raw" "$win/$f.raw.win" 2> /dev/null || true
  (cd "$win" && "$native" wave-info "$f.flv" --raw "$f.raw" > /dev/null)
  info=$(head -1 "$win/$f.nat")
  if ! cmp -s "$win/$f.nat" "$win/$f.win"; then
    fail "$f.flv: kedo.exe says '$(head -1 "$win/$f.win")', native '$info'"
    continue
  fi
  if cmp -s "$win/$f.raw" "$win/$f.raw.win"; then
    identical=$((identical + 1))
    pass "$f.flv: $info, samples identical"
  else
    diff=$(max_diff "$win/$f.raw" "$win/$f.raw.win")
    if [ "$diff" != length ] && [ "$diff" -le 1 ]; then
      pass "$f.flv: $info, samples within +-$diff"
    else
      fail "$f.flv: samples differ by $diff"
    fi
  fi
done
grep -q 'channels=2' "$win/en44100s.nat" || fail "the rewritten 44.1 kHz file is not stereo: $(cat "$win/en44100s.nat")"
grep -q 'rate=8000 bits=16 channels=1' "$win/en8000.nat" || fail "en8000.flv: $(cat "$win/en8000.nat")"
echo "  $identical of 7 FLV files decoded to identical samples"

# 2. An assessment of the 16 kHz recording.
args=(run --prm kedoData/english.sa.prm --wav en16000.flv --txt "$samples/english.txt" --function assess)
both assess "${args[@]}"
nat_score=$(grep -v '^exit=' "$win/assess.nat" | tail -1)
win_score=$(grep -v '^exit=' "$win/assess.win" | tail -1)
score_of() { printf '%s\n' "$1" | grep -oE '[0-9]+(\.[0-9]+)?' | head -1; }
if ! grep -q '^exit=0' "$win/assess.nat" || ! grep -q '^exit=0' "$win/assess.win"; then
  fail "assess en16000.flv: native '$(tail -2 "$win/assess.nat" | tr '\n' ' ')', kedo.exe '$(tail -2 "$win/assess.win" | tr '\n' ' ')'"
elif [ "$nat_score" = "$win_score" ]; then
  pass "assess en16000.flv: '$win_score' as on Linux"
elif /usr/bin/python3 -c "import sys; sys.exit(abs(float('$(score_of "$nat_score")') - float('$(score_of "$win_score")')) > 0.5)"; then
  pass "assess en16000.flv: '$win_score', native '$nat_score' (within 0.5)"
else
  fail "assess en16000.flv: '$win_score', native '$nat_score'"
fi

# 3. Broken files and the fuzz corpus: the same output and exit status.
good=$win/en16000.flv
mkdir -p "$win/bad"
: > "$win/bad/empty.flv"
head -c 100 "$good" > "$win/bad/truncated.flv"
head -c 5 "$good" > "$win/bad/short_header.flv"
{ printf 'FLX'; tail -c +4 "$good"; } > "$win/bad/magic.flv"
{ head -c 9 "$good"; printf '\000\000\000\001'; tail -c +14 "$good"; } > "$win/bad/tag_size.flv"
/usr/bin/python3 - "$good" "$win/bad/not_nelly.flv" << 'EOF'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
pos = 9 + 4
while data[pos] != 8:  # to the first audio tag
    pos += 11 + int.from_bytes(data[pos + 1:pos + 4], 'big') + 4
data[pos + 11] = 0x22  # MP3
open(sys.argv[2], 'wb').write(data)
EOF
{ head -c 22 "$good"; printf '\001'; tail -c +24 "$good"; } > "$win/bad/padding.flv"
cp "$KEDO_SOURCE_DIR"/fuzz/corpus/flv_fuzz/* "$win/bad/"
same=0 total=0
for f in "$win"/bad/*; do
  name=bad/$(basename "$f")
  total=$((total + 1))
  both check wave-info "$name"
  if cmp -s "$win/check.nat" "$win/check.win"; then
    same=$((same + 1))
  else
    fail "$name: native '$(tr '\n' ' ' < "$win/check.nat")', kedo.exe '$(tr '\n' ' ' < "$win/check.win")'"
  fi
done
pass "$same of $total broken and fuzz-corpus FLV files read as on Linux"
for f in truncated magic tag_size not_nelly padding; do
  both check wave-info "bad/$f.flv"
  grep -q 'bad/'"$f"'.flv' "$win/check.win" && grep -q '^exit=1' "$win/check.win" ||
    fail "bad/$f.flv is not refused by name: $(tr '\n' ' ' < "$win/check.win")"
done

finish FLV
