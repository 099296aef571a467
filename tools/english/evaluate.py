#!/usr/bin/env python3
"""Evaluates an English data set on held-out speakers and sentences.

  evaluate.py [--out DIR] [--kedo BIN] [--home HOME] [--limit N] [--jobs J]
              [--alsa] [--klettres] [--save DETAILS.json]

--limit N recognises N utterances spread evenly over the held-out list (every
speaker keeps a share); the sentence lists still come from all of it.
HOME is a working folder holding the kedoData/ to evaluate (default
DIR/home, which stage 8 of run.sh fills); the engine runs in J scratch
copies of it side by side (default 2), so the evaluated folder is never
emptied. The figures, on DIR/lists/eval.tsv (audio TAB speaker TAB text):

  - closed-set accuracy: each utterance recognised against the list of 100
    held-out sentences that holds its own;
  - right-vs-wrong AUC: the assessment score of the right sentence against
    that of another sentence of the same list;
  - right-vs-one-word-changed AUC: against the right sentence with one word
    replaced by another held-out word;
  - right-vs-part AUC: against the first or last half of the sentence;
  - the medians of each kind, and the scores of 20 recordings of low noise
    against held-out sentences (nobody speaking).

--alsa adds alsa-utils' spoken channel names (/usr/share/sounds/alsa),
closed-set over the eight phrases; --klettres klettres-data's English letter
names (among the 26) and short words (among themselves). The results go to
DIR/eval/results.json; --save keeps every assessment's scoring inputs, which
calibrate.py --check scores again with other tables. Choices are seeded
(KEDO_CORPUS_SEED, default 15), so runs compare.
"""
import argparse
import glob
import json
import os
import subprocess
import sys
import tempfile

from english_eval import NOISE_LEVELS, Engine, auc, noise_wav, parallel, part_of, rng, timing

LIST_SIZE = 100
SILENCE_PER_LEVEL = 5


def held_out(out):
    rows = []
    with open(os.path.join(out, "lists", "eval.tsv"), encoding="latin-1") as f:
        for line in f:
            if line.strip():
                rows.append(line.rstrip("\n").split("\t"))
    rows.sort(key=lambda r: r[0])
    return rows


