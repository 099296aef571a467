#!/usr/bin/env python3
"""Calibrates the scores of an English data set on held-out speakers.

  calibrate.py --home HOME --corpus CORPUS.tsv --speakers A,B,... [--kedo BIN]
               [--limit N] [--write]

HOME holds the kedoData/ to calibrate (its english.sa.prm and the models and
cm.txt that kedo train wrote). CORPUS.tsv is the trainer's corpus (audio TAB
text TAB speaker); the utterances of SPEAKERS, which kedo train held out, are
assessed four ways:

  - right: the sentence spoken;
  - other: another sentence of the corpus;
  - changed: the sentence spoken with one word replaced by another corpus word;
  - silence: the sentence spoken, on a recording of low noise.

Every assessment's phones (rank ratios and time ratios), words, discount
counts and syllable counts are kept, and the utterance score is recomputed
for candidate parameters without running the engine again:

  - the confidence bells: every model's width, the rank ratio that nine in
    ten of its phones in right sentences reach (as kedo train fits them, but
    with this parameter set's epsFile), times a common factor k, with a
    common slope b;
  - the rank-to-score bell (score 1): one width and slope for every model;
  - the discount ratios, one per reason.

The factor k is the smallest that gives the right sentences a median score of
at least TARGET (default 87); the slope is the one of a small grid that
separates right from changed sentences best at that k. Each discount ratio is
chosen from a grid to separate the right sentences from the three others
best (a reason that never helps keeps the ratio 1). --write puts the fitted
files in HOME/kedoData/english (cm.txt, rank2score.txt, discount.txt).
Choices are seeded (KEDO_CORPUS_SEED, default 15), so runs repeat.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

from english_eval import auc, edit_prm, read_prm, rng, scratch_home

REASONS = 7


def median(xs):
    xs = sorted(xs)
    return xs[len(xs) // 2] if xs else None


# ---------------------------------------------------------------- the engine
def parse_result(xml_path, doc):
    """The scoring inputs of one assessment: per spoken word its length in
    frames and its ranked phones (model index, rank ratio, time ratio)."""
    words, word, phone = [], None, None
    with open(xml_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            depth = len(line) - len(line.lstrip("\t"))
            m = re.match(r"\s*<(\w+) idx=\"\d+\" type=\"\w+\" size=\"[^\"]*\">([^<]*)<", line)
            if not m:
                continue
            tag, value = m.group(1), m.group(2)
            if depth == 2 and tag == "name":
                word = {"name": value, "phones": []}
                words.append(word)
            elif depth == 2 and tag == "interval" and word is not None:
                a, b = (float(x) for x in value.split())
                word["frames"] = int(round((b - a) * 100))
            elif depth == 3 and tag == "name" and word is not None:
                phone = {"name": value}
                word["phones"].append(phone)
            elif depth == 3 and phone is not None and tag in ("index", "rankRatio", "timeRatio"):
                phone[tag] = float(value)
    spoken = []
    for w in words:
        if w["name"] in ("sp", "sil", "filler", "fillerC", "fillerV"):
            continue
        only_sil = len(w["phones"]) == 1 and w["phones"][0]["name"].startswith("sil+")
        ranked = [(int(p["index"]), p["rankRatio"], p["timeRatio"]) for p in w["phones"]
                  if not p["name"].startswith("sil+")]
        spoken.append((w.get("frames", 0), [] if only_sil else ranked))
    discounts = [0] * REASONS
    for d in doc.get("discounts", []):
        discounts[int(d["index"])] = int(d["occurrences"])
    return {"words": spoken, "discounts": discounts, "designated": doc.get("designatedSyllables", 0),
            "identified": doc.get("identifiedSyllables", 0), "score": float(doc["score"])}


class Engine:
    def __init__(self, kedo, home, prm_edits=None):
        self.kedo = kedo
        self.work = scratch_home(home, prm_edits)

    def assess(self, wav, sentence):
        r = subprocess.run([self.kedo, "assess", wav, sentence, "--home", self.work, "--json"],
                           capture_output=True, text=True, encoding="latin-1")
        if r.returncode != 0:
            return None
        doc = json.loads(r.stdout)
        return parse_result(os.path.join(self.work, "kedoData", "output", "output.xml"), doc)

    def close(self):
        shutil.rmtree(self.work, ignore_errors=True)


def silence_wav(path, seconds=2.0):
    """Low noise, as a quiet room gives a microphone that hears nobody."""
    subprocess.run(["sox", "-n", "-r", "16000", "-c", "1", "-b", "16", path, "synth", str(seconds),
                    "pinknoise", "vol", "0.003"], check=True)


def collect(args, rows, vocab, sentences, prm_edits=None):
    """Assesses every row four ways on two engines; returns the results."""
    engines = [Engine(args.kedo, args.home, prm_edits) for _ in range(args.jobs)]
    tmp = tempfile.mkdtemp(prefix="kedo_cal_sil_")
    silence = os.path.join(tmp, "silence.wav")
    silence_wav(silence)

    def one(i_row):
        i, (wav, text, _) = i_row
        engine = engines[i % len(engines)]
        g = rng("calibrate", os.path.basename(wav))
        words = text.split()
        k = g.randrange(len(words))
        changed = list(words)
        changed[k] = g.choice([w for w in vocab if w != words[k]])
        other = g.choice([s for s in sentences if s != text])
        out = {}
        for kind, w, s in (("right", wav, text), ("other", wav, other), ("changed", wav, " ".join(changed)),
                           ("silence", silence, text)):
            out[kind] = engine.assess(w, s)
        return out

    try:
        results = []
        # One engine per worker: row i always goes to engine i % jobs, and a
        # worker takes the rows of its engine only.
        def worker(j):
            return [(i, one((i, row))) for i, row in enumerate(rows) if i % len(engines) == j]
        with ThreadPoolExecutor(len(engines)) as pool:
            for part in pool.map(worker, range(len(engines))):
                results += part
        results.sort(key=lambda r: r[0])
        return [r for _, r in results]
    finally:
        for e in engines:
            e.close()
        shutil.rmtree(tmp, ignore_errors=True)


# ---------------------------------------------------------------- the scores
def bell(x, a, b, c=0.0):
    u = (x - c) / a
    return 100.0 if u == 0 else 100.0 / ((u * u) ** b + 1)


def utterance_score(r, widths, b, ratios):
    """The engine's utterance score from stored rank ratios (score 2 with
    the widths given, or score 1 with one width for every model)."""
    if r is None:
        return None
    total, weighted = 0, 0.0
    for frames, phones in r["words"]:
        if phones:
            num = sum(t * bell(x, widths[m] if isinstance(widths, list) else widths, b) for m, x, t in phones)
            den = sum(t for _, _, t in phones)
            node = num / den if den > 0 else 0.0
        else:
            node = 0.0
        total += frames
        weighted += frames * node
    score = weighted / total if total > 0 else 0.0
    for k in range(REASONS):
        if k != 4 and r["discounts"][k]:
            score *= ratios[k] ** r["discounts"][k]
    if r["designated"]:
        score *= r["identified"] / r["designated"]
    return score


def scores(results, kind, widths, b, ratios):
    return [s for s in (utterance_score(r[kind], widths, b, ratios) for r in results) if s is not None]


def read_cm(path):
    rows = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            if not line.strip() or line.startswith("%"):
                continue
            fields = line.rstrip("\n").split("\t")
            a, b, c = (float(x) for x in fields[5].strip("[]").split())
            rows.append((fields, a, b, c))
    return rows


def refit_widths(results, models):
    """Per model, the rank ratio that nine in ten of its held-out phones in
    right sentences reach (so that with b = 0.5 they score at least 50), as
    kedo train fits them, but measured with this parameter set (its epsFile
    among others); models with fewer than 3 such phones take the width of all
    of them."""
    per = {}
    for r in results:
        for _, phones in (r["right"] or {"words": []})["words"]:
            for m, x, _ in phones:
                per.setdefault(m, []).append(x)

    def p90(xs):
        xs = sorted(xs)
        return max(xs[min(len(xs) - 1, int(0.9 * len(xs)))], 1e-4)
    pooled = p90([x for xs in per.values() for x in xs])
    return [p90(per[m]) if len(per.get(m, [])) >= 3 else pooled for m in range(models)]


def fit(results, base_widths, target):
    wrong_kinds = ("other", "changed", "silence")
    ratios = [1.0] * REASONS

    def separation(widths, b, ratios):
        right = scores(results, "right", widths, b, ratios)
        wrong = [s for k in wrong_kinds for s in scores(results, k, widths, b, ratios)]
        return auc(right, wrong), right

    def width_for(b, ratios):
        """The smallest factor on the widths whose right median reaches target."""
        lo, hi = 0.01, 100.0
        for _ in range(40):
            mid = (lo * hi) ** 0.5
            right = scores(results, "right", [w * mid for w in base_widths], b, ratios)
            if median(right) >= target:
                hi = mid
            else:
                lo = mid
        return hi

    best = None
    for b in (0.5, 0.75, 1.0, 1.5, 2.0):
        k = width_for(b, ratios)
        widths = [w * k for w in base_widths]
        a_changed = auc(scores(results, "right", widths, b, ratios), scores(results, "changed", widths, b, ratios))
        if best is None or a_changed > best[0] + 1e-9:
            best = (a_changed, b, k)
    _, b, k = best
    # Discount ratios, one reason at a time, from the grid; the width factor
    # is fitted again after each, so the right median stays on target.
    for reason in (0, 1, 2, 3, 5, 6):
        best_r = None
        for ratio in (1.0, 0.95, 0.9, 0.8, 0.7, 0.6, 0.5, 0.3):
            trial = list(ratios)
            trial[reason] = ratio
            kk = width_for(b, trial)
            sep, _ = separation([w * kk for w in base_widths], b, trial)
            if best_r is None or sep > best_r[0] + 1e-4:
                best_r = (sep, ratio, kk)
        ratios[reason], k = best_r[1], best_r[2]
    # Score 1: one bell for every model, its width the median width after
    # the fit, the same slope.
    widths = [w * k for w in base_widths]
    shared = median(widths)
    return {"b": b, "k": k, "ratios": ratios, "rank2score": (shared, b, 0.0), "widths": widths}


def report(results, widths, b, ratios):
    out = {}
    for kind in ("right", "other", "changed", "silence"):
        s = scores(results, kind, widths, b, ratios)
        out[kind] = {"n": len(s), "median": median(s)}
    right = scores(results, "right", widths, b, ratios)
    for kind in ("other", "changed", "silence"):
        out[kind]["auc_right_vs"] = auc(right, scores(results, kind, widths, b, ratios))
    return out


def write_files(home, cm_rows, fitted):
    """The fitted files in kedoData/english, and both English parameter
    files pointed at them."""
    d = os.path.join(home, "kedoData", "english")
    with open(os.path.join(d, "cm.txt.tmp"), "w", encoding="latin-1") as f:
        for (fields, _, _, _), w in zip(cm_rows, fitted["widths"]):
            fields = list(fields)
            fields[5] = "[%g %g 0]" % (w, fitted["b"])
            f.write("\t".join(fields) + "\n")
    os.replace(os.path.join(d, "cm.txt.tmp"), os.path.join(d, "cm.txt"))
    with open(os.path.join(d, "rank2score.txt"), "w") as f:
        f.write("%g %g %g\n" % fitted["rank2score"])
    with open(os.path.join(d, "discount.txt"), "w") as f:
        f.write(" ".join("%g" % r for r in fitted["ratios"]) + "\n")
    for name in ("english.sa.prm", "english.vc.prm"):
        edit_prm(os.path.join(home, "kedoData", name), {
            "cmParamFile": "kedoData/english/cm.txt",
            "phoneRank2scoreParamFile": "kedoData/english/rank2score.txt",
            "scoreDiscountParamFile": "kedoData/english/discount.txt"})


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[1])
    ap.add_argument("--home", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--speakers", required=True)
    ap.add_argument("--kedo", default="build/kedo")
    ap.add_argument("--limit", type=int, default=160)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--target", type=float, default=87.0)
    ap.add_argument("--prm", action="append", default=[], help="KEY=VALUE set in the assessment parameter file")
    ap.add_argument("--write", action="store_true")
    ap.add_argument("--save", help="keep the collected assessments in this JSON file")
    ap.add_argument("--load", help="use assessments collected before instead of running the engine")
    args = ap.parse_args()
    speakers = set(args.speakers.split(","))
    rows, sentences = [], set()
    with open(args.corpus, encoding="utf-8") as f:
        for line in f:
            p = line.rstrip("\n").split("\t")
            if len(p) < 3 or line.startswith("#"):
                continue
            path = p[0] if os.path.isabs(p[0]) else os.path.join(os.path.dirname(args.corpus), p[0])
            if len(p[1].split()) >= 3:
                sentences.add(p[1])
            if p[2] in speakers:
                rows.append((path, p[1], p[2]))
    if not rows:
        sys.exit("calibrate.py: no utterance of the speakers %s in %s" % (args.speakers, args.corpus))
    rows.sort()
    if args.limit and len(rows) > args.limit:
        rows = [rows[i * len(rows) // args.limit] for i in range(args.limit)]
    sentences = sorted(sentences)
    vocab = sorted(set(w for s in sentences for w in s.split()))
    if args.load:
        with open(args.load) as f:
            results = json.load(f)
    else:
        edits = dict(kv.split("=", 1) for kv in args.prm)
        results = collect(args, rows, vocab, sentences, edits)
        if args.save:
            with open(args.save, "w") as f:
                json.dump(results, f)
    prm = read_prm(os.path.join(args.home, "kedoData", "english.sa.prm"))
    cm_rows = read_cm(os.path.join(args.home, prm["cmParamFile"]))
    base = refit_widths(results, len(cm_rows))
    b0 = cm_rows[0][2] if cm_rows else 0.5
    with open(os.path.join(args.home, prm["scoreDiscountParamFile"])) as f:
        ratios0 = [float(x) for x in f.read().split()][:REASONS]
    # The recomputed score must be the engine's own, or the fit means nothing.
    widths0 = [a for _, a, _, _ in cm_rows]
    worst = max(abs(utterance_score(r[k], widths0, b0, ratios0) - r[k]["score"])
                for r in results for k in r if r[k] is not None)
    fitted = fit(results, base, args.target)
    summary = {"utterances": len(results), "recomputation_error": worst,
               "before": report(results, widths0, b0, ratios0),
               "after": report(results, fitted["widths"], fitted["b"], fitted["ratios"]),
               "width_factor": fitted["k"], "slope": fitted["b"], "discount": fitted["ratios"],
               "rank2score": fitted["rank2score"]}
    print(json.dumps(summary, indent=1))
    if args.write:
        write_files(args.home, cm_rows, fitted)


if __name__ == "__main__":
    main()
