#!/usr/bin/env python3
"""Evaluates the Mandarin set on the held-out part of the synthetic corpus
(voice variants and sentences that never trained):

  recog  closed-set recognition: each held-out sentence recording against the
         list of 100 held-out sentences that holds it (kedo recog)
  auc    assessment scores (kedo assess) of the right sentence against a
         wrong sentence of the same list, and against the right sentence with
         one character changed to one of other syllables; AUC of each pair
  tones  the engine's pitch track (kedo pitch) of single syllables in the
         four tones: a nearest-neighbour contour classifier learnt on the
         training variants, tested on the held-out ones

The first two need trained models (OUT/models, as kedo train writes them);
the tone test needs only the recordings. Results go to OUT/eval/results.json.
"""

import argparse
import collections
import heapq
import json
import math
import os
import random
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def tsv_read(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]


def auc(positives, negatives):
    """Probability that a positive outscores a negative (ties count half)."""
    if not positives or not negatives:
        return float("nan")
    wins = 0.0
    for p in positives:
        for n in negatives:
            wins += 1.0 if p > n else 0.5 if p == n else 0.0
    return wins / (len(positives) * len(negatives))


# ---------------------------------------------------------------- tones

def pitch_track(kedo, wav):
    out = subprocess.run([kedo, "pitch", wav], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True)
    return [float(v) for v in out.stdout.split()]


def voiced_stretch(track):
    """The longest run of voiced frames."""
    best, run = [], []
    for v in list(track) + [0.0]:
        if v > 0:
            run.append(v)
        else:
            if len(run) > len(best):
                best = run
            run = []
    return best


def contour_features(track, reference=None, points=8):
    """The longest voiced stretch resampled to `points` values with its mean
    taken away (the shape), its overall slope and where its low point lies;
    with a reference pitch of the speaker (semitones) also the stretch's
    mean, start and end against it (the register)."""
    best = voiced_stretch(track)
    if len(best) < 3:
        return None
    n = len(best)
    shape = [best[min(n - 1, round(i * (n - 1) / (points - 1)))] for i in range(points)]
    mean = sum(shape) / points
    f = [v - mean for v in shape]
    f += [f[-1] - f[0], 4.0 * min(range(n), key=lambda i: best[i]) / (n - 1)]
    if reference is not None:
        f += [mean - reference, shape[0] - reference, shape[-1] - reference]
    return f


