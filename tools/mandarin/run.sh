#!/usr/bin/env bash
# The Mandarin data set, from Debian packages to evaluation, in numbered
# stages. Each stage reads what the stages before it wrote under OUT and can be
# run again on its own; the render stage keeps the recordings it finished.
#
#   tools/mandarin/run.sh [--out DIR] [--stage N] [--stop-stage N] [--jobs N]
#                         [--hours H] [--seed S] [--kedo PATH] [--toned]
#                         [--mixtures M]
#
#   0  lexicon   mandarin.* files (toneless and toned) and the reports of
#                characters without a reading
#   1  texts     fortunes-zh sentences in Traditional characters, syllable lists
#   2  plan      voice variant, speed, pitch and augmentation of every recording
#   3  render    espeak-ng (pinyin voice) and sox: OUT/wav/*.wav
#   4  lists     training list and held-out evaluation lists
#   5  train     kedo train on the training list into OUT/models, and the
#                data-set home OUT/home/kedoData that the evaluation reads
#   6  calibrate the confidence-measure, rank and discount files on the
#                calibration variants (calibrate.py): OUT/scoring, and the home
#                assembled again with them
#   7  evaluate  closed-set recognition, score AUCs, tone classification
#   8  ship      the models, the calibrated files, the parameter sets and the
#                samples into the repository's data/kedoData (ship.py)
#
# OUT defaults to /work/sets/mandarin (or KEDO_MANDARIN_OUT); nothing is
# written into the repository before stage 8, which runs only when asked
# (--stage 8). Needs python3, python3-numpy, espeak-ng, sox,
# opencc, unicode-data and fortunes-zh (scripts/install-deps.sh installs them)
# and, for stages 5 to 8, a built kedo.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="${KEDO_MANDARIN_OUT:-/work/sets/mandarin}"
stage=0
stop_stage=7
jobs=1
hours=12
seed=16
kedo="$root/build/kedo"
toned=""
mixtures=8
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out="$2"; shift 2 ;;
    --stage) stage="$2"; shift 2 ;;
    --stop-stage) stop_stage="$2"; shift 2 ;;
    --jobs) jobs="$2"; shift 2 ;;
    --hours) hours="$2"; shift 2 ;;
    --seed) seed="$2"; shift 2 ;;
    --kedo) kedo="$2"; shift 2 ;;
    --toned) toned="--toned"; shift ;;
    --mixtures) mixtures="$2"; shift 2 ;;
    -h|--help) sed -n '2,29p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
case "$out" in "$root"|"$root"/*) echo "run.sh: OUT must lie outside the repository" >&2; exit 2 ;; esac
mkdir -p "$out"
corpus() { python3 "$here/corpus.py" "$1" --out "$out" --seed "$seed" "${@:2}"; }
run_stage() { [ "$stage" -le "$1" ] && [ "$stop_stage" -ge "$1" ]; }
say() { echo "== stage $1: $2 ($(date -u +%H:%M:%S))"; }

if run_stage 0; then
  say 0 lexicon
  python3 "$here/make_lexicon.py" --out "$out/lexicon" --report "$out/lexicon"
  python3 "$here/make_lexicon.py" --out "$out/lexicon/toned" --toned
fi
if run_stage 1; then
  say 1 texts
  corpus texts --lexicon "$out/lexicon"
fi
if run_stage 2; then
  say 2 plan
  corpus plan --hours "$hours"
fi
if run_stage 3; then
  say 3 render
  corpus render --jobs "$jobs"
fi
if run_stage 4; then
  say 4 lists
  corpus lists
fi
if run_stage 5; then
  say 5 train
  if ! "$kedo" train --help >/dev/null 2>&1; then
    echo "run.sh: $kedo has no train subcommand; build one that has it, or pass --kedo" >&2
    exit 1
  fi
  lex="$out/lexicon${toned:+/toned}"
  # The assessment parameters of the bundled set with the full lexicon; the
  # scoring files stay the bundled ones, named by absolute path because the
  # trainer reads them from wherever it is started.
  sed -e "s|^dicFile = .*|dicFile = $lex/mandarin.pam|" -e "s|^pyTableFile = .*|pyTableFile = $lex/mandarin.tab|" \
      -e "s|^wpaFile = .*|wpaFile = $lex/mandarin.wpa|" -e "s|^tnmFile = .*|tnmFile = $lex/mandarin.tnm|" \
      -e "s|^qiYinFile = .*|qiYinFile = $lex/mandarin.qiyin|" \
      -e "s|= kedoData/|= $root/data/kedoData/|" \
      -e "/^macFile\|^modelCountFile\|^cmParamFile\|^outputDir/d" \
      "$root/data/kedoData/chinese.sa.prm" > "$out/train.prm"
  calibration="$(python3 -c 'import json,sys; print(",".join(json.load(open(sys.argv[1]))["calibration"]))' \
    "$out/variants.json")"
  mkdir -p "$out/models"
  resume=""
  [ -e "$out/models/checkpoint.txt" ] && resume="--resume"
  "$kedo" train --prm "$out/train.prm" --corpus "$out/corpus.tsv" --out "$out/models" --threads "$jobs" \
    --mixtures "$mixtures" --seed "$seed" --held-out-speakers "$calibration" $resume > "$out/models/train.out"
  python3 "$here/evaluate.py" --out "$out" --make-home ${toned:+--toned}
fi
if run_stage 6; then
  say 6 calibrate
  python3 "$here/calibrate.py" --out "$out" --kedo "$kedo" --models "$out/models" --write "$out/scoring"
  python3 "$here/evaluate.py" --out "$out" --make-home ${toned:+--toned}
fi
if run_stage 7; then
  say 7 evaluate
  python3 "$here/evaluate.py" --out "$out" --kedo "$kedo" ${toned:+--toned}
fi
if [ "$stage" -eq 8 ] || { [ "$stage" -le 8 ] && [ "$stop_stage" -ge 8 ]; }; then
  say 8 ship
  python3 "$here/ship.py" --out "$out" --models "$out/models" --scoring "$out/scoring"
fi
