#!/usr/bin/env bash
# The KEDO_COM component under Wine: registration and its registry keys, the
# C++ client (interfaces, type information, aggregation, errors, English
# assessment and recognition compared with the native build), the VBScript
# and JScript hosts, Chinese text under code page 950, recording from Wine's
# null capture device, and unregistration.
#
# Run by scripts/test-windows.sh, which exports KEDO_SOURCE_DIR,
# KEDO_WIN_BUILD, KEDO_NATIVE_BUILD, WINEPREFIX and the Wine settings.
set -uo pipefail
: "${KEDO_SOURCE_DIR:?}" "${KEDO_WIN_BUILD:?}" "${KEDO_NATIVE_BUILD:?}" "${WINEPREFIX:?}"
unset KEDO_HOME  # the component's working folder is C:\kedoCom

CLSID='{5AADBCC7-54FC-4948-9431-70C5436C385C}'
IID='{F428A705-9597-4D82-91DD-549015CB13E4}'
LIBID='{A962E528-E7A0-4B86-A30E-47698CF834F3}'

drive=$WINEPREFIX/drive_c
work=$drive/kedoCom         # C:\kedoCom, the engine's working folder
bin=$drive/kedoComTest      # C:\kedoComTest: the DLL, the client, the scripts
native=$KEDO_WIN_BUILD/com_native_home   # the same data for the native engine
samples='C:\kedoCom\kedoData\samples'
sampleDir=$work/kedoData/samples
failures=0
step_start=$(date +%s.%N)