def speaker_references(tracks_by_speaker):
    """{speaker: median voiced pitch over all the speaker's tracks}: the
    register a speaker's tones are measured against (no labels used)."""
    out = {}
    for speaker, tracks in tracks_by_speaker.items():
        voiced = sorted(v for t in tracks for v in voiced_stretch(t))
        if voiced:
            out[speaker] = voiced[len(voiced) // 2]
    return out


def knn_classifier(train, test, k=7):
    """train, test: lists of (features, label). Returns the predicted labels:
    the commonest label among the k nearest training contours, each feature
    in units of its spread over the training set (ties: the smaller label)."""
    d = len(train[0][0])
    mean = [sum(f[i] for f, _ in train) / len(train) for i in range(d)]
    sd = [max(1e-3, math.sqrt(sum((f[i] - mean[i]) ** 2 for f, _ in train) / len(train))) for i in range(d)]

    def z(f):
        return [(x - m) / s for x, m, s in zip(f, mean, sd)]

    scaled = [(z(f), label) for f, label in train]
    out = []
    for f, _ in test:
        q = z(f)
        near = heapq.nsmallest(k, scaled, key=lambda x: sum((a - b) ** 2 for a, b in zip(q, x[0])))
        votes = collections.Counter(label for _, label in near)
        out.append(min(votes, key=lambda label: (-votes[label], label)))
    return out


def cached_tracks(a, ids_wavs):
    """{recording id: pitch track}, kept in OUT/eval/pitch.tsv between runs."""
    path = os.path.join(a.out, "eval", "pitch.tsv")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    tracks = {}
    if os.path.exists(path):
        for row in tsv_read(path):
            tracks[row[0]] = [float(v) for v in row[1].split()] if len(row) > 1 else []
    with open(path, "a", encoding="utf-8") as f:
        for rid, wav in ids_wavs:
            if rid not in tracks:
                tracks[rid] = pitch_track(a.kedo, wav)
                f.write("%s\t%s\n" % (rid, " ".join("%g" % v for v in tracks[rid])))
    return tracks


def eval_tones(a, results):
    plan = tsv_read(os.path.join(a.out, "plan.tsv"))
    texts = {t[0]: t for t in tsv_read(os.path.join(a.out, "texts.tsv"))}
    rows = [r for r in plan if texts[r[1]][1] == "single" and os.path.exists(os.path.join(a.out, "wav", r[0] + ".wav"))]
    tracks = cached_tracks(a, [(r[0], os.path.join(a.out, "wav", r[0] + ".wav")) for r in rows])
    by_speaker = {}
    for r in rows:
        by_speaker.setdefault(r[3], []).append(tracks[r[0]])
    refs = speaker_references(by_speaker)
    sets = {"train": [], "heldout": []}
    for r in rows:
        f = contour_features(tracks[r[0]], refs.get(r[3]))
        sets["heldout" if r[2] == "heldout" else "train"].append((f, texts[r[1]][6]))
    train = [x for x in sets["train"] if x[0] is not None]
    test = sets["heldout"]
    if not train or not test:
        print("tones: no single-syllable recordings yet (render stage)")
        return
    voiced = [x for x in test if x[0] is not None]
    predicted = knn_classifier(train, voiced)
    right = sum(1 for p, (_, label) in zip(predicted, voiced) if p == label)
    confusion = {}
    for p, (_, label) in zip(predicted, voiced):
        confusion.setdefault(label, {}).setdefault(p, 0)
        confusion[label][p] += 1
    results["tones"] = {"train": len(train), "heldout": len(test), "unvoiced": len(test) - len(voiced),
                        "accuracy": right / len(test), "confusion": confusion}
    print("tones: %.1f %% right over %d held-out single syllables (%d without a voiced stretch count as wrong)"
          % (100.0 * right / len(test), len(test), len(test) - len(voiced)))


# ---------------------------------------------------------------- recognition and AUCs

MODEL_FILES = ("models.macb", "models.mac", "models.cnt", "cm.txt")
SCORING_FILES = ("cm.txt", "rank2score.txt", "discount.txt")
LEXICON_FILES = ("mandarin.pam", "mandarin.tab", "mandarin.wpa", "mandarin.tnm", "mandarin.qiyin")


def make_home(a):
    """OUT/home: a data folder of its own (kedoData as the engine reads it,
    with --home OUT/home) whose Chinese parameter sets use the trained models
    and the full lexicon, copied in beside the bundled files, so that the
    folder can be handed on as it is. Returns its path."""
    missing = [f for f in ("models.cnt", "cm.txt") if not os.path.exists(os.path.join(a.models, f))]
    if missing or not any(os.path.exists(os.path.join(a.models, f)) for f in MODEL_FILES[:2]):
        raise SystemExit("evaluate.py: %s holds no finished model set (train stage)" % a.models)
    home = os.path.join(a.out, "home")
    data = os.path.join(home, "kedoData")
    if os.path.exists(home):
        shutil.rmtree(home)
    shutil.copytree(os.path.join(ROOT, "data", "kedoData"), data)
    lex = os.path.join(a.out, "lexicon", "toned" if a.toned else "")
    target = os.path.join(data, "chinese", "trained")
    os.makedirs(target)
    for name in LEXICON_FILES:
        shutil.copyfile(os.path.join(lex, name), os.path.join(target, name))
    for name in MODEL_FILES:
        if os.path.exists(os.path.join(a.models, name)):
            shutil.copyfile(os.path.join(a.models, name), os.path.join(target, name))
    mac = "models.macb" if os.path.exists(os.path.join(target, "models.macb")) else "models.mac"
    rel = "kedoData/chinese/trained/"
    files = {"dicFile": rel + "mandarin.pam", "pyTableFile": rel + "mandarin.tab", "wpaFile": rel + "mandarin.wpa",
             "tnmFile": rel + "mandarin.tnm", "qiYinFile": rel + "mandarin.qiyin", "macFile": rel + mac,
             "modelCountFile": rel + "models.cnt", "cmParamFile": rel + "cm.txt"}
    # The calibrated scoring files (calibrate.py), when there are any, replace
    # the trainer's bells and the bundled rank and discount files.
    scoring = getattr(a, "scoring", None) or os.path.join(a.out, "scoring")
    if all(os.path.exists(os.path.join(scoring, f)) for f in SCORING_FILES):
        for name, key in zip(SCORING_FILES, ("cmParamFile", "phoneRank2scoreParamFile", "scoreDiscountParamFile")):
            shutil.copyfile(os.path.join(scoring, name), os.path.join(target, name))
            files[key] = rel + name
    for prm in ("chinese.sa.prm", "chinese.vc.prm"):
        path = os.path.join(data, prm)
        lines = []
        for line in open(path, encoding="ascii"):
            key = line.split("=", 1)[0].strip()
            lines.append("%s = %s\n" % (key, files[key]) if key in files else line)
        open(path, "w", encoding="ascii").write("".join(lines))
    print("home: %s (kedo assess|recog ... --lang zh --home %s)" % (home, home))
    return home


def kedo_json(a, home, args):
    t0 = time.monotonic()
    out = subprocess.run([a.kedo] + args + ["--lang", "zh", "--home", home, "--json"], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL)
    elapsed = time.monotonic() - t0
    if out.returncode != 0:
        return None, elapsed
    return json.loads(out.stdout.decode("utf-8").strip().splitlines()[-1]), elapsed


def syllable_tables(texts):
    """From the training sentences of texts.tsv: {character: its syllables}
    and {syllable: its characters, most frequent first}, for the
    one-character changes."""
    syllable_of, chars_by_syllable = {}, {}
    for t in texts:
        if t[1] == "sentence" and t[2] == "train":
            for c, s in zip(t[3], t[5].split("-")):
                syllable_of.setdefault(c, set()).add(s)
                chars_by_syllable.setdefault(s, [])
                if c not in chars_by_syllable[s]:
                    chars_by_syllable[s].append(c)
    return syllable_of, chars_by_syllable


def changed_character(sentence, rng, chars_by_syllable, syllable_of):
    """The sentence with one character replaced by a frequent one of other syllables."""
    i = rng.randrange(len(sentence))
    own = syllable_of.get(sentence[i], set())
    choices = [c for s, cs in sorted(chars_by_syllable.items()) if s not in own for c in cs[:1]]
    return sentence[:i] + rng.choice(choices) + sentence[i + 1:]


def eval_recog_auc(a, results):
    if not a.home and not os.path.exists(os.path.join(a.models, "models.cnt")):
        print("recog, auc: no trained models in %s (train stage)" % a.models)
        return
    home = a.home or os.path.join(a.out, "home")
    if not a.home and (a.rebuild_home or not os.path.exists(os.path.join(home, "kedoData", "chinese", "trained",
                                                                           "cm.txt"))):
        make_home(a)
    rng = random.Random(a.seed)
    held = tsv_read(os.path.join(a.out, "lists", "heldout_sentence.tsv"))[:a.limit or None]
    lists = {}
    listdir = os.path.join(a.out, "lists")
    for name in sorted(os.listdir(listdir)):
        if name.startswith("sentences") and name.endswith(".txt"):
            sentences = open(os.path.join(listdir, name), "rb").read().decode("cp950").split("\n")
            for s in sentences:
                if s:
                    lists[s] = (os.path.join(listdir, name), [x for x in sentences if x])
    syllable_of, chars_by_syllable = syllable_tables(tsv_read(os.path.join(a.out, "texts.tsv")))
    right = total = 0
    recog_times, assess_times = [], []
    scores = {"right": [], "wrong": [], "changed": []}
    contour_tones = [0, 0]  # syllables of tones 1 to 4 in right assessments, those whose pitchTone agrees
    for wav, text, *_ in held:
        if text not in lists:
            continue
        wav = os.path.join(a.out, wav)
        list_file, sentences = lists[text]
        r, t = kedo_json(a, home, ["recog", wav, list_file])
        recog_times.append(t)
        total += 1
        right += 1 if r and r.get("sentence") == text else 0
        wrong = rng.choice([s for s in sentences if s != text])
        for kind, sentence in (("right", text), ("wrong", wrong),
                               ("changed", changed_character(text, rng, chars_by_syllable, syllable_of))):
            r, t = kedo_json(a, home, ["assess", wav, sentence])
            assess_times.append(t)
            scores[kind].append(r["score"] if r else 0.0)
            if kind == "right" and r:
                for w in r["words"]:
                    if w.get("tone") in ("1", "2", "3", "4"):
                        contour_tones[0] += 1
                        contour_tones[1] += w.get("pitchTone") == w["tone"]
    if not total:
        print("recog, auc: no held-out sentence recordings")
        return
    results["recog"] = {"recordings": total, "accuracy": right / total,
                        "seconds_per_call": sum(recog_times) / len(recog_times)}
    results["auc"] = {"right_vs_wrong": auc(scores["right"], scores["wrong"]),
                      "right_vs_one_changed": auc(scores["right"], scores["changed"]),
                      "seconds_per_assess": sum(assess_times) / len(assess_times)}
    if contour_tones[0]:
        results["contour_tones"] = {"syllables": contour_tones[0], "agree": contour_tones[1] / contour_tones[0]}
        print("contour tones: pitchTone agrees with the designated tone for %.1f %% of %d syllables of tones 1-4 "
              "in the right assessments" % (100.0 * contour_tones[1] / contour_tones[0], contour_tones[0]))
    print("recog: %.1f %% right over %d recordings (%.2f s a call)" %
          (100.0 * right / total, total, results["recog"]["seconds_per_call"]))
    print("auc: right vs wrong sentence %.3f, right vs one character changed %.3f (%.2f s an assessment)" %
          (results["auc"]["right_vs_wrong"], results["auc"]["right_vs_one_changed"],
           results["auc"]["seconds_per_assess"]))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", required=True, help="the corpus folder of run.sh")
    ap.add_argument("--kedo", default=os.path.join(ROOT, "build", "kedo"))
    ap.add_argument("--models", help="trained models (default OUT/models)")
    ap.add_argument("--toned", action="store_true", help="the models have toned finals")
    ap.add_argument("--only", choices=["recog", "tones"], help="run one part (recog includes the AUCs)")
    ap.add_argument("--limit", type=int, default=0, help="at most this many held-out sentence recordings")
    ap.add_argument("--seed", type=int, default=16)
    ap.add_argument("--scoring", help="calibrated cm.txt, rank2score.txt, discount.txt (default OUT/scoring)")
    ap.add_argument("--home", help="evaluate this working folder (a copy of a whole data set, such as "
                    "data/kedoData) instead of one assembled from the models")
    ap.add_argument("--make-home", action="store_true", help="only assemble OUT/home from the models and lexicon")
    ap.add_argument("--rebuild-home", action="store_true", help="assemble OUT/home again before evaluating")
    a = ap.parse_args()
    a.models = a.models or os.path.join(a.out, "models")
    if a.make_home:
        make_home(a)
        return 0
    # A partial run (--only) keeps the figures of the other parts.
    path = os.path.join(a.out, "eval", "results.json")
    results = json.load(open(path)) if a.only and os.path.exists(path) else {}
    if a.only in (None, "tones"):
        eval_tones(a, results)
    if a.only in (None, "recog"):
        eval_recog_auc(a, results)
    os.makedirs(os.path.join(a.out, "eval"), exist_ok=True)
    with open(path, "w") as f:
        json.dump(results, f, indent=1, sort_keys=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
