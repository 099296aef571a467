#!/usr/bin/env bash
# The Windows build of the engine under Wine, against the native build on the
# same inputs (the bundled data set):
#   - kedo.exe run writes byte-identical output folders for an English and a
#     Chinese assessment and recognition, prints the same result line and the
#     same progress apart from timings and line ends;
#   - the engine object (kedo.exe recog/assess --home) finds its working
#     folder, empties and fills kedoData\output, and a Big5 sentence survives
#     the round trip through the thread's code page (950) by its bytes;
#   - record-assess records from the wave-in device (ALSA's null device
#     under a HOME of the test's own) and writes a WAV of the asked length;
#   - without KEDO_HOME the engine object works in C:\kedoCom.
# FLV recordings have their own comparison, flv_test.sh.
# Run by scripts/test-windows.sh, which sets KEDO_SOURCE_DIR, KEDO_WIN_BUILD,
# KEDO_NATIVE_BUILD and a fresh WINEPREFIX.
set -euo pipefail
: "${KEDO_SOURCE_DIR:?}" "${KEDO_WIN_BUILD:?}" "${KEDO_NATIVE_BUILD:?}" "${WINEPREFIX:?}"
export WINEDEBUG=${WINEDEBUG:--all}

exe=$KEDO_WIN_BUILD/kedo.exe
native=$KEDO_NATIVE_BUILD/kedo
win=$WINEPREFIX/drive_c/kedoPort    # C:\kedoPort
nat=$(mktemp -d)
home=$(mktemp -d)
cleanup() { rm -rf "$win" "$nat" "$home"; }
trap cleanup EXIT
rm -rf "$win"
mkdir -p "$win"
cp -r "$KEDO_SOURCE_DIR/tests/data/toy/kedoData" "$win/"
cp -r "$KEDO_SOURCE_DIR/tests/data/toy/kedoData" "$nat/"
samples=kedoData/samples

source "$KEDO_SOURCE_DIR/tests/windows/checks.sh"

# The progress lines without the timings and the carriage returns that the
# Windows console adds.
progress() { tr -d '\r' < "$1" | sed -E 's/^[0-9]+\.[0-9]{3} sec: /T sec: /'; }
# The native program shows Big5 text in UTF-8; the Windows one prints it in
# the console's code page (950 for Chinese), as it prints its result lines.
progress_win() { progress "$1" | iconv -f CP950 -t UTF-8; }

# 1. Whole pipeline runs with relative names from the working folder.
for lang in english chinese; do
  for function in assess recog; do
    if [ "$function" = assess ]; then texts=$samples/$lang.txt prm=kedoData/$lang.sa.prm
    else texts=$samples/${lang}_list.txt prm=kedoData/$lang.vc.prm; fi
    out=out_${lang}_$function
    mkdir "$nat/$out" "$win/$out"
    args=(run --prm "$prm" --wav "$samples/$lang.wav" --txt "$texts" --function "$function" --outdir "$out")
    (cd "$nat" && "$native" "${args[@]}" > "$out.log" 2>&1) || fail "native kedo ${args[*]}"
    (cd "$win" && wine "$exe" "${args[@]}" > "$out.log" 2>&1) || fail "kedo.exe ${args[*]}: $(tail -3 "$win/$out.log")"
    if [ -z "$(ls "$nat/$out")" ]; then
      fail "$lang $function: the native run wrote no files"
    elif diff -r "$nat/$out" "$win/$out" > /dev/null; then
      pass "$lang $function: $(ls "$nat/$out" | wc -l) output files byte-identical"
    else
      fail "$lang $function: output folders differ: $(diff -rq "$nat/$out" "$win/$out" | tr '\n' ' ')"
    fi
    if cmp -s <(progress "$nat/$out.log") <(progress_win "$win/$out.log"); then
      pass "$lang $function: same progress and result line ($(tail -1 "$nat/$out.log" | tr -d '\r' | cut -c1-40))"
    else
      fail "$lang $function: progress differs: $(diff <(progress "$nat/$out.log") <(progress_win "$win/$out.log") | head -4 | tr '\n' ' ')"
    fi
  done
done

# 2. The engine object on its working folder, Chinese under code page 950
# (Wine takes it from the zh_TW.UTF-8 locale).
locale -a 2> /dev/null | grep -qix 'zh_TW.utf8' || fail "no zh_TW.UTF-8 locale (scripts/install-deps.sh makes it)"
big5_sentence=$(cat "$KEDO_SOURCE_DIR/tests/data/toy/kedoData/samples/chinese.txt")
utf8_sentence=$(iconv -f BIG5 -t UTF-8 < "$KEDO_SOURCE_DIR/tests/data/toy/kedoData/samples/chinese.txt")
zh() { (cd "$win" && LC_ALL=zh_TW.UTF-8 wine "$exe" "$@" --home 'C:\kedoPort' --lang zh 2> err.log | tr -d '\r'); }
# The audio file's name is Chinese too: it reaches the C runtime in code
# page 950.
cp "$win/$samples/chinese.wav" "$win/語音.wav"
result=$(zh recog '語音.wav' 'kedoData\samples\chinese_list.txt' | tail -1) ||
  fail "kedo.exe recog --lang zh: $(cat "$win/err.log")"
