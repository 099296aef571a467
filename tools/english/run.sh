#!/usr/bin/env bash
# The English data set, from Debian packages to models, in numbered stages.
#
#   tools/english/run.sh [--stage N] [--stop-stage M] [--out DIR]
#
# Every stage can be run again: it keeps what it made before (files are
# written under a temporary name and renamed when whole) and makes the same
# bytes from the same seed. Output goes to DIR (default $KEDO_ENGLISH_SETS,
# else /work/sets/english), never into the repository.
#
#   0  install the Debian packages the recipe reads (as root, or via sudo)
#   1  the lexicon: english.wpa and english.wpab from festlex-cmu, plus the
#      addenda and normalisation rules of tools/english
#   2  the texts: WordNet examples and fortunes, word lists for right-context
#      coverage, held-out sentences
#   3  the voices (espeak-ng accents and variants, flite, Festival) grouped
#      into speakers, with held-out speakers; the utterance plans
#   4  synthesis of the held-out (evaluation) utterances
#   5  synthesis of the training utterances, up to the clean share of
#      KEDO_CORPUS_HOURS (default 20 h, of which 1/(1+copies) clean); with
#      KEDO_CORPUS_ESPEAK_SHARE set, also the espeak-ng twins of those
#      utterances: for each one the flite/Festival share (KEDO_CORPUS_OTHER_SHARE,
#      default 0.65) took from an espeak-ng voice, that voice saying it
#   6  augmentation with sox: tempo, speed, pitch, noise at 10-30 dB SNR,
#      reverberation, telephone band, level (KEDO_CORPUS_AUG_COPIES per file,
#      for the share KEDO_CORPUS_AUG_SHARE of the files, default all); with
#      KEDO_CORPUS_VOICE_COPIES=N, N voice-changed copies of every clean
#      flite/Festival file the list keeps (wav/voice): the vocal tract made
#      shorter or longer (factor 0.88-0.96 or 1.04-1.12, the two in turn),
#      pitch and duration kept, pitch then moved by up to 200 cents
#      (sox speed, then rubberband's formant-keeping pitch and time change)
#   7  the lists: lists/train.tsv and lists/eval.tsv (audio, speaker, text);
#      with KEDO_CORPUS_ESPEAK_SHARE=S (0 < S < 1) the clean training files
#      are balanced: every espeak-ng file (the plan's and the twins) and as
#      many flite/Festival files, drawn from the seed, as make espeak-ng the
#      share S, plus the augmented and voice-changed copies (which the share
#      does not count)
#   8  training with `kedo train` (needs a build that has it) into
#      DIR/train/mN (KEDO_TRAIN_MIXTURES, default 8; KEDO_TRAIN_THREADS,
#      default 2; KEDO_TRAIN_MIN_CONTEXT, kedo train's --min-context, default
#      10; KEDO_TRAIN_RESUME=1 continues a stopped run; with
#      KEDO_TRAIN_FROM=M too, a new run of more mixtures starts from a copy of
#      the finished M-mixture run and splits its models on), and the data-set home
#      DIR/home/kedoData: the repository's kedoData with the lexicon, the
#      models, their count file and their tied copies (eps.txt).
#      KEDO_TRAIN_TAG=T keeps a run apart from the others: its corpus list
#      and models go to DIR/train/T/, its home to DIR/home-T, and stages 9-11
#      work on that home
#   9  calibration (tools/english/calibrate.py) on the speakers that stage 8
#      held out, none of them an evaluation speaker: confidence bells,
#      rank-to-score bell, discount ratios, the right sentences' median at
#      least KEDO_CALIBRATION_TARGET (default 85); its assessments are kept
#      in DIR/eval/calibration.json
#  10  evaluation (tools/english/evaluate.py) on the held-out speakers
#      (KEDO_EVAL_LIMIT=N: N utterances spread over them; default all 400);
#      every assessment's scoring inputs go to DIR/eval/details.json, so
#      that calibrate.py --check can score them with other tables
#  11  the set into the repository: DIR/home/kedoData/english and the English
#      parameter files into data/kedoData, and the English sample recording
#      and sentence list into data/kedoData/samples
#
# Seed: KEDO_CORPUS_SEED (default 15). Run it niced on a shared machine:
#   nice -n 19 tools/english/run.sh --stage 1 --stop-stage 5
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
stage=0
stop_stage=11
out="${KEDO_ENGLISH_SETS:-/work/sets/english}"
kedo="${KEDO_BIN:-$repo/build/kedo}"
# Debian's python3 (with python3-numpy), ahead of any other on the PATH.
python="${KEDO_PYTHON:-$(command -v /usr/bin/python3 || command -v python3)}"
while [ $# -gt 0 ]; do
  case "$1" in
    --stage) stage="$2"; shift 2 ;;
    --stop-stage) stop_stage="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    -h|--help) sed -n '2,62p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 1 ;;
  esac
