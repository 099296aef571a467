#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan) and
# runs each one with its seed corpus, one after the other.
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
# SECONDS_PER_TARGET defaults to 60; 0 runs every seed once and stops (a smoke
# run). Without TARGET names every target runs. The build goes to build-fuzz/
# (KEDO_FUZZ_BUILD overrides); each target's grown corpus, log and findings
# (crash-*, leak-*, timeout-*, oom-* inputs) go to build-fuzz/runs/TARGET/;
# a later run goes on from the grown corpus and counts only its own findings.
# The committed seeds in fuzz/corpus/TARGET/ are only read. Prints one line
# per target: executions, executions per second, seconds and findings. Exits 1
# when any target found something.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
build=${KEDO_FUZZ_BUILD:-build-fuzz}
mkdir -p "$build" && build=$(cd "$build" && pwd)  # absolute: pipeline_fuzz changes folder

CC=clang CXX=clang++ cmake -S fuzz -B "$build" -G Ninja >/dev/null || exit 2
cmake --build "$build" >"$build/build.log" 2>&1 || { tail -n 30 "$build/build.log"; exit 2; }

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

# The readers take file names: keep the per-input files in memory when possible.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
# No error logs in a temp folder for every rejected input.
unset temp TEMP
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Options of single targets: input sizes and dictionaries.
target_options() {
  case $1 in
    wav_fuzz) echo "-max_len=4096" ;;
    flv_fuzz) echo "-max_len=8192" ;;
    frontend_wave_fuzz) echo "-max_len=40000" ;;
    mac_fuzz | macb_fuzz) echo "-max_len=16384" ;;
    net_fuzz) echo "-dict=$PWD/fuzz/net.dict" ;;
    pipeline_fuzz) echo "-max_len=2048" ;;
    *) echo "" ;;
  esac
}

printf '%-20s %12s %10s %8s  %s\n' target executions exec/s seconds findings
status=0
for t in "${targets[@]}"; do
  if [ ! -x "$build/$t" ]; then echo "$t: not built" >&2; status=1; continue; fi
  run="$build/runs/$t"
  mkdir -p "$run/corpus" "$run/findings"
  seeds="$PWD/fuzz/corpus/$t"
  [ -d "$seeds" ] || seeds=
  # shellcheck disable=SC2046
  if [ "$seconds" = 0 ]; then
    limit=(-runs=0)
    dirs=($seeds)
  else
    limit=(-max_total_time="$seconds")
    dirs=("$run/corpus" $seeds)
  fi
  start=$(date +%s)
  touch "$run/started"  # findings of earlier runs stay, and do not count
  "$build/$t" "${limit[@]}" -rss_limit_mb=2048 -timeout=60 -close_fd_mask=1 -print_final_stats=1 \
    -artifact_prefix="$run/findings/" $(target_options "$t") "${dirs[@]}" >"$run/log" 2>&1
  rc=$?
  took=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/log" | tail -n 1)
  found=$(find "$run/findings" -maxdepth 1 -newer "$run/started" \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  if [ "$rc" != 0 ] || [ "$found" != 0 ]; then
    status=1
    what=$(grep -m 1 -E 'ERROR: |runtime error|deadly signal' "$run/log" | cut -c 1-120)
    note="$found (exit $rc) ${what:-see $run/log}"
  else
    note=none
  fi
  printf '%-20s %12s %10s %8s  %s\n' "$t" "${execs:-?}" "${rate:-?}" "$took" "$note"
done
exit $status
