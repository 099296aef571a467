#!/usr/bin/env python3
"""Calibrates the Chinese scoring files on the calibration voices of the
synthetic corpus (voices kept out of training, sentences of the training
texts), as the English set is calibrated:

  1. assess each chosen recording against its own sentence, another sentence,
     its sentence with one character changed, and recordings of silence and
     noise against a sentence; keep every phone's rank ratio and time share
     (phone.cmd) and the run's discount occurrences (--json);
  2. recompute the utterance score offline for every candidate setting: per
     model the bell width a = scale x the q-quantile of that model's rank
     ratios in right sentences (at least a floor), one bell slope b for all;
  3. keep the setting with the best mean of the two AUCs (right against
     another sentence and against one character changed) whose right
     sentences have a median score of at least 85, and write
       cm.txt         the confidence-measure bells, one line per model
       rank2score.txt the bell of the pooled rank ratios (score 1)
       discount.txt   the seven discount ratios
     into --write (a chinese/ folder of a data set).

Usage: calibrate.py --out CORPUS_DIR --models DIR [--count N] [--write DIR]
Needs a data-set home assembled by evaluate.py --make-home for those models.
"""

import argparse
import json
import math
import os
import random
import re
import struct
import subprocess
import sys
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from evaluate import ROOT, auc, changed_character, syllable_tables, tsv_read  # noqa: E402

DISCOUNT_REASONS = 7
NOT_APPLIED = 4  # the syllable count difference is reported, never applied


def write_noise(path, seconds, level, seed):
    """A 16 kHz 16-bit recording of Gaussian noise at `level` (0 = silence
    with a little dither)."""
    rng = random.Random(seed)
    n = int(seconds * 16000)
    sd = max(level, 2.0)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(16000)
        w.writeframes(b"".join(struct.pack("<h", max(-32768, min(32767, int(rng.gauss(0, sd))))) for _ in range(n)))


def parse_cmd(path):
    """phone.cmd: [(node frames, [(model, rank ratio, time weight)])]."""
    nodes = []
    phone = None
    for line in open(path, "rb").read().decode("cp950", "replace").split("\n"):
        if not line.strip():
            continue
        if not line.startswith("\t"):
            node = re.match(r"\d+: \S+ \[(-?\d+) (-?\d+)\]", line)
            if node:  # else the closing summary lines
                nodes.append((int(node.group(2)) - int(node.group(1)) + 1, []))
        elif not line.startswith("\t\t"):
            phone = line.strip().split(" ")[1]
        elif line.startswith("\t\tRank ratio:"):
            r, n = line.split(":", 1)[1].split("=")[0].strip().split("/")
            ratio = float(r) / float(n) if float(n) > 0 else 1.0
        elif line.startswith("\t\tTime weight:"):
            a, b = line.split(":", 1)[1].split("=")[0].strip().split("/")
            nodes[-1][1].append((phone, ratio, float(a) / float(b)))
    return nodes


def assess(a, wav, sentence):
    """(json result or None, phone.cmd nodes)."""
    out = subprocess.run([a.kedo, "assess", wav, sentence, "--lang", "zh", "--home", a.home, "--json"],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if out.returncode != 0:
        return None, []
    result = json.loads(out.stdout.decode("utf-8").strip().splitlines()[-1])
    cmd = os.path.join(a.home, "kedoData", "output", "phone.cmd")
    return result, parse_cmd(cmd) if os.path.exists(cmd) else []


def bell(x, p):
    a, b, c = p
    u = (x - c) / a
    return 100.0 if u == 0 else 100.0 / ((u * u) ** b + 1.0)


def score(run, params, default, ratios):
    """The utterance score of a kept run with the given bells and ratios."""
    result, nodes = run
    if result is None:
        return 0.0
    total = weighted = 0.0
    for frames, phones in nodes:
        w = sum(t for _, _, t in phones)
        s = sum(t * bell(x, params.get(m, default)) for m, x, t in phones) / w if w > 0 else 0.0
        total += frames
        weighted += frames * s
    value = weighted / total if total else 0.0
    for d in result["discounts"]:
        if d["index"] != NOT_APPLIED:
            value *= ratios[d["index"]] ** d["occurrences"]
    if result["designatedSyllables"]:
        value *= result["identifiedSyllables"] / result["designatedSyllables"]
    return value


def quantile(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))] if values else 0.0


def median(values):
    return quantile(values, 0.5)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", required=True, help="the corpus folder of run.sh")
    ap.add_argument("--models", required=True, help="the trained models (their home is OUT/home)")
    ap.add_argument("--kedo", default=os.path.join(ROOT, "build", "kedo"))
    ap.add_argument("--count", type=int, default=150, help="calibration recordings")
    ap.add_argument("--seed", type=int, default=16)
    ap.add_argument("--home", help="the data-set home of the models (default OUT/home)")
    ap.add_argument("--write", help="folder to write cm.txt, rank2score.txt and discount.txt into")
    ap.add_argument("--reuse", action="store_true", help="reuse the runs kept by an earlier calibration")
    a = ap.parse_args()
    a.home = a.home or os.path.join(a.out, "home")
    rng = random.Random(a.seed)
    speakers = set(json.load(open(os.path.join(a.out, "variants.json")))["calibration"])
    plan = {r[0]: r for r in tsv_read(os.path.join(a.out, "plan.tsv"))}
    texts = {t[0]: t for t in tsv_read(os.path.join(a.out, "texts.tsv"))}
    rows = []
    for wav, text, speaker in tsv_read(os.path.join(a.out, "corpus.tsv")):
        rid = os.path.splitext(os.path.basename(wav))[0]
        if speaker in speakers and rid in plan and texts[plan[rid][1]][1] == "sentence":
            rows.append((os.path.join(a.out, wav), text))
    rows = rng.sample(rows, min(a.count, len(rows)))
    sentences = sorted(set(t for _, t in rows))

    cache = os.path.join(a.out, "calibration", "runs-%s.json" % os.path.basename(os.path.normpath(a.models)))
    if a.reuse and os.path.exists(cache):
        runs = json.load(open(cache))
    else:
        runs = assess_all(a, rng, rows, sentences, texts)
        os.makedirs(os.path.dirname(cache), exist_ok=True)
        json.dump(runs, open(cache, "w"))
    choose_and_write(a, runs)
    return 0