pass() { echo "  ok: $*"; }
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }
expect() {  # expect DESCRIPTION COMMAND...: the command must succeed
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
step() {
  local now; now=$(date +%s.%N)
  [ -n "${step_name:-}" ] && awk -v a="$step_start" -v b="$now" -v n="$step_name" 'BEGIN { printf "  (%s: %.1f s)\n", n, b - a }'
  step_name=$1; step_start=$now
  echo "-- $1"
}
# Runs a Windows program; standard output without carriage returns.
win() { wine "$@" 2>/dev/null | tr -d '\r'; }
# The value of a registry value ("" for the default one), or nothing.
regvalue() {
  local key=$1 name=$2 out
  if [ -z "$name" ]; then out=$(wine reg query "$key" /ve 2>/dev/null); else out=$(wine reg query "$key" /v "$name" 2>/dev/null); fi
  printf '%s\n' "$out" | tr -d '\r' | awk -F'    ' '/REG_SZ/ {print $NF; exit}'
}
regexists() { wine reg query "$1" >/dev/null 2>&1; }
field() { sed -n "s/^$1=//p" | tail -1; }  # the value of the last NAME= line
# a and b differ by at most 0.001
close() { awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(a != "" && b != "" && d <= 0.001) }'; }
utf16hex() { iconv -f UTF-8 -t UTF-16LE | od -An -tx2 -v | tr -d ' \n'; }

for f in "$KEDO_WIN_BUILD/com/KEDO_COM.dll" "$KEDO_WIN_BUILD/com/com_client.exe" "$KEDO_NATIVE_BUILD/kedo"; do
  [ -e "$f" ] || { echo "missing $f"; exit 1; }
done
for f in english.wav english.txt english_list.txt chinese.wav chinese.txt chinese_list.txt; do
  [ -e "$KEDO_SOURCE_DIR/tests/data/toy/kedoData/samples/$f" ] || { echo "missing the sample tests/data/toy/kedoData/samples/$f"; exit 1; }
done

step "setup: C:\\kedoCom with the bundled data, C:\\kedoComTest with the component"
rm -rf "$work" "$bin" "$native"
mkdir -p "$work" "$bin" "$native"
cp -r "$KEDO_SOURCE_DIR/tests/data/toy/kedoData" "$work/"
cp -r "$KEDO_SOURCE_DIR/tests/data/toy/kedoData" "$native/"
cp "$KEDO_WIN_BUILD/com/KEDO_COM.dll" "$KEDO_WIN_BUILD/com/com_client.exe" \
   "$KEDO_SOURCE_DIR/tests/windows/com_host.vbs" "$KEDO_SOURCE_DIR/tests/windows/com_host.js" "$bin/"
imports=$(x86_64-w64-mingw32-objdump -p "$bin/KEDO_COM.dll" | sed -n 's/.*DLL Name: //p' | tr '\n' ' ')
echo "  KEDO_COM.dll imports: $imports"
expect "KEDO_COM.dll imports only system DLLs" \
  bash -c "! printf '%s\n' $imports | grep -qiv -E '^(kernel32|user32|advapi32|ole32|oleaut32|msvcrt|winmm|shell32|ws2_32|bcrypt|api-ms-win-.*)\.dll$'"
cd "$bin" || exit 1

step "regsvr32"
wine regsvr32 /s 'C:\kedoComTest\KEDO_COM.dll' >/dev/null 2>&1
expect "regsvr32 registers the DLL" test $? -eq 0
check_value() {  # check_value KEY NAME EXPECTED
  local got; got=$(regvalue "$1" "$2")
  if [ "$got" = "$3" ]; then pass "$1 ${2:-(default)} = $3"; else fail "$1 ${2:-(default)} = '$got', expected '$3'"; fi
}
check_value 'HKCR\KEDO_COM.KEDO.1' '' 'KEDO Class'
check_value 'HKCR\KEDO_COM.KEDO.1\CLSID' '' "$CLSID"
check_value 'HKCR\KEDO_COM.KEDO' '' 'KEDO Class'
check_value 'HKCR\KEDO_COM.KEDO\CLSID' '' "$CLSID"
check_value 'HKCR\KEDO_COM.KEDO\CurVer' '' 'KEDO_COM.KEDO.1'
check_value "HKCR\\CLSID\\$CLSID" '' 'KEDO Class'
check_value "HKCR\\CLSID\\$CLSID\\ProgID" '' 'KEDO_COM.KEDO.1'
check_value "HKCR\\CLSID\\$CLSID\\VersionIndependentProgID" '' 'KEDO_COM.KEDO'
check_value "HKCR\\CLSID\\$CLSID\\InprocServer32" '' 'C:\kedoComTest\KEDO_COM.dll'
check_value "HKCR\\CLSID\\$CLSID\\InprocServer32" 'ThreadingModel' 'Both'
check_value "HKCR\\CLSID\\$CLSID\\TypeLib" '' "$LIBID"
check_value "HKCR\\CLSID\\$CLSID\\Version" '' '1.0'
check_value "HKCR\\TypeLib\\$LIBID\\1.0" '' 'KEDO_COM 1.0 Type Library'
check_value "HKCR\\Interface\\$IID" '' 'IKEDO'
check_value "HKCR\\Interface\\$IID\\TypeLib" '' "$LIBID"
check_value "HKCR\\Interface\\$IID\\ProxyStubClsid32" '' '{00020424-0000-0000-C000-000000000046}'

step "C++ client: interfaces, type information, aggregation, errors"
out=$(win com_client.exe basics 'C:\kedoCom\kedoData\samples\nosuch.wav')
printf '%s\n' "$out" | grep -E '^(FAIL|error=)' | sed 's/^/  /'
echo "  $(printf '%s\n' "$out" | grep -c '^ok:') client checks passed"
expect "the client's checks all pass" test "$(printf '%s\n' "$out" | field failures)" = 0

out=$(KEDO_HOME='C:\kedoNoSuchFolder' win com_client.exe create-fails)
printf '%s\n' "$out" | grep -E '^(FAIL|hr=|error=)' | sed 's/^/  /'
expect "an engine that cannot start fails CoCreateInstance with its message" \
  test "$(printf '%s\n' "$out" | field failures)" = 0

step "English assessment and recognition: C++ client against the native engine"
sentence=$(cat "$sampleDir/english.txt")
nativeScore=$("$KEDO_NATIVE_BUILD/kedo" assess --home "$native" "$native/kedoData/samples/english.wav" "$sentence" 2>/dev/null | field score)
nativeText=$("$KEDO_NATIVE_BUILD/kedo" recog --home "$native" "$native/kedoData/samples/english.wav" \
  "$native/kedoData/samples/english_list.txt" 2>/dev/null | field text)
echo "  native: score=$nativeScore text=$nativeText"
out=$(win com_client.exe assess 0 "$samples\\english.wav" "$samples\\english.txt")
comScore=$(printf '%s\n' "$out" | field score)
printf '%s\n' "$out" | grep -E '^(FAIL|error=)' | sed 's/^/  /'
echo "  component: score=$comScore"
expect "Assess through the vtable and Invoke" test "$(printf '%s\n' "$out" | field failures)" = 0
expect "the component's score is the native score" close "$comScore" "$nativeScore"
out=$(win com_client.exe recog 0 "$samples\\english.wav" "$samples\\english_list.txt")
printf '%s\n' "$out" | grep -E '^(FAIL|error=)' | sed 's/^/  /'
expect "Recog through the vtable and Invoke" test "$(printf '%s\n' "$out" | field failures)" = 0
expect "the component's sentence is the native sentence" \
  test "$(printf '%s\n' "$out" | field sentence16)" = "$(printf '%s' "$nativeText" | utf16hex)"
expect "the native sentence is not empty" test -n "$nativeText"

step "VBScript and JScript through cscript"
for host in com_host.vbs com_host.js; do
  tag=${host##*.}
  out=$(win cscript //nologo "$host" "$samples\\english.wav" "$sentence" "$samples\\english_list.txt" "$samples\\nosuch.wav")
  rc=${PIPESTATUS[0]}
  printf '%s\n' "$out" | grep -E '^(score|sentence|error)=' | sed "s/^/  $tag: /"
  expect "$host ends with its result line" test "$(printf '%s\n' "$out" | tail -1)" = "$tag result: ok"
  expect "$host exits 0" test "$rc" -eq 0
  expect "$host gets the native score" close "$(printf '%s\n' "$out" | field score)" "$nativeScore"
  expect "$host gets the native sentence" test "$(printf '%s\n' "$out" | field sentence)" = "$nativeText"
  expect "$host sees the engine's message for a missing file" \
    bash -c "printf '%s\n' \"\$1\" | grep -q '^error=.*nosuch.wav'" _ "$out"
done

step "Chinese under LC_ALL=zh_TW.UTF-8 (code page 950)"
acp=$(LC_ALL=zh_TW.UTF-8 win com_client.exe acp | field acp)
expect "the ANSI code page is 950 (got $acp)" test "$acp" = 950
nativeZh=$(iconv -f CP950 -t UTF-8 "$native/kedoData/samples/chinese.txt")
nativeScore=$("$KEDO_NATIVE_BUILD/kedo" assess --lang zh --home "$native" "$native/kedoData/samples/chinese.wav" "$nativeZh" 2>/dev/null | field score)
nativeText=$("$KEDO_NATIVE_BUILD/kedo" recog --lang zh --home "$native" "$native/kedoData/samples/chinese.wav" \
  "$native/kedoData/samples/chinese_list.txt" 2>/dev/null | field text)
out=$(LC_ALL=zh_TW.UTF-8 win com_client.exe assess 1 "$samples\\chinese.wav" "$samples\\chinese.txt")
printf '%s\n' "$out" | grep -E '^(FAIL|error=)' | sed 's/^/  /'
comScore=$(printf '%s\n' "$out" | field score)
echo "  native score=$nativeScore component score=$comScore"
expect "the Chinese assessment runs" test "$(printf '%s\n' "$out" | field failures)" = 0
expect "the Chinese score is the native score" close "$comScore" "$nativeScore"
expect "the Big5 sentence reaches the engine byte for byte (saTXT.txt)" \
  cmp -s <(printf '%s' "$(cat "$sampleDir/chinese.txt")") "$work/kedoData/output/saTXT.txt"
out=$(LC_ALL=zh_TW.UTF-8 win com_client.exe recog 1 "$samples\\chinese.wav" "$samples\\chinese_list.txt" "$samples\\chinese.txt")
printf '%s\n' "$out" | grep -E '^(FAIL|error=|sentence16|expected16)' | sed 's/^/  /'
expect "the recognised Big5 sentence comes back as the expected code units" \
  test "$(printf '%s\n' "$out" | field failures)" = 0
expect "the recognised sentence is the native one (code units)" \
  test "$(printf '%s\n' "$out" | field sentence16)" = "$(printf '%s' "$nativeText" | utf16hex)"

out=$(LC_ALL=zh_TW.UTF-8 win com_client.exe missing "$samples\\無此檔.wav")
printf '%s\n' "$out" | grep -E '^FAIL' | sed 's/^/  /'
expect "the message of a missing Chinese file name names it (code units)" \
  test "$(printf '%s\n' "$out" | field failures)" = 0

step "Recording from Wine's null capture device"
home=$bin/home
mkdir -p "$home"
echo 'pcm.!default { type null }' >"$home/.asoundrc"
out=$(HOME=$home win com_client.exe record-assess 1 "$samples\\english.txt")
printf '%s\n' "$out" | grep -E '^(FAIL|vtable|invoke|error=|sentence16|recording)' | sed 's/^/  /'
wav=$work/kedoData/output/saWAV.wav
size=$(stat -c %s "$wav" 2>/dev/null || echo 0)
expect "RecordAndAssess wrote one second of 16 kHz 16-bit audio to saWAV.wav ($size bytes)" \
  test "$size" -ge 32044
expect "RecordAndAssess through the vtable and Invoke agree" test "$(printf '%s\n' "$out" | field failures)" = 0
error=$(printf '%s\n' "$out" | field error)
expect "the recorder itself did not fail" \
  bash -c "! printf '%s' \"\$1\" | grep -qiE 'record|capture'" _ "$error"
if [ "$size" -ge 44 ]; then
  cp "$wav" "$native/silence.wav"
  nativeOut=$("$KEDO_NATIVE_BUILD/kedo" assess --home "$native" "$native/silence.wav" "$sentence" 2>&1)
  if [ -n "$error" ]; then
    nativeError=$(printf '%s\n' "$nativeOut" | grep -F "${error%% (line*}" | head -1)
    echo "  native on the same recording: ${nativeError:-$(printf '%s\n' "$nativeOut" | tail -1)}"
    expect "the silent recording fails in the pipeline as it does natively" test -n "$nativeError"
  else
    expect "the silent recording scores as it does natively" \
      close "$(printf '%s\n' "$out" | sed -n 's/^vtable hr=0x00000000 score=//p')" "$(printf '%s\n' "$nativeOut" | field score)"
  fi
fi

out=$(HOME=$home win com_client.exe record-recog 1 "$samples\\english_list.txt")
printf '%s\n' "$out" | grep -E '^(FAIL|vtable|invoke|error=|sentence16|recording)' | sed 's/^/  /'
size=$(stat -c %s "$work/kedoData/output/vcWAV.wav" 2>/dev/null || echo 0)
expect "RecordAndRecog wrote vcWAV.wav ($size bytes)" test "$size" -ge 32044
expect "RecordAndRecog through the vtable and Invoke agree" test "$(printf '%s\n' "$out" | field failures)" = 0
out=$(HOME=$home win com_client.exe busy 5)
printf '%s\n' "$out" | grep -E '^(FAIL|vtable|invoke|error=|sentence16|recording)' | sed 's/^/  /'
expect "a call from a second thread during a recording is KEDO_E_BUSY" \
  test "$(printf '%s\n' "$out" | field failures)" = 0

# Without a usable capture device the operation ends with the recorder's
# message (or, where the machine has a sound card, records from it).
nodev=$bin/nodevice
mkdir -p "$nodev"
echo 'pcm.!default { type hw card 99 }' >"$nodev/.asoundrc"
out=$(HOME=$nodev win com_client.exe record-assess 1 "$samples\\english.txt")
printf '%s\n' "$out" | grep -E '^(FAIL|vtable|invoke|error=)' | sed 's/^/  /'
hr=$(printf '%s\n' "$out" | sed -n 's/^vtable hr=\(0x[0-9a-f]*\).*/\1/p')
expect "RecordAndAssess without a capture device: a failure with a message, or a recording" \
  bash -c '[ "$1" = 0x00000000 ] || { [ "$1" = 0x80040201 ] && [ -n "$2" ]; }' _ "$hr" "$(printf '%s\n' "$out" | field error)"

step "regsvr32 /u"
wine regsvr32 /u /s 'C:\kedoComTest\KEDO_COM.dll' >/dev/null 2>&1
expect "regsvr32 /u unregisters the DLL" test $? -eq 0
for key in 'HKCR\KEDO_COM.KEDO.1' 'HKCR\KEDO_COM.KEDO' "HKCR\\CLSID\\$CLSID" "HKCR\\TypeLib\\$LIBID" \
  "HKCR\\Interface\\$IID"; do
  expect "$key is gone" bash -c "! wine reg query '$key' >/dev/null 2>&1"
done
out=$(win cscript //nologo com_host.vbs x y z w)
expect "CreateObject fails once unregistered" bash -c "! printf '%s' \"\$1\" | grep -q 'vbs result: ok'" _ "$out"

step "cleanup"
cd "$KEDO_SOURCE_DIR" || exit 1
rm -rf "$work" "$bin" "$native"
step done
if [ "$failures" -ne 0 ]; then
  echo "com_test: $failures check(s) failed"
  exit 1
fi
echo "com_test: all checks passed"