done
case "$out" in "$repo"|"$repo"/*) echo "run.sh: the output folder must lie outside the repository" >&2; exit 1 ;; esac
mkdir -p "$out"
tag="${KEDO_TRAIN_TAG:-}"
rundir="$out/train${tag:+/$tag}"
home="$out/home${tag:+-$tag}"
run() { [ "$stage" -le "$1" ] && [ "$stop_stage" -ge "$1" ]; }
say() { echo "== stage $1: $2 ($(date -u +%H:%M:%S))"; }

if run 0; then
  say 0 "packages"
  bash "$repo/scripts/install-deps.sh" english-corpus
fi
if run 1; then
  say 1 "lexicon"
  "$python" "$here/make_lexicon.py" "$out/lexicon"
  cp "$here/english_addenda.wpa" "$here/english.tnm" "$out/lexicon/"
fi
if run 2; then
  say 2 "texts"
  "$python" "$here/corpus.py" texts "$out"
fi
if run 3; then
  say 3 "voices and plans"
  "$python" "$here/corpus.py" voices "$out"
  "$python" "$here/corpus.py" plan "$out"
fi
if run 4; then
  say 4 "held-out synthesis"
  "$python" "$here/corpus.py" synth "$out" eval
fi
if run 5; then
  say 5 "training synthesis"
  "$python" "$here/corpus.py" synth "$out" train
  if [ -n "${KEDO_CORPUS_ESPEAK_SHARE:-}" ]; then
    "$python" "$here/corpus.py" synth "$out" twins
  fi
fi
if run 6; then
  say 6 "augmentation"
  "$python" "$here/corpus.py" augment "$out"
fi
if run 7; then
  say 7 "lists"
  "$python" "$here/corpus.py" lists "$out"
fi
if run 8; then
  say 8 "training"
  if ! "$kedo" train --help >/dev/null 2>&1; then
    echo "run.sh: $kedo has no 'train' subcommand; build one that has, then run --stage 8" >&2
    exit 1
  fi
  # The data-set home: the repository's kedoData (parameter files, feature
  # configuration) with the English lexicon of stage 1; the trained models
  # are added below. The English parameter files name every file of the set
  # under kedoData/english.
  rm -rf "$home.tmp" && mkdir -p "$home.tmp"
  cp -r "$repo/data/kedoData" "$home.tmp/"
  rm -f "$home.tmp"/kedoData/english/models.* "$home.tmp"/kedoData/english/cm.txt
  cp "$out"/lexicon/english.wpa "$out"/lexicon/english.wpab "$out"/lexicon/english_addenda.wpa \
    "$out"/lexicon/english.tnm "$home.tmp/kedoData/english/"
  # The unvoiced phones, which have no pitch.
  cp "$here/english.qiyin" "$home.tmp/kedoData/english/qiyin.txt"
  # Before calibration: no tied copies known (the confidence fit of kedo
  # train ranks against every model) and the engine's default scoring tables,
  # whatever an earlier set left in the repository.
  printf '%% model TAB its tied copies\n' > "$home.tmp/kedoData/english/eps.txt"
  cp "$repo/data/kedoData/scoring/rank2score.txt" "$repo/data/kedoData/scoring/discount.txt" \
    "$home.tmp/kedoData/english/"
  # kedo train reads audio TAB transcript TAB speaker; every
  # KEDO_TRAIN_HOLDOUT_EVERY-th espeak-ng speaker (sorted) is held out for
  # the confidence fit and the calibration, so the evaluation speakers stay
  # unseen. The flite and Festival speakers are too few to spare one.
  every="${KEDO_TRAIN_HOLDOUT_EVERY:-15}"
  mkdir -p "$rundir"
  awk -F'\t' -v OFS='\t' '{print $1, $3, $2}' "$out/lists/train.tsv" > "$rundir/corpus.tsv"
  cut -f2 "$out/lists/train.tsv" | grep '^espeak-' | sort -u | awk -v n="$every" 'NR % n == 0' \
    | paste -sd, - > "$rundir/heldout.txt"
  mixtures="${KEDO_TRAIN_MIXTURES:-8}"
  models="$rundir/m$mixtures"
  # A resumed run that raises the mixtures goes on from the finished run of
  # fewer mixtures: its folder is copied (features and checkpoint) first.
  if [ -n "${KEDO_TRAIN_RESUME:-}" ] && [ ! -e "$models/checkpoint.txt" ] && [ -n "${KEDO_TRAIN_FROM:-}" ]; then
    rm -rf "$models.tmp" && cp -r "$rundir/m$KEDO_TRAIN_FROM" "$models.tmp" && mv "$models.tmp" "$models"
  fi
  (cd "$home.tmp" && "$kedo" train --prm kedoData/english.sa.prm --corpus "$rundir/corpus.tsv" \
    --out "$models" --mixtures "$mixtures" --threads "${KEDO_TRAIN_THREADS:-2}" --min-context "${KEDO_TRAIN_MIN_CONTEXT:-10}" \
    --held-out-speakers "$(cat "$rundir/heldout.txt")" ${KEDO_TRAIN_RESUME:+--resume})
  cp "$models"/models.macb "$models"/models.cnt "$models"/cm.txt "$home.tmp/kedoData/english/"
  "$python" "$here/make_eps.py" "$models/models.mac" "$home.tmp/kedoData/english/eps.txt"
  rm -rf "$home" && mv "$home.tmp" "$home"
fi
if run 9; then
  say 9 "calibration"
  "$python" "$here/calibrate.py" --home "$home" --kedo "$kedo" --corpus "$rundir/corpus.tsv" \
    --speakers "$(cat "$rundir/heldout.txt")" --target "${KEDO_CALIBRATION_TARGET:-85}" \
    --save "$out/eval/calibration${tag:+-$tag}.json" --write
fi
if run 10; then
  say 10 "evaluation"
  "$python" "$here/evaluate.py" --out "$out" --home "$home" --kedo "$kedo" --limit "${KEDO_EVAL_LIMIT:-0}" --alsa --klettres \
    --results "$out/eval/results${tag:+-$tag}.json" --save "$out/eval/details${tag:+-$tag}.json"
fi
if run 11; then
  say 11 "into the repository"
  rm -rf "$repo/data/kedoData/english"
  mkdir -p "$repo/data/kedoData/english"
  for f in english.wpab english_addenda.wpa english.tnm qiyin.txt models.macb models.cnt \
    eps.txt cm.txt rank2score.txt discount.txt; do
    cp "$home/kedoData/english/$f" "$repo/data/kedoData/english/"
  done
  cp "$home"/kedoData/english.sa.prm "$home"/kedoData/english.vc.prm "$repo/data/kedoData/"
  # The English sample: a held-out speaker (flite's rms, whom no training
  # utterance used) saying a sentence that is in no training text, with 0.3 s
  # of faint noise at both ends (sox -R: the same noise on every run); the
  # list: it among 49 held-out sentences (every eighth).
  samples="$repo/data/kedoData/samples"
  sentence="i like to read a good book"
  tmp="$(mktemp -d)"
  flite -voice rms -t "$sentence" -o "$tmp/raw.wav"
  sox -R "$tmp/raw.wav" -r 16000 -c 1 -b 16 "$tmp/speech.wav" norm -3 pad 0.3 0.3
  sox -R -n -r 16000 -c 1 -b 16 "$tmp/noise.wav" synth "$(soxi -D "$tmp/speech.wav")" whitenoise vol 0.002
  sox -R -m -v 1 "$tmp/speech.wav" -v 1 "$tmp/noise.wav" -b 16 "$samples/english.wav"
  rm -rf "$tmp"
  printf '%s' "$sentence" > "$samples/english.txt"
  { echo "$sentence"; grep -vx "$sentence" "$out/texts/eval.txt" | awk "NR % 8 == 0" | head -49; } | LC_ALL=C sort > "$samples/english_list.txt"
fi
