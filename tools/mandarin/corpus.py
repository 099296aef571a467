#!/usr/bin/env python3
"""The synthetic Mandarin corpus, one step per subcommand (run.sh runs them as
numbered stages). Everything is drawn from one seed, so a rerun makes the same
texts, the same plan and the same audio bytes.

  texts    sentences from fortunes-zh in Traditional characters (opencc s2twp)
           that the character list reads completely, and syllable lists that
           hold every toned syllable; training and held-out parts
  plan     one line per recording: text, espeak-ng voice variant, speed,
           pitch and the sox augmentation; held-out variants never train
  render   espeak-ng's pinyin voice speaks each planned line, sox turns it
           into 16 kHz 16-bit mono and augments it (restartable: finished
           files are kept)
  lists    the training corpus of kedo train (audio, transcript, voice
           variant as the speaker) and the held-out lists the evaluation reads

Three disjoint sets of voice variants: training, calibration (recordings of
training texts that kedo train keeps out of training to fit the confidence
measure on) and held-out (evaluation only, with held-out sentences).
"""

import argparse
import array
import collections
import json
import math
import multiprocessing
import os
import random
import re
import subprocess
import sys
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pinyin  # noqa: E402

FORTUNES = ["/usr/share/games/fortunes/" + f for f in ("chinese", "tang300", "song100")]
VOICE = "cmn-latn-pinyin"
VARIANT_DIRS = ["/usr/lib/x86_64-linux-gnu/espeak-ng-data/voices/!v", "/usr/share/espeak-ng-data/voices/!v"]
# Variants without voicing carry no tone; they are left out.
UNVOICED_VARIANTS = {"whisper", "whisperf"}
SPEEDS = [110, 130, 150, 170, 190, 210]
PITCHES = [20, 35, 50, 65, 80]
SECONDS_PER_SYLLABLE = 0.27  # espeak-ng's pinyin voice at speed 160, measured
HELDOUT_SENTENCES = 500
HELDOUT_VARIANT_SHARE = 0.1
CALIBRATION_VARIANT_SHARE = 0.1
CALIBRATION_TEXTS = 1500


def tsv_write(path, rows):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        for r in rows:
            f.write("\t".join(str(x) for x in r) + "\n")
    os.replace(tmp, path)


def tsv_read(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]


# ---------------------------------------------------------------- texts

def read_lexicon(lexdir):
    """({character (unicode): [(hanyu, tone), ...]}, [(hanyu, tone) rows of the toned table])"""
    readings, counts = {}, {}
    with open(os.path.join(lexdir, "mandarin.wpa"), "rb") as f:
        for line in f:
            if line.startswith(b"%"):
                continue
            fields = line.rstrip(b"\n").split(b"\t")
            rs = [(r[:-1], int(r[-1:])) for r in fields[2].decode("ascii").split(",")]
            ch = fields[0].decode("cp950")
            readings[ch] = rs
            counts[ch] = int(fields[4])
    toned = []
    with open(os.path.join(lexdir, "toned", "mandarin.tab"), "rb") as f:
        for line in f:
            h = line.split(b"\t")[0].decode("ascii")
            toned.append((h[:-1], int(h[-1])))
    return readings, counts, toned


def representatives(readings, counts):
    """{(syllable, tone): the character that stands for it in syllable lists}:
    the most frequent character read only that way, else the most frequent one
    whose first reading it is, else any that has it."""
    best = {}
    for ch in sorted(readings):
        rs = readings[ch]
        for rank, r in enumerate(rs):
            key = (0 if len(set(rs)) == 1 else 1 if rank == 0 else 2, -counts[ch], ch)
            if r not in best or key < best[r][0]:
                best[r] = (key, ch)
    return {r: v[1] for r, v in best.items()}


def fortune_sentences():
    out = []
    for path in FORTUNES:
        raw = open(path, "rb").read()
        text = subprocess.run(["opencc", "-c", "s2twp"], input=raw, stdout=subprocess.PIPE,
                              check=True).stdout.decode("utf-8")
        text = re.sub(r"\x1b\[[0-9;]*m", "", text)
        out.extend(re.split(r"[^\u3400-\u9fff\uf900-\ufaff]+", text))
    return out