native_result=$("$native" recog "$nat/$samples/chinese.wav" "$nat/$samples/chinese_list.txt" --home "$nat" --lang zh | tail -1)
if [ "$result" = "text=$big5_sentence" ] && [ "$native_result" = "text=$utf8_sentence" ]; then
  pass "recog --lang zh 語音.wav: the Big5 sentence comes back as the same bytes (native: the same sentence in UTF-8)"
else
  fail "recog --lang zh: got $(printf %s "$result" | od -An -tx1 | tr -d '\n'), native $native_result"
fi
# The sentence given on the command line (the console's code page 950)
# reaches the candidate file as the same Big5 bytes.
score=$(zh assess 'kedoData\samples\chinese.wav' "$utf8_sentence" | tail -1) ||
  fail "kedo.exe assess --lang zh: $(cat "$win/err.log")"
native_score=$("$native" assess "$nat/$samples/chinese.wav" "$utf8_sentence" --home "$nat" --lang zh | tail -1)
if cmp -s "$win/kedoData/output/saTXT.txt" "$KEDO_SOURCE_DIR/tests/data/toy/kedoData/samples/chinese.txt"; then
  pass "assess --lang zh: saTXT.txt holds the Big5 sentence"
else
  fail "assess --lang zh: saTXT.txt is $(od -An -tx1 "$win/kedoData/output/saTXT.txt" | tr -d '\n')"
fi
if [ -n "$score" ] && [ "$score" = "$native_score" ]; then
  pass "assess --lang zh: $score as on Linux"
else
  fail "assess --lang zh: $score, native $native_score"
fi
# Only files that do not spell the audio file's path must match.
same=0
for f in "$nat"/kedoData/output/*; do
  name=$(basename "$f")
  grep -q "$nat" "$f" && continue
  if cmp -s "$f" "$win/kedoData/output/$name"; then same=$((same + 1)); else fail "engine object: $name differs"; fi
done
pass "engine object: $same output files byte-identical"

# 3. Recording from the wave-in device. Without an ALSA device Wine has no
# wave-in device, and the service's own error text is reported.
out=$(cd "$win" && HOME=$home wine "$exe" record-assess 0.5 "hello world" --home 'C:\kedoPort' 2>&1 | tr -d '\r' || true)
if printf '%s\n' "$out" | grep -q '^Cannot start recording: A device ID has been used that is out of range'; then
  pass "record-assess without a device: $(printf '%s\n' "$out" | grep '^Cannot start')"
else
  fail "record-assess without a device: $out"
fi
# ALSA's null device captures silence.
printf 'pcm.!default { type null }\n' > "$home/.asoundrc"
rm -f "$win/kedoData/output/"*
(cd "$win" && HOME=$home wine "$exe" record-assess 0.5 "hello world" --home 'C:\kedoPort' > rec.log 2>&1) ||
  fail "record-assess: $(tail -3 "$win/rec.log")"
size=$(stat -c %s "$win/kedoData/output/saWAV.wav" 2> /dev/null || echo 0)
if [ "$size" = $((46 + 16000)) ]; then  # RIFF, 18-byte "fmt ", "data" headers
  pass "record-assess: saWAV.wav holds 0.5 s of 16 kHz 16-bit audio, then $(tail -1 "$win/rec.log" | tr -d '\r')"
else
  fail "record-assess: saWAV.wav has $size bytes, not 16046"
fi

# 4. Without KEDO_HOME the working folder is C:\kedoCom; the failure to enter
# it is reported and logged in %temp% as on Linux.
if [ ! -e "$WINEPREFIX/drive_c/kedoCom" ]; then
  out=$(cd "$win" && env -u KEDO_HOME wine "$exe" assess speech.wav hello 2>&1 | tr -d '\r' || true)
  log=$(printf '%s\n' "$out" | sed -n 's/^Saved error log at \(.*\)\.\.\.$/\1/p')
  unix_log=$(winepath -u "$log" 2> /dev/null || true)
  if printf '%s\n' "$out" | grep -q 'Cannot use C:\\kedoCom as the working folder' &&
     [ -n "$unix_log" ] && grep -q '^Error: Cannot use C:\\kedoCom as the working folder' "$unix_log"; then
    pass "default working folder C:\\kedoCom; error log $log"
  else
    fail "default working folder: $out"
  fi
  [ -n "$unix_log" ] && rm -f "$unix_log"
fi

finish port
