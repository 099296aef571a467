#!/usr/bin/env python3
"""Evaluates an English data set on held-out speakers and sentences.

  evaluate.py [--out DIR] [--kedo BIN] [--home HOME] [--limit N] [--alsa] [--klettres]

--limit N recognises N utterances spread evenly over the held-out list (every
speaker keeps a share); the sentence lists still come from all of it.
HOME is a working folder holding the kedoData/ to evaluate (default
DIR/home, which stage 8 of run.sh fills); the engine runs in a scratch copy
of it, so the evaluated folder is never emptied. Three figures, on
DIR/lists/eval.tsv (audio TAB speaker TAB text):

  - closed-set accuracy: each utterance recognised against the list of 100
    held-out sentences that holds its own;
  - right-vs-wrong AUC: the assessment score of the right sentence against
    that of another sentence of the same list;
  - right-vs-one-word-changed AUC: against the right sentence with one word
    replaced by another held-out word.

--alsa adds alsa-utils' spoken channel names (/usr/share/sounds/alsa),
closed-set over the eight phrases; --klettres klettres-data's English letter
names (among the 26) and short words (among themselves). The results go to DIR/eval/results.json.
Choices are seeded (KEDO_CORPUS_SEED, default 15), so runs compare.
"""
import argparse
import glob
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

from english_eval import auc, rng, scratch_home

LIST_SIZE = 100


class Engine:
    def __init__(self, kedo, home, edits=None):
        self.kedo = kedo
        self.work = scratch_home(home, edits)
        self.seconds = {"assess": [], "recog": []}

    def _run(self, args):
        # Wall and processor time of the whole call (process start and data
        # loading included), as a host that runs the command line sees it.
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.monotonic()
        r = subprocess.run([self.kedo] + args + ["--home", self.work, "--json"], capture_output=True, text=True,
                           encoding="latin-1")
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        self.seconds[args[0]].append((time.monotonic() - start, cpu))
        if r.returncode != 0:
            return None
        return json.loads(r.stdout)

    def timing(self):
        """Mean wall and processor seconds per call, by call kind."""
        out = {}
        for kind, runs in self.seconds.items():
            if runs:
                out[kind] = {"calls": len(runs), "wall_s": sum(w for w, _ in runs) / len(runs),
                             "cpu_s": sum(c for _, c in runs) / len(runs)}
        return out

    def assess(self, wav, sentence):
        doc = self._run(["assess", wav, sentence])
        return None if doc is None else float(doc["score"])

    def recog(self, wav, sentences):
        listfile = os.path.join(self.work, "list.txt")
        with open(listfile, "w", encoding="latin-1") as f:
            f.write("\n".join(sentences) + "\n")
        doc = self._run(["recog", wav, listfile])
        if doc is None:
            return None
        return doc.get("text", doc.get("sentence"))

    def close(self):
        shutil.rmtree(self.work, ignore_errors=True)


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


def evaluate_held_out(engine, rows, limit=0, assess=True):
    # The lists of 100 sentences come from every held-out sentence, also
    # when only a subset of the utterances is recognised.
    sentences = sorted(set(r[2] for r in rows))
    rows = spread(rows, limit)
    lists = [sentences[i:i + LIST_SIZE] for i in range(0, len(sentences), LIST_SIZE)]
    list_of = {s: l for l in lists for s in l}
    vocab = sorted(set(w for s in sentences for w in s.split()))
    right, wrong, changed = [], [], []
    correct, total, per_speaker = 0, 0, {}
    for wav, speaker, text in rows:
        g = rng("eval", os.path.basename(wav))
        got = engine.recog(wav, list_of[text])
        ok = got is not None and got.strip() == text
        correct += ok
        total += 1
        sp = per_speaker.setdefault(speaker, [0, 0])
        sp[0] += ok
        sp[1] += 1
        others = [s for s in list_of[text] if s != text]
        words = text.split()
        k = g.randrange(len(words))
        swapped = list(words)
        swapped[k] = g.choice([w for w in vocab if w != words[k]])
        for bucket, sentence in ((right, text), (wrong, g.choice(others) if others else None),
                                 (changed, " ".join(swapped))):
            if sentence is None or not assess:
                continue
            score = engine.assess(wav, sentence)
            if score is not None:
                bucket.append(score)
        print("%s %s %s right=%s" % (os.path.basename(wav), speaker, "ok" if ok else "WRONG",
                                     right[-1] if right else "-"), flush=True)
    right_sorted = sorted(right)
    return {
        "utterances": total,
        "closed_set_accuracy": correct / total if total else None,
        "per_speaker_accuracy": {s: c / n for s, (c, n) in sorted(per_speaker.items())},
        "right_median_score": right_sorted[len(right_sorted) // 2] if right_sorted else None,
        "auc_right_vs_wrong": auc(right, wrong),
        "auc_right_vs_one_word_changed": auc(right, changed),
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
                subprocess.run(["sox", f, "-r", "16000", "-c", "1", "-b", "16", wav], check=True)
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
    ap.add_argument("--prm", action="append", default=[], metavar="KEY=VALUE",
                    help="set a key in both English parameter files of the evaluated copy")
    ap.add_argument("--results", help="write the results here instead of DIR/eval/results.json")
    args = ap.parse_args()
    home = args.home or os.path.join(args.out, "home")
    if not os.path.isdir(os.path.join(home, "kedoData")):
        sys.exit("evaluate.py: no kedoData in %s: train the models first (run.sh --stage 8)" % home)
    engine = Engine(args.kedo, home, dict(kv.split("=", 1) for kv in args.prm))
    try:
        results = {"held_out": evaluate_held_out(engine, held_out(args.out), args.limit, not args.recog_only)}
        if args.alsa:
            results["alsa"] = evaluate_alsa(engine)
        if args.klettres:
            results["klettres"] = evaluate_klettres(engine)
        results["seconds_per_call"] = engine.timing()
    finally:
        engine.close()
    path = args.results or os.path.join(args.out, "eval", "results.json")
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w") as f:
        json.dump(results, f, indent=1)
    print(json.dumps(results, indent=1))


if __name__ == "__main__":
    main()