def spread(rows, limit):
    """LIMIT rows taken evenly over the sorted list, so a subset still covers
    every held-out speaker rather than the first one or two."""
    if not limit or limit >= len(rows):
        return rows
    return [rows[i * len(rows) // limit] for i in range(limit)]


def evaluate_held_out(engines, rows, limit=0, assess=True, details=None, recog=True, kinds=None):
    """The held-out figures; with details (a list), every assessment's
    scoring inputs are appended to it, one {kind: inputs} per utterance, so
    that calibrate.py --check can score them again with other tables."""
    # The lists of 100 sentences come from every held-out sentence, also
    # when only a subset of the utterances is recognised.
    sentences = sorted(set(r[2] for r in rows))
    rows = spread(rows, limit)
    lists = [sentences[i:i + LIST_SIZE] for i in range(0, len(sentences), LIST_SIZE)]
    list_of = {s: l for l in lists for s in l}
    vocab = sorted(set(w for s in sentences for w in s.split()))

    def one(engine, row):
        wav, speaker, text = row
        g = rng("eval", os.path.basename(wav))
        got = engine.recog(wav, list_of[text]) if recog else None
        ok = got is not None and got.strip() == text
        others = [s for s in list_of[text] if s != text]
        words = text.split()
        k = g.randrange(len(words))
        swapped = list(words)
        swapped[k] = g.choice([w for w in vocab if w != words[k]])
        out = {"speaker": speaker, "ok": ok}
        part = part_of(text, rng("eval-part", os.path.basename(wav)))
        for kind, sentence in (("right", text), ("wrong", g.choice(others) if others else None),
                               ("changed", " ".join(swapped)), ("part", part)):
            if sentence is None or not assess or (kinds and kind not in kinds):
                continue
            doc = engine.assess(wav, sentence, details is not None)
            out[kind] = None if doc is None else float(doc["score"])
            if details is not None:
                out.setdefault("details", {})[kind] = None if doc is None else doc["details"]
        print("%s %s %s right=%s" % (os.path.basename(wav), speaker, "ok" if ok else "WRONG",
                                     out.get("right", "-")), flush=True)
        return out

    done = parallel(engines, rows, one)
    silence = []
    if assess and (not kinds or "silence" in kinds):
        # Low noise against held-out sentences: a recording of nobody
        # speaking must score low whatever the sentence.
        with tempfile.TemporaryDirectory() as tmp:
            jobs = []
            for i, level in enumerate(NOISE_LEVELS):
                wav = os.path.join(tmp, "noise%d.wav" % i)
                noise_wav(wav, level, 1.5 + 0.5 * i)
                g = rng("eval-silence", i)
                jobs += [(wav, g.choice(sentences)) for _ in range(SILENCE_PER_LEVEL)]
            docs = parallel(engines, jobs, lambda e, j: e.assess(j[0], j[1], details is not None))
        docs = [d for d in docs if d is not None]
        silence = [float(d["score"]) for d in docs]
    per_speaker = {}
    for d in done:
        sp = per_speaker.setdefault(d["speaker"], [0, 0])
        sp[0] += d["ok"]
        sp[1] += 1
    if details is not None:
        details += [d.get("details", {}) for d in done]
        details += [{"silence": d["details"]} for d in docs] if silence else []
    right, wrong, changed, part = ([d[k] for d in done if d.get(k) is not None]
                                   for k in ("right", "wrong", "changed", "part"))
    correct, total = sum(d["ok"] for d in done), len(done)
    right_sorted = sorted(right)
    return {
        "utterances": total,
        "closed_set_accuracy": correct / total if total and recog else None,
        "per_speaker_accuracy": {s: c / n for s, (c, n) in sorted(per_speaker.items())} if recog else None,
        "right_median_score": right_sorted[len(right_sorted) // 2] if right_sorted else None,
        "wrong_median_score": sorted(wrong)[len(wrong) // 2] if wrong else None,
        "changed_median_score": sorted(changed)[len(changed) // 2] if changed else None,
        "auc_right_vs_wrong": auc(right, wrong),
        "auc_right_vs_one_word_changed": auc(right, changed),
        "part_median_score": sorted(part)[len(part) // 2] if part else None,
        "auc_right_vs_part": auc(right, part),
        "silence_median_score": sorted(silence)[len(silence) // 2] if silence else None,
        "silence_max_score": max(silence) if silence else None,
        "list_size": LIST_SIZE,
    }


def evaluate_alsa(engine):
    files = sorted(f for f in glob.glob("/usr/share/sounds/alsa/*.wav") if "Noise" not in f)
    phrases = [os.path.basename(f)[:-4].replace("_", " ").lower() for f in files]
    correct = 0
    for f, p in zip(files, phrases):
        got = engine.recog(f, phrases)
        correct += got is not None and got.strip() == p
        print("%s -> %s" % (os.path.basename(f), got), flush=True)
    return {"utterances": len(files), "closed_set_accuracy": correct / len(files) if files else None}


def evaluate_klettres(engine):
    """klettres-data's English letter names and short words, closed-set within
    each group (the letters among the 26, the words among the words)."""
    base = "/usr/share/klettres/en"
    groups = {
        "letters": sorted(glob.glob(os.path.join(base, "alpha", "*.ogg"))),
        # Syllable sounds that are not words (aw, ch, th) are left out.
        "words": sorted(f for f in glob.glob(os.path.join(base, "syllab", "*.ogg"))
                        if os.path.basename(f)[:-4] not in ("aw", "ch", "th")),
    }
    results = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name, files in groups.items():
            labels = [os.path.basename(f)[:-4].lower() for f in files]
            correct = 0
            for f, label in zip(files, labels):
                wav = os.path.join(tmp, label + ".wav")
                subprocess.run(["sox", "-D", f, "-r", "16000", "-c", "1", "-b", "16", wav], check=True)
                got = engine.recog(wav, labels)
                correct += got is not None and got.strip() == label
                print("%s -> %s" % (os.path.basename(f), got), flush=True)
            results[name] = {"utterances": len(files), "closed_set_accuracy": correct / len(files) if files else None}
    return results


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[1])
    ap.add_argument("--out", default=os.environ.get("KEDO_ENGLISH_SETS", "/work/sets/english"))
    ap.add_argument("--kedo", default="build/kedo")
    ap.add_argument("--home", default=None)
    ap.add_argument("--limit", type=int, default=0, help="evaluate only N held-out utterances, spread over the list")
    ap.add_argument("--alsa", action="store_true")
    ap.add_argument("--klettres", action="store_true")
    ap.add_argument("--recog-only", action="store_true", help="closed-set recognition only, no assessment")
    ap.add_argument("--kinds", type=lambda v: v.split(","), default=None,
                    help="assess only these kinds (right,wrong,changed,part,silence), for experiments")
    ap.add_argument("--assess-only", action="store_true", help="assessment only, no recognition")
    ap.add_argument("--prm", action="append", default=[], metavar="KEY=VALUE",
                    help="set a key in both English parameter files of the evaluated copy")
    ap.add_argument("--results", help="write the results here instead of DIR/eval/results.json")
    ap.add_argument("--jobs", type=int, default=2, help="engines working side by side (default 2)")
    ap.add_argument("--save", metavar="FILE", help="keep every assessment's scoring inputs in FILE (JSON), "
                    "for calibrate.py --check")
    args = ap.parse_args()
    home = args.home or os.path.join(args.out, "home")
    if not os.path.isdir(os.path.join(home, "kedoData")):
        sys.exit("evaluate.py: no kedoData in %s: train the models first (run.sh --stage 8)" % home)
    edits = dict(kv.split("=", 1) for kv in args.prm)
    engines = [Engine(args.kedo, home, edits) for _ in range(max(1, args.jobs))]
    details = [] if args.save else None
    try:
        results = {"held_out": evaluate_held_out(engines, held_out(args.out), args.limit, not args.recog_only,
                                                 details, not args.assess_only, args.kinds)}
        if args.alsa:
            results["alsa"] = evaluate_alsa(engines[0])
        if args.klettres:
            results["klettres"] = evaluate_klettres(engines[0])
        results["seconds_per_call"] = timing(engines)
        results["jobs"] = len(engines)
    finally:
        for e in engines:
            e.close()
    if args.save:
        os.makedirs(os.path.dirname(os.path.abspath(args.save)), exist_ok=True)
        with open(args.save, "w") as f:
            json.dump(details, f)
    path = args.results or os.path.join(args.out, "eval", "results.json")
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w") as f:
        json.dump(results, f, indent=1)
    print(json.dumps(results, indent=1))


if __name__ == "__main__":
    main()