def spoken(syl, tone):
    """Tone-numbered pinyin as espeak-ng's pinyin voice reads it."""
    return ("e" if syl == "eh" else syl) + str(tone)


def cmd_texts(a):
    rng = random.Random(a.seed)
    readings, counts, toned = read_lexicon(a.lexicon)
    rep = representatives(readings, counts)
    seen, sentences = set(), []
    for s in fortune_sentences():
        if a.min_chars <= len(s) <= a.max_chars and s not in seen and all(c in readings for c in s):
            seen.add(s)
            sentences.append(s)
    sentences.sort()
    rng.shuffle(sentences)
    rows = []
    for i, s in enumerate(sentences[:a.max_sentences]):
        rs = [readings[c][0] for c in s]  # the character's first (preferred) reading
        split = "heldout" if i < HELDOUT_SENTENCES else "train"
        rows.append(("s%05d" % i, "sentence", split, s, " ".join(spoken(*r) for r in rs),
                     "-".join(pinyin.cgu(*r[:1]) for r in rs), "".join(str(t) for _, t in rs)))
    # Syllable lists: every toned syllable a.syllable_repeats times, a.list_length to a list.
    pool = [r for r in toned for _ in range(a.syllable_repeats)]
    rng.shuffle(pool)
    for i in range(0, len(pool), a.list_length):
        rs = pool[i:i + a.list_length]
        rows.append(("l%05d" % (i // a.list_length), "syllables", "train", "".join(rep[r] for r in rs),
                     " ".join(spoken(*r) for r in rs),
                     "-".join(pinyin.cgu(s) for s, _ in rs), "".join(str(t) for _, t in rs)))
    # Single syllables in the four full tones, for the tone classifier.
    for i, (s, t) in enumerate(r for r in toned if r[1] <= 4):
        for split in ("train", "heldout"):
            rows.append(("%s%05d" % ("t" if split == "train" else "u", i), "single", split, rep[(s, t)], spoken(s, t),
                         pinyin.cgu(s), str(t)))
    tsv_write(os.path.join(a.out, "texts.tsv"), rows)
    kinds = collections.Counter((r[1], r[2]) for r in rows)
    print("texts: " + ", ".join("%s %s %d" % (k[0], k[1], n) for k, n in sorted(kinds.items())))


# ---------------------------------------------------------------- plan

def variants():
    for d in VARIANT_DIRS:
        if os.path.isdir(d):
            return sorted(v for v in os.listdir(d) if " " not in v and v not in UNVOICED_VARIANTS)
    raise SystemExit("espeak-ng voice variants not found in " + " or ".join(VARIANT_DIRS))


def augmentation(rng):
    """One sox effect chain (and a noise SNR in dB, or None) for a training recording."""
    effects = []
    noise = None
    if rng.random() < 0.3:
        return "clean", None
    for kind in rng.sample(["tempo", "speed", "pitch", "noise", "reverb", "telephone", "level"], rng.choice([1, 2])):
        if kind == "tempo":
            effects.append("tempo %.2f" % rng.uniform(0.85, 1.15))
        elif kind == "speed":
            effects.append("speed %.2f" % rng.uniform(0.9, 1.1))
        elif kind == "pitch":
            effects.append("pitch %d" % rng.randint(-300, 300))
        elif kind == "noise":
            noise = rng.randint(10, 30)
        elif kind == "reverb":
            effects.append("reverb %d %d %d" % (rng.randint(20, 70), rng.randint(20, 80), rng.randint(30, 100)))
        elif kind == "telephone":
            effects.append("sinc 300-3400")
        elif kind == "level":
            effects.append("vol %ddB" % rng.randint(-24, 0))
    return (",".join(effects) or "clean"), noise


def cmd_plan(a):
    rng = random.Random(a.seed + 1)
    texts = tsv_read(os.path.join(a.out, "texts.tsv"))
    vs = variants()
    held = sorted(rng.sample(vs, max(8, int(len(vs) * HELDOUT_VARIANT_SHARE))))
    calib = sorted(rng.sample([v for v in vs if v not in held], max(8, int(len(vs) * CALIBRATION_VARIANT_SHARE))))
    train_vs = [v for v in vs if v not in held and v not in calib]
    syllables = sum(len(t[4].split()) for t in texts if t[2] == "train")
    copies = max(1, math.ceil(a.hours * 3600 / (syllables * SECONDS_PER_SYLLABLE)))
    rows = []
    for t in texts:
        tid, kind, split = t[0], t[1], t[2]
        if split == "train":
            for c in range(copies):
                effects, noise = augmentation(rng)
                rows.append(("%s_%d" % (tid, c), tid, "train", rng.choice(train_vs), rng.choice(SPEEDS),
                             rng.choice(PITCHES), effects, noise or ""))
            if kind == "sentence" and int(tid[1:]) < HELDOUT_SENTENCES + CALIBRATION_TEXTS:
                effects, noise = augmentation(rng)
                rows.append(("%s_c" % tid, tid, "calibration", rng.choice(calib), rng.choice(SPEEDS),
                             rng.choice(PITCHES), effects, noise or ""))
        else:
            # Held-out: unseen variants at a middle speed, clean.
            for c, v in enumerate(rng.sample(held, 2 if kind == "single" else 1)):
                rows.append(("%s_%d" % (tid, c), tid, "heldout", v, 160, 50, "clean", ""))
    tsv_write(os.path.join(a.out, "plan.tsv"), rows)
    with open(os.path.join(a.out, "variants.json"), "w") as f:
        json.dump({"train": train_vs, "calibration": calib, "heldout": held}, f, indent=1)
    hours = syllables * copies * SECONDS_PER_SYLLABLE / 3600
    print("plan: %d recordings (%d training copies of each text, about %.1f h of training speech), "
          "held-out variants: %s; calibration variants: %s" % (len(rows), copies, hours, " ".join(held), " ".join(calib)))


# ---------------------------------------------------------------- render

def add_noise(path, snr_db, seed):
    """Adds white noise snr_db below the recording's RMS level (seeded)."""
    with wave.open(path, "rb") as w:
        params = w.getparams()
        x = array.array("h", w.readframes(w.getnframes()))
    if sys.byteorder != "little":
        x.byteswap()
    rms = math.sqrt(sum(v * v for v in x) / len(x)) if len(x) else 0.0
    sigma = rms / (10 ** (snr_db / 20))
    g = random.Random(seed).gauss
    y = array.array("h", (max(-32768, min(32767, round(v + g(0.0, sigma)))) for v in x))
    if sys.byteorder != "little":
        y.byteswap()
    with wave.open(path, "wb") as w:
        w.setparams(params)
        w.writeframes(y.tobytes())


def render_one(job):
    row, spoken_text, wavdir, seed = job
    rid, _, _, variant, speed, pitch, effects, noise = row
    out = os.path.join(wavdir, rid + ".wav")
    if os.path.exists(out):
        return 0
    tmp_raw, tmp = out + ".espeak.wav", out + ".tmp.wav"
    subprocess.run(["espeak-ng", "-v", VOICE + "+" + variant, "-s", str(speed), "-p", str(pitch), "-w", tmp_raw,
                    spoken_text], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # 3 dB of headroom first: espeak-ng's peaks would clip in the resampler.
    chain = ["gain", "-3"] + ([] if effects == "clean" else " ".join(effects.split(",")).split())
    # 0.3 s of silence at both ends, as a microphone recording would have.
    subprocess.run(["sox", "-R", "-D", "-q", "-V1", tmp_raw, "-r", "16000", "-b", "16", "-c", "1", tmp] + chain +
                   ["pad", "0.3", "0.3", "rate", "16000"], check=True)
    if noise:
        add_noise(tmp, int(noise), seed)
    os.remove(tmp_raw)
    os.replace(tmp, out)
    return 1


def cmd_render(a):
    texts = {t[0]: t for t in tsv_read(os.path.join(a.out, "texts.tsv"))}
    plan = tsv_read(os.path.join(a.out, "plan.tsv"))
    wavdir = os.path.join(a.out, "wav")
    os.makedirs(wavdir, exist_ok=True)
    jobs = [(row + [""] * (8 - len(row)), texts[row[1]][4], wavdir, a.seed * 1000003 + i)
            for i, row in enumerate(plan)]
    if a.match:
        jobs = [j for j in jobs if re.match(a.match, j[0][0])]
    if a.limit:
        jobs = jobs[:a.limit]
    done = 0
    with multiprocessing.Pool(a.jobs) as pool:
        for n, made in enumerate(pool.imap(render_one, jobs, chunksize=16), 1):
            done += made
            if n % 1000 == 0:
                print("render: %d/%d" % (n, len(jobs)), flush=True)
    print("render: %d recordings made, %d were there" % (done, len(jobs) - done))


# ---------------------------------------------------------------- lists

def cmd_lists(a):
    texts = {t[0]: t for t in tsv_read(os.path.join(a.out, "texts.tsv"))}
    plan = tsv_read(os.path.join(a.out, "plan.tsv"))
    listdir = os.path.join(a.out, "lists")
    os.makedirs(listdir, exist_ok=True)
    by_split = collections.defaultdict(list)
    for row in plan:
        t = texts[row[1]]
        wav = os.path.join("wav", row[0] + ".wav")
        if os.path.exists(os.path.join(a.out, wav)):
            # audio (relative to the corpus folder), transcript, speaker, CGU path, tones
            by_split[(row[2], t[1])].append((wav, t[3], row[3], t[5], t[6]))
    corpus = [r for (split, _), rows in sorted(by_split.items()) if split != "heldout" for r in rows]
    tsv_write(os.path.join(a.out, "corpus.tsv"), [r[:3] for r in corpus])
    for kind in ("sentence", "single"):
        tsv_write(os.path.join(listdir, "heldout_%s.tsv" % kind), by_split[("heldout", kind)])
    # Closed-set lists of 100 held-out sentences (Big5, one a line).
    held = sorted(t[3] for t in texts.values() if t[1] == "sentence" and t[2] == "heldout")
    for i in range(0, len(held) - 99, 100):
        with open(os.path.join(listdir, "sentences%d.txt" % (i // 100)), "wb") as f:
            f.write(b"".join(s.encode("cp950") + b"\n" for s in held[i:i + 100]))
    print("lists: %d training and calibration recordings, %d held-out sentence recordings, "
          "%d held-out single syllables" %
          (len(corpus), len(by_split[("heldout", "sentence")]), len(by_split[("heldout", "single")])))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("command", choices=["texts", "plan", "render", "lists"])
    ap.add_argument("--out", required=True, help="the corpus folder")
    ap.add_argument("--lexicon", help="folder of mandarin.wpa, with toned/mandarin.tab (texts)")
    ap.add_argument("--seed", type=int, default=16)
    ap.add_argument("--hours", type=float, default=12.0, help="training speech to plan (plan)")
    ap.add_argument("--jobs", type=int, default=1, help="parallel renderers (render)")
    ap.add_argument("--limit", type=int, default=0, help="render only the first N planned lines")
    ap.add_argument("--match", help="render only the recordings whose name matches this regular expression")
    ap.add_argument("--min-chars", type=int, default=4)
    ap.add_argument("--max-chars", type=int, default=14)
    ap.add_argument("--max-sentences", type=int, default=20000)
    ap.add_argument("--syllable-repeats", type=int, default=4)
    ap.add_argument("--list-length", type=int, default=8)
    a = ap.parse_args()
    os.makedirs(a.out, exist_ok=True)
    {"texts": cmd_texts, "plan": cmd_plan, "render": cmd_render, "lists": cmd_lists}[a.command](a)


if __name__ == "__main__":
    main()
