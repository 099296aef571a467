#!/usr/bin/env python3
"""Calibrates the scores of an English data set on held-out speakers.

  calibrate.py --home HOME --corpus CORPUS.tsv --speakers A,B,... [--kedo BIN]
               [--target T] [--write] [--save RUNS.json | --load RUNS.json]
               [--check EVAL.json]

HOME holds the kedoData/ to calibrate (its english.sa.prm, the models, and
the cm.txt that kedo train wrote). CORPUS.tsv is the trainer's corpus (audio
TAB text TAB speaker). The utterances of SPEAKERS, which kedo train held out
and which are none of the evaluation's speakers, are assessed against:

  - right: the sentence spoken;
  - other: two other sentences of the corpus;
  - changed: three times the sentence spoken with one word replaced by
    another corpus word;
  - silence: the sentence spoken, on a recording of low noise (four levels);
  - part: the first or the last half of the sentence spoken (the speaker
    said more than the sentence).

Every assessment's scoring inputs are kept (per word its frames and its
ranked phones' model, rank ratio and time ratio; the discount occurrences
and syllable counts), and the utterance score is recomputed for candidate
tables without running the engine again (the script checks that the
recomputed scores are the engine's own). The candidates:

  - confidence bells (cm.txt): every model's width is a scale times the
    q-quantile of its rank ratios in right sentences (the quantile of its
    base phone, all right contexts together, when the model has fewer than
    MIN_PHONES of them; of all phones when the base phone has too few as
    well), at least a floor; one slope b for all models;
  - the rank-to-score bell (score 1, rank2score.txt): the pooled quantile
    times the same scale, the same slope;
  - the discount ratios (discount.txt), one per reason, from a grid.

The choice: among the settings whose right sentences reach a median of TARGET
(default 85) while another sentence and silence stay low and one word
changed stays clearly lower (medians at most 40, 20 and 75), the one with the
best mean of the three AUCs of the right sentences against another sentence,
against one word changed and against a part of the sentence; then each
discount ratio in turn, by the same rule; then the bells and the ratios once
more. --write puts the files in HOME/kedoData/english, and the --prm
settings the assessments ran with in its english.sa.prm.
--check EVAL.json (evaluate.py --save) scores the evaluation's assessments
with the shipped and the fitted tables, so the figures of a calibration can
be compared without running the evaluation again; the evaluation is not used
for the fit. Choices are seeded (KEDO_CORPUS_SEED, default 15), so runs
repeat.
"""
import argparse
import json
import os
import sys
import tempfile

import numpy as np

from english_eval import (NOISE_LEVELS, NOT_APPLIED, REASONS, Engine, edit_prm, noise_wav, parallel, part_of,
                          read_cm, read_prm, rng, utterance_score)

MIN_PHONES = 5
OTHERS, CHANGES = 2, 3
WRONG_MEDIAN, CHANGED_MEDIAN, SILENCE_MEDIAN = 40.0, 75.0, 20.0
SEPARATED = ("other", "changed", "part")  # kinds whose AUC against the right sentences the fit maximises
QUANTILES = (0.5, 0.75, 0.9, 0.95)
FLOORS = (0.005, 0.01, 0.02, 0.04)
SCALES = (0.5, 0.7, 1.0, 1.4, 2.0, 2.8, 4.0, 5.6, 8.0)
SLOPES = (0.5, 1.0, 1.5, 2.0, 3.0, 4.0, 6.0)
RATIOS = (1.0, 0.95, 0.9, 0.8, 0.7, 0.6, 0.5, 0.3)
START_RATIOS = (0.5, 0.8, 0.9, 0.9, 1.0, 1.0, 0.8)