def assess_all(a, rng, rows, sentences, texts):
    """{kind: [(json result, phone.cmd nodes)]} of the calibration runs."""
    syllable_of, chars_by_syllable = syllable_tables(texts.values())
    runs = {"right": [], "wrong": [], "changed": [], "silence": []}
    for i, (wav, text) in enumerate(rows):
        runs["right"].append(assess(a, wav, text))
        runs["wrong"].append(assess(a, wav, rng.choice([s for s in sentences if s != text])))
        runs["changed"].append(assess(a, wav, changed_character(text, rng, chars_by_syllable, syllable_of)))
        if (i + 1) % 25 == 0:
            print("calibration: %d of %d recordings assessed" % (i + 1, len(rows)), flush=True)
    noise_dir = os.path.join(a.out, "calibration")
    os.makedirs(noise_dir, exist_ok=True)
    for k, level in enumerate([0, 0, 30, 100, 300, 1000, 3000, 10]):
        path = os.path.join(noise_dir, "noise%d.wav" % k)
        write_noise(path, 1.5 + 0.5 * k, level, a.seed + k)
        runs["silence"].append(assess(a, path, rng.choice(sentences)))
    return runs


def choose_and_write(a, runs):

    # The offline score must be the engine's with the home's own files.
    home_cm = os.path.join(a.home, "kedoData", "chinese", "trained", "cm.txt")
    if os.path.exists(home_cm):
        own = {}
        for line in open(home_cm, encoding="ascii"):
            if line.strip() and not line.startswith("%"):
                f = line.rstrip("\n").split("\t")
                own[f[0]] = tuple(float(v) for v in f[5].strip("[]").split())
        home_ratios = [float(v) for v in open(os.path.join(a.home, "kedoData", "scoring", "discount.txt")).read().split()]
        diffs = [abs(score(r, own, (0.05, 0.5, 0.0), home_ratios) - r[0]["score"]) for r in runs["right"] if r[0]]
        print("calibration: offline scores differ from the engine's by %.4f at most" % max(diffs))

    # Rank ratios of each model in right sentences.
    by_model = {}
    for _, nodes in runs["right"]:
        for _, phones in nodes:
            for m, x, _ in phones:
                by_model.setdefault(m, []).append(x)
    pooled = [x for xs in by_model.values() for x in xs]
    ratios = [0.5, 0.9, 0.9, 0.9, 1.0, 0.9, 0.9]
    best = None
    for q in (0.5, 0.75, 0.9, 0.95, 0.98):
        for scale in (0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 4.0):
            for b in (0.5, 1.0, 2.0, 3.0, 4.0, 6.0):
                floor = 1.0 / 65
                params = {m: (max(floor, scale * quantile(xs, q)), b, 0.0) for m, xs in by_model.items()}
                default = (max(floor, scale * quantile(pooled, q)), b, 0.0)
                s = {k: [score(r, params, default, ratios) for r in v] for k, v in runs.items()}
                aucs = (auc(s["right"], s["wrong"]), auc(s["right"], s["changed"]))
                # Right sentences high; another sentence and silence low.
                ok = median(s["right"]) >= 85.0 and median(s["wrong"]) <= 40.0 and median(s["silence"]) <= 20.0
                key = (ok, (aucs[0] + aucs[1]) / 2)
                if best is None or key > best[0]:
                    best = (key, q, scale, b, params, default, s, aucs)
    (ok, _), q, scale, b, params, default, s, aucs = best
    print("calibration: q %.2f, scale %.2f, b %.1f: right median %.1f, wrong median %.1f, changed median %.1f, "
          "silence median %.1f; AUC right-wrong %.3f, right-changed %.3f%s" %
          (q, scale, b, median(s["right"]), median(s["wrong"]), median(s["changed"]), median(s["silence"]),
           aucs[0], aucs[1], "" if ok else " (no setting met the medians)"))
    if a.write:
        models = [line.split("\t")[0] for line in open(os.path.join(a.models, "cm.txt"), encoding="ascii")
                  if line.strip() and not line.startswith("%")]
        lines = ["%% model\tindex\tright-sentence phones\t-\t-\tbell [a b c] of the rank ratio "
                 "(calibrated: a = %g x the %g quantile, b = %g)\n" % (scale, q, b)]
        for i, m in enumerate(models):
            p = params.get(m, default)
            lines.append("%s\t%d\t%d\t0\t0\t[%g %g %g]\n" % (m, i, len(by_model.get(m, [])), p[0], p[1], p[2]))
        os.makedirs(a.write, exist_ok=True)
        open(os.path.join(a.write, "cm.txt"), "w", encoding="ascii").write("".join(lines))
        open(os.path.join(a.write, "rank2score.txt"), "w", encoding="ascii").write(
            "%g %g %g\n" % (default[0], default[1], default[2]))
        open(os.path.join(a.write, "discount.txt"), "w", encoding="ascii").write(
            " ".join("%g" % r for r in ratios) + "\n")
        print("calibration: wrote cm.txt, rank2score.txt, discount.txt in %s" % a.write)
    return 0


if __name__ == "__main__":
    sys.exit(main())