def median(xs):
    xs = sorted(xs)
    return xs[len(xs) // 2] if xs else None


# ---------------------------------------------------------------- the engine
def collect(args, rows, vocab, sentences, prm_edits=None):
    """Assesses every row against its sentence, other sentences, changed
    sentences and on noise; returns {kind: [scoring inputs]}."""
    engines = [Engine(args.kedo, args.home, prm_edits) for _ in range(args.jobs)]
    tmp = tempfile.mkdtemp(prefix="kedo_cal_sil_")
    noises = []
    for i, level in enumerate(NOISE_LEVELS):
        noises.append(os.path.join(tmp, "noise%d.wav" % i))
        noise_wav(noises[-1], level, 1.5 + 0.5 * i)

    def one(engine, i_row):
        i, (wav, text, _) = i_row
        g = rng("calibrate", os.path.basename(wav))
        words = text.split()
        jobs = [("right", wav, text)]
        for _ in range(OTHERS):
            jobs.append(("other", wav, g.choice([s for s in sentences if s != text])))
        for _ in range(CHANGES):
            k = g.randrange(len(words))
            changed = list(words)
            changed[k] = g.choice([w for w in vocab if w != words[k]])
            jobs.append(("changed", wav, " ".join(changed)))
        jobs.append(("silence", noises[i % len(noises)], text))
        part = part_of(text, rng("calibrate-part", os.path.basename(wav)))
        if part:
            jobs.append(("part", wav, part))
        out = {}
        for kind, w, s in jobs:
            if args.kinds and kind not in args.kinds:
                continue
            doc = engine.assess(w, s, details=True)
            out.setdefault(kind, []).append(None if doc is None else doc["details"])
        return out

    try:
        per_row = parallel(engines, list(enumerate(rows)), one)
    finally:
        for e in engines:
            e.close()
        for n in noises:
            os.remove(n)
        os.rmdir(tmp)
    runs = {}
    for r in per_row:
        for kind, results in r.items():
            runs.setdefault(kind, []).extend(x for x in results if x is not None)
    return runs


def load_eval(path):
    """evaluate.py --save: its "wrong" assessments are the other sentences."""
    with open(path) as f:
        rows = json.load(f)
    runs = {}
    for r in rows:
        for kind, d in r.items():
            if d is not None:
                runs.setdefault("other" if kind == "wrong" else kind, []).append(d)
    return runs


# ---------------------------------------------------------------- the scores
class Scorer:
    """The utterance scores of many kept assessments at once, for candidate
    bells and discount ratios (the engine's arithmetic, vectorised)."""

    def __init__(self, runs):
        self.kinds = {}
        for kind, results in runs.items():
            m, x, t, node = [], [], [], []
            frames, node_run, occ, syl = [], [], [], []
            for i, r in enumerate(results):
                for f, phones in r["words"]:
                    for pm, px, pt in phones:
                        m.append(pm)
                        x.append(px)
                        t.append(pt)
                        node.append(len(frames))
                    frames.append(f)
                    node_run.append(i)
                occ.append(r["discounts"])
                syl.append(r["identified"] / r["designated"] if r["designated"] else 1.0)
            self.kinds[kind] = {
                "m": np.array(m, dtype=int), "x": np.array(x), "t": np.array(t), "node": np.array(node, dtype=int),
                "frames": np.array(frames, dtype=float), "node_run": np.array(node_run, dtype=int),
                "occ": np.array(occ, dtype=float).reshape(-1, REASONS), "syl": np.array(syl),
                "runs": len(results)}

    def scores(self, kind, a, b, ratios):
        """Scores of one kind with per-model widths a (array), slope b (a
        number or an array) and the discount ratios."""
        k = self.kinds[kind]
        bb = b[k["m"]] if isinstance(b, np.ndarray) else b
        u = k["x"] / a[k["m"]]
        with np.errstate(divide="ignore", over="ignore"):
            s = np.where(u == 0, 100.0, 100.0 / (np.power(u * u, bb) + 1.0))
        nodes = len(k["frames"])
        num = np.bincount(k["node"], k["t"] * s, minlength=nodes)
        den = np.bincount(k["node"], k["t"], minlength=nodes)
        node_score = np.where(den > 0, num / np.where(den > 0, den, 1.0), 0.0)
        total = np.bincount(k["node_run"], k["frames"], minlength=k["runs"])
        weighted = np.bincount(k["node_run"], k["frames"] * node_score, minlength=k["runs"])
        score = np.where(total > 0, weighted / np.where(total > 0, total, 1.0), 0.0)
        r = np.array(ratios, dtype=float)
        occ = k["occ"].copy()
        occ[:, NOT_APPLIED] = 0
        return score * np.prod(np.power(r, occ), axis=1) * k["syl"]


def fast_auc(pos, neg):
    """auc() for arrays: the Mann-Whitney statistic, ties counted half."""
    if len(pos) == 0 or len(neg) == 0:
        return None
    neg = np.sort(neg)
    lo = np.searchsorted(neg, pos, "left")
    hi = np.searchsorted(neg, pos, "right")
    return float((lo + 0.5 * (hi - lo)).sum() / (len(pos) * len(neg)))


def figures(scorer, a, b, ratios):
    """Medians per kind and AUCs of the right sentences against the others."""
    s = {k: scorer.scores(k, a, b, ratios) for k in scorer.kinds}
    out = {k: {"n": len(v), "median": float(np.median(v)) if len(v) else None} for k, v in s.items()}
    for k in s:
        if k != "right":
            out[k]["auc_right_vs"] = fast_auc(s["right"], s[k])
    return out


def widths_by_model(runs, names):
    """Per model the rank ratios of its phones in right sentences, with the
    base phone's and all phones' pools for models seen too rarely."""
    own = [[] for _ in names]
    for r in runs["right"]:
        for _, phones in r["words"]:
            for m, x, _ in phones:
                own[m].append(x)
    base_of = [n.split("+")[0] for n in names]
    base = {}
    for m, xs in enumerate(own):
        base.setdefault(base_of[m], []).extend(xs)
    pooled = [x for xs in own for x in xs]
    pools = []
    for m, xs in enumerate(own):
        if len(xs) >= MIN_PHONES:
            pools.append(np.array(xs))
        elif len(base[base_of[m]]) >= MIN_PHONES:
            pools.append(np.array(base[base_of[m]]))
        else:
            pools.append(np.array(pooled))
    return pools, np.array(pooled), [len(xs) for xs in own]


def fit(scorer, pools, pooled, target, start_ratios):
    """The bells and discount ratios (see the module's description): the
    bell grid and the ratios are fitted in turn, twice."""
    def key(a, b, ratios):
        s = {k: scorer.scores(k, a, b, ratios) for k in scorer.kinds}
        limits = [(target - np.median(s["right"])) / target,
                  (np.median(s["other"]) - WRONG_MEDIAN) / WRONG_MEDIAN,
                  (np.median(s["changed"]) - CHANGED_MEDIAN) / CHANGED_MEDIAN]
        if "silence" in s:
            limits.append((np.median(s["silence"]) - SILENCE_MEDIAN) / 100.0)
        missed = sum(max(0.0, x) for x in limits)
        aucs = [fast_auc(s["right"], s[k]) for k in SEPARATED if k in s]
        # Settings that meet every limit come first, by their separation;
        # the others by how far they miss.
        return (missed == 0, sum(aucs) / len(aucs) if missed == 0 else -missed)

    quantiles = {q: np.array([np.quantile(p, q) for p in pools]) for q in QUANTILES}
    ratios = list(start_ratios)
    for _ in range(2):
        best = None
        for q, base in quantiles.items():
            for floor in FLOORS:
                for scale in SCALES:
                    a = np.maximum(floor, scale * base)
                    for b in SLOPES:
                        k = key(a, b, ratios)
                        if best is None or k > best[0]:
                            best = (k, q, floor, scale, b, a)
        (ok, _), q, floor, scale, b, a = best
        for reason in range(REASONS):
            if reason == NOT_APPLIED:
                continue
            best_r = None
            for ratio in RATIOS:
                trial = list(ratios)
                trial[reason] = ratio
                k = key(a, b, trial)
                if best_r is None or k[0] > best_r[0][0] or (k[0] == best_r[0][0] and k[1] > best_r[0][1] + 1e-4):
                    best_r = (k, ratio)
            ratios[reason] = best_r[1]
            ok = best_r[0][0]
    shared = max(floor, scale * float(np.quantile(pooled, q)))
    return {"q": q, "floor": floor, "scale": scale, "b": b, "widths": a, "ratios": ratios,
            "rank2score": (shared, b, 0.0), "constraints_met": bool(ok)}


def write_files(home, cm_rows, fitted, counts, note, prm_edits=None):
    """The fitted files in kedoData/english, and both English parameter
    files pointed at them; the parameter edits the assessments were made
    with go into the assessment parameter file."""
    d = os.path.join(home, "kedoData", "english")
    with open(os.path.join(d, "cm.txt.tmp"), "w", encoding="latin-1") as f:
        f.write("%% %s\n" % note)
        for (fields, _), w, n in zip(cm_rows, fitted["widths"], counts):
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
    if prm_edits:
        edit_prm(os.path.join(home, "kedoData", "english.sa.prm"), prm_edits)


def read_rows(corpus, speakers):
    """The speakers' utterances and the corpus's sentences (3 words or more)."""
    rows, sentences = [], set()
    with open(corpus, encoding="utf-8") as f:
        for line in f:
            p = line.rstrip("\n").split("\t")
            if len(p) < 3 or line.startswith("#"):
                continue
            path = p[0] if os.path.isabs(p[0]) else os.path.join(os.path.dirname(corpus), p[0])
            if len(p[1].split()) >= 3:
                sentences.add(p[1])
            if p[2] in speakers:
                rows.append((path, p[1], p[2]))
    return sorted(rows), sorted(sentences)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[1])
    ap.add_argument("--home", required=True)
    ap.add_argument("--corpus", required=True)
    ap.add_argument("--speakers", required=True)
    ap.add_argument("--kedo", default="build/kedo")
    ap.add_argument("--limit", type=int, default=300,
                    help="at most N utterances, spread evenly over the sorted list (default 300; 0: all)")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--target", type=float, default=85.0)
    ap.add_argument("--prm", action="append", default=[],
                    help="KEY=VALUE set for the assessments, and with --write in the assessment parameter file")
    ap.add_argument("--kinds", type=lambda v: v.split(","), default=None,
                    help="assess only these kinds (right,other,changed,silence,part), for experiments")
    ap.add_argument("--write", action="store_true")
    ap.add_argument("--save", help="keep the collected assessments in this JSON file")
    ap.add_argument("--load", help="use assessments collected before instead of running the engine")
    ap.add_argument("--check", help="evaluate.py --save output to score with the shipped and fitted tables")
    args = ap.parse_args()
    speakers = set(args.speakers.split(","))
    rows, sentences = read_rows(args.corpus, speakers)
    if not rows:
        sys.exit("calibrate.py: no utterance of the speakers %s in %s" % (args.speakers, args.corpus))
    if args.limit and len(rows) > args.limit:
        rows = [rows[i * len(rows) // args.limit] for i in range(args.limit)]
    vocab = sorted(set(w for s in sentences for w in s.split()))
    if args.load:
        with open(args.load) as f:
            runs = json.load(f)
    else:
        edits = dict(kv.split("=", 1) for kv in args.prm)
        runs = collect(args, rows, vocab, sentences, edits)
        if args.save:
            os.makedirs(os.path.dirname(os.path.abspath(args.save)), exist_ok=True)
            with open(args.save, "w") as f:
                json.dump(runs, f)
    prm = read_prm(os.path.join(args.home, "kedoData", "english.sa.prm"))
    cm_rows = read_cm(os.path.join(args.home, prm["cmParamFile"]))
    names = [fields[0] for fields, _ in cm_rows]
    with open(os.path.join(args.home, prm["scoreDiscountParamFile"])) as f:
        ratios0 = [float(x) for x in f.read().split()][:REASONS]
    # The recomputed score must be the engine's own, or the fit means nothing.
    params0 = [p for _, p in cm_rows]
    worst = max(abs(utterance_score(r, params0, ratios0) - r["score"]) for rs in runs.values() for r in rs)
    scorer = Scorer(runs)
    pools, pooled, counts = widths_by_model(runs, names)
    fitted = fit(scorer, pools, pooled, args.target, START_RATIOS)
    a0 = np.array([p[0] for p in params0])
    b0 = np.array([p[1] for p in params0])
    summary = {"utterances": len(runs["right"]), "speakers": sorted(speakers), "recomputation_error": worst,
               "before": figures(scorer, a0, b0, ratios0),
               "after": figures(scorer, fitted["widths"], fitted["b"], fitted["ratios"]),
               "constraints_met": fitted["constraints_met"],
               "quantile": fitted["q"], "floor": fitted["floor"], "scale": fitted["scale"], "slope": fitted["b"],
               "discount": fitted["ratios"], "rank2score": fitted["rank2score"],
               "models_with_own_width": sum(1 for n in counts if n >= MIN_PHONES)}
    if args.check:
        check = Scorer(load_eval(args.check))
        summary["check"] = {"before": figures(check, a0, b0, ratios0),
                            "after": figures(check, fitted["widths"], fitted["b"], fitted["ratios"])}
    print(json.dumps(summary, indent=1))
    if args.write:
        note = ("calibrated on %d utterances of %d held-out speakers: width = max(%g, %g x the %g quantile of "
                "the rank ratios in right sentences), slope %g" %
                (len(runs["right"]), len(speakers), fitted["floor"], fitted["scale"], fitted["q"], fitted["b"]))
        write_files(args.home, cm_rows, fitted, counts, note, dict(kv.split("=", 1) for kv in args.prm))


if __name__ == "__main__":
    main()
