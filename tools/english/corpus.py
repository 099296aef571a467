#!/usr/bin/env python3
"""The steps of the English corpus recipe (run.sh calls them stage by stage).

  corpus.py texts OUT        sentences from WordNet and the fortune files, plus
                             word lists for right-context coverage; held-out
                             sentences for evaluation
  corpus.py voices OUT       the voices of espeak-ng, flite and Festival,
                             grouped into speakers; held-out speakers
  corpus.py plan OUT         the utterance plans: who says what, how fast, how high,
                             and the espeak-ng twins of the training plan
  corpus.py synth OUT SPLIT  synthesise a plan (train until the clean target
                             is reached; eval whole; twins: the espeak-ng
                             twins of the training prefix)
  corpus.py augment OUT      sox copies of the training utterances, and the
                             voice-changed copies of the flite/Festival ones
  corpus.py lists OUT        the final lists: audio path TAB transcript

Every random choice comes from the seed (KEDO_CORPUS_SEED, default 15) and the
item it is about, so a stage that is stopped and started again makes the same
files, and files already made are kept.
"""
import glob
import hashlib
import json
import os
import random
import re
import subprocess
import sys
import tempfile
import wave

SEED = int(os.environ.get("KEDO_CORPUS_SEED", "15"))
HOURS = float(os.environ.get("KEDO_CORPUS_HOURS", "20"))
AUG_COPIES = int(os.environ.get("KEDO_CORPUS_AUG_COPIES", "1"))
# The share of the clean utterances that get augmented copies (drawn per
# utterance from the seed).
AUG_SHARE = float(os.environ.get("KEDO_CORPUS_AUG_SHARE", "1"))
EVAL_SENTENCES = int(os.environ.get("KEDO_CORPUS_EVAL_SENTENCES", "400"))
MIN_CONTEXT = int(os.environ.get("KEDO_CORPUS_MIN_CONTEXT", "5"))
# The share of training utterances given to the flite and Festival voices,
# which are few beside espeak-ng's hundreds of accent and variant pairs.
OTHER_SHARE = float(os.environ.get("KEDO_CORPUS_OTHER_SHARE", "0.65"))
# When set, the training list is balanced between espeak-ng and the other
# engines: every espeak-ng utterance of the plan's prefix and of its espeak-ng
# twins (stage 5 renders them), and flite/Festival utterances drawn from the
# seed so that espeak-ng makes this share of the clean files.
ESPEAK_SHARE = float(os.environ.get("KEDO_CORPUS_ESPEAK_SHARE", "0"))
# Voice-changed copies per clean flite/Festival training file: the same
# words with the vocal tract made shorter or longer (formants moved, pitch
# and duration kept), so that the few speakers of those engines sound like
# more. They are augmentation: outside the espeak-ng balance, listed with
# the clean files the balance kept.
VOICE_COPIES = int(os.environ.get("KEDO_CORPUS_VOICE_COPIES", "0"))
SYNTH_JOBS = int(os.environ.get("KEDO_SYNTH_JOBS", "2"))
HERE = os.path.dirname(os.path.abspath(__file__))


def rng(*key):
    """A random generator for one item, fixed by the seed and the item's key."""
    h = hashlib.sha256(("%d|" % SEED + "|".join(map(str, key))).encode()).digest()
    return random.Random(int.from_bytes(h[:8], "little"))


def write_atomic(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path + ".tmp", "w", encoding="latin-1") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


# ---------------------------------------------------------------- lexicon
def read_wpa(path, into):
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("%"):
                continue
            word, pas = line.split("\t")
            into[word] = pas.split("#")
    return into


def lexicon(out):
    lex = read_wpa(os.path.join(out, "lexicon", "english.wpa"), {})
    return read_wpa(os.path.join(HERE, "english_addenda.wpa"), lex)


def contexts(pa):
    """The right-context models of one pronunciation: p+next, last p+sil."""
    ph = pa.split("_")
    return [ph[i] + "+" + (ph[i + 1] if i + 1 < len(ph) else "sil") for i in range(len(ph))]


# ---------------------------------------------------------------- texts
def normalise(s):
    """The sentence as the engine's English normalisation leaves it, or None
    when it holds digits or other things better left out of a corpus."""
    s = s.lower()
    for a, b in (("\u2019", "'"), ("\u2018", "'"), ("\u201c", " "), ("\u201d", " "), ("\u2014", " "),
                 ("\u2013", " "), ("-", " ")):
        s = s.replace(a, b)
    if re.search(r"[0-9&@%+#_]", s):
        return None
    s = re.sub(r"[^a-z' ]", " ", s)
    words = [w.strip("'") for w in s.split()]
    words = [w for w in words if w]
    return " ".join(words)


def wordnet_examples():
    for path in sorted(glob.glob("/usr/share/wordnet/data.*")):
        with open(path, encoding="latin-1") as f:
            for line in f:
                if line.startswith("  "):
                    continue   # licence header
                gloss = line.split("|", 1)[1] if "|" in line else ""
                for ex in re.findall(r'"([^"]+)"', gloss):
                    yield ex


def fortunes():
    for path in sorted(glob.glob("/usr/share/games/fortunes/*")):
        if "." in os.path.basename(path):
            continue   # .dat indices and .u8 links
        with open(path, encoding="latin-1") as f:
            for block in f.read().split("\n%\n"):
                for sentence in re.split(r"(?<=[.!?])\s+", " ".join(block.split())):
                    yield sentence


def cmd_texts(out):
    lex = lexicon(out)
    seen, sentences = set(), []
    for source in (wordnet_examples(), fortunes()):
        for raw in source:
            s = normalise(raw)
            if not s or s in seen:
                continue
            words = s.split()
            if not 3 <= len(words) <= 16 or any(w not in lex for w in words):
                continue
            seen.add(s)
            sentences.append(s)
    sentences.sort()
    rng("texts").shuffle(sentences)
    evaluation = sorted(sentences[:EVAL_SENTENCES])
    train = sentences[EVAL_SENTENCES:]
    # Right contexts the training sentences give too rarely, over every
    # pronunciation of the lexicon, get word lists: the shortest words that
    # hold them, six to a line.
    count = {}
    for s in train:
        for w in s.split():
            for pa in lex[w]:
                for c in contexts(pa):
                    count[c] = count.get(c, 0) + 1
    holders = {}
    for w in sorted(lex, key=lambda w: (len(w), w)):
        if "'" in w:
            continue
        for pa in lex[w]:
            for c in contexts(pa):
                holders.setdefault(c, []).append(w)
    picked = []
    for c in sorted(holders):
        need = MIN_CONTEXT - count.get(c, 0)
        for w in holders[c][:max(0, need)]:
            picked.append(w)
            for pa in lex[w]:
                for c2 in contexts(pa):
                    count[c2] = count.get(c2, 0) + 1
    rng("wordlists").shuffle(picked)
    wordlists = [" ".join(picked[i:i + 6]) for i in range(0, len(picked), 6)]
    write_atomic(os.path.join(out, "texts", "train.txt"), "\n".join(train + wordlists) + "\n")
    write_atomic(os.path.join(out, "texts", "eval.txt"), "\n".join(evaluation) + "\n")
    missing = sorted(c for c in holders if count.get(c, 0) < MIN_CONTEXT)
    write_atomic(os.path.join(out, "texts", "contexts.json"),
                 json.dumps({"contexts": len(holders), "below_minimum": missing}, indent=1) + "\n")
    print("texts: %d training sentences, %d word lists, %d held-out; %d right contexts, %d below %d"
          % (len(train), len(wordlists), len(evaluation), len(holders), len(missing), MIN_CONTEXT))


# ---------------------------------------------------------------- voices
ESPEAK_ACCENTS = ["en-us", "en-gb", "en-gb-x-rp", "en-gb-scotland", "en-gb-x-gbclan", "en-gb-x-gbcwmd", "en-029"]
ESPEAK_VARIANTS = ["m1", "m2", "m3", "m4", "m5", "m6", "m7", "f1", "f2", "f3", "f4", "f5",
                   "klatt", "klatt2", "klatt3", "Andy", "Annie", "Alex", "Alicia", "Ed", "Gene", "Lee", "Mike",
                   "Paul", "Steph", "Storm", "Zac", "anika", "norbert", "victor"]
# flite's talking clock: a limited-domain voice that says times of day only.
# It keeps its place in the voice list (so the plan's draws stay as they
# were), and its utterances go to the full voice of the same speaker.
LIMITED_DOMAIN = {"awb_time": "awb"}
# Speakers held out of training in every engine.
HELD_OUT = ["rms", "ked", "espeak-en-029-f3", "espeak-en-gb-scotland-m4"]


def cmd_voices(out):
    voices = []   # speaker, engine, voice, split
    for accent in ESPEAK_ACCENTS:
        for variant in ESPEAK_VARIANTS:
            voices.append(("espeak-%s-%s" % (accent, variant), "espeak", "%s+%s" % (accent, variant)))
    have = subprocess.run(["flite", "-lv"], capture_output=True, text=True).stdout.split(":")[-1].split()
    for v in have:
        speaker = {"kal16": "kal", "awb_time": "awb"}.get(v, v)
        voices.append((speaker, "flite", v))
    for path in sorted(glob.glob("/usr/share/festival/voices/english/*") + glob.glob("/usr/share/festival/voices/us/*")):
        v = os.path.basename(path)
        speaker = v.split("_")[0] if not v.startswith("cmu_us_") else v.split("_")[2]
        voices.append((speaker, "festival", v))
    lines = ["%s\t%s\t%s\t%s" % (s, e, v, "eval" if s in HELD_OUT else "train") for s, e, v in voices]
    write_atomic(os.path.join(out, "lists", "voices.tsv"), "\n".join(lines) + "\n")
    speakers = sorted(set(s for s, _, _ in voices))
    print("voices: %d voices, %d speakers, held out: %s" % (len(voices), len(speakers),
                                                            " ".join(s for s in HELD_OUT if s in speakers)))


def read_voices(out, split):
    with open(os.path.join(out, "lists", "voices.tsv")) as f:
        rows = [l.rstrip("\n").split("\t") for l in f if l.strip()]
    return [r for r in rows if r[3] == split]


# ---------------------------------------------------------------- plans
def plan_rows(split, texts, voices, rounds, other_share=None):
    """The utterance rows of one split (uid, speaker, engine, voice, rate,
    pitch, text) and, for training, the espeak-ng twins: for every row the
    flite/Festival share took from an espeak-ng voice, the row as that voice
    would have said it (same uid, text, rate and pitch)."""
    share = OTHER_SHARE if other_share is None else other_share
    others = [v for v in voices if v[1] != "espeak"]
    rows, twins = [], []
    # Train: the texts again and again, each round in a new order and by
    # new voices, until synth reaches the target. Eval: each held-out
    # sentence once, the held-out voices in turn.
    for r in range(rounds):
        order = list(range(len(texts)))
        rng("plan", split, r).shuffle(order)
        for k, t in enumerate(order):
            g = rng("utt", split, r, t)
            speaker, engine, voice, _ = voices[(k + r) % len(voices)] if split == "eval" else g.choice(voices)
            rate = round(g.uniform(0.85, 1.2), 2)
            pitch = g.randint(-3, 3)
            uid = "%s-%d-%05d" % (split, r, t)
            if split == "train" and others:
                # Drawn apart from the rest, so the espeak-ng utterances
                # keep their voice, rate and pitch whatever the share.
                w = rng("other", split, r, t)
                if w.random() < share:
                    if engine == "espeak":
                        twins.append((uid, speaker, engine, voice, rate, pitch, texts[t]))
                    speaker, engine, voice, _ = w.choice(others)
            voice = LIMITED_DOMAIN.get(voice, voice)
            rows.append((uid, speaker, engine, voice, rate, pitch, texts[t]))
    return rows, twins


def plan_lines(rows):
    return "".join("%s\t%s\t%s\t%s\t%.2f\t%d\t%s\n" % row for row in rows)


def cmd_plan(out):
    def lines_of(name):
        with open(os.path.join(out, "texts", name), encoding="latin-1") as f:
            return [l.rstrip("\n") for l in f if l.strip()]
    for split, texts, rounds in (("train", lines_of("train.txt"), 3), ("eval", lines_of("eval.txt"), 1)):
        voices = read_voices(out, split)
        rows, twins = plan_rows(split, texts, voices, rounds)
        write_atomic(os.path.join(out, "lists", "plan_%s.tsv" % split), plan_lines(rows))
        if split == "train":
            write_atomic(os.path.join(out, "lists", "plan_train_twins.tsv"), plan_lines(twins))
        print("plan %s: %d utterances over %d voices%s" % (split, len(rows), len(voices),
                                                          ", %d espeak-ng twins" % len(twins) if twins else ""))


def synth_one(engine, voice, rate, pitch, text, dest):
    """Synthesises text into dest as 16 kHz mono 16-bit WAV."""
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "raw.wav")
        if engine == "espeak":
            subprocess.run(["espeak-ng", "-v", voice, "-s", str(int(160 * rate)), "-p", str(50 + 8 * pitch),
                            "-w", raw, text], check=True, capture_output=True)
        elif engine == "flite":
            subprocess.run(["flite", "-voice", voice, "--setf", "duration_stretch=%.2f" % (1 / rate),
                            "-t", text, "-o", raw], check=True, capture_output=True)
        else:
            txt = os.path.join(tmp, "t.txt")
            with open(txt, "w", encoding="latin-1") as f:
                f.write(text + "\n")
            subprocess.run(["text2wave", "-eval", "(voice_%s)" % voice, "-eval",
                            "(Parameter.set 'Duration_Stretch %.2f)" % (1 / rate), txt, "-o", raw],
                           check=True, capture_output=True)
        effects = ["pitch", str(pitch * 40)] if engine != "espeak" and pitch else []
        subprocess.run(["sox", "-R", raw, "-r", "16000", "-c", "1", "-b", "16", "-t", "wav", dest + ".part"] + effects +
                       ["norm", "-3"], check=True, capture_output=True)
        os.replace(dest + ".part", dest)


def seconds(path):
    with wave.open(path) as w:
        return w.getnframes() / float(w.getframerate())


def read_plan(out, split):
    """The rows of plan_SPLIT.tsv; split "twins" reads the espeak-ng twins of
    the rows in the training plan's prefix (see planned)."""
    name = "train_twins" if split == "twins" else split
    with open(os.path.join(out, "lists", "plan_%s.tsv" % name), encoding="latin-1") as f:
        rows = [l.rstrip("\n").split("\t") for l in f if l.strip()]
    if split == "twins":
        prefix = set(row[0] for row in planned(out, "train"))
        rows = [row for row in rows if row[0] in prefix]
    return rows


def wav_path(out, split, uid, speaker):
    return os.path.join(out, "wav", "train" if split == "twins" else split, speaker, uid + ".wav")


def target_seconds(split):
    return HOURS * 3600 / (1 + AUG_COPIES) if split == "train" else float("inf")


def planned(out, split):
    """The plan's utterances that make the corpus: in plan order, those
    synthesised, until the clean target is reached. Files beyond it (or of
    an earlier plan) are left out."""
    total, rows = 0.0, []
    for row in read_plan(out, split):
        if total >= target_seconds(split):
            break
        path = wav_path(out, split, row[0], row[1])
        if os.path.exists(path):
            rows.append(row + [path])
            total += seconds(path)
    return rows


def cmd_synth(out, split):
    """Synthesises the plan in order on KEDO_SYNTH_JOBS workers until the
    clean target is reached (the lists keep only the plan-order prefix, so the
    corpus does not depend on the number of workers)."""
    from concurrent.futures import ThreadPoolExecutor
    target = target_seconds(split)
    total, made = 0.0, 0

    def one(row):
        uid, speaker, engine, voice, rate, pitch, text = row
        dest = wav_path(out, split, uid, speaker)
        if os.path.exists(dest):
            return dest, False
        os.makedirs(os.path.dirname(dest), exist_ok=True)
        try:
            synth_one(engine, voice, float(rate), int(pitch), text, dest)
        except subprocess.CalledProcessError as e:
            print("synth: %s (%s %s) failed: %s" % (uid, engine, voice, e.stderr.decode(errors="replace")[:200]),
                  flush=True)
            return None, False
        return dest, True

    plan = iter(read_plan(out, split))
    with ThreadPoolExecutor(max(1, SYNTH_JOBS)) as pool:
        window = []
        while True:
            while len(window) < 4 * max(1, SYNTH_JOBS) and total < target:
                row = next(plan, None)
                if row is None:
                    break
                window.append(pool.submit(one, row))
            if not window or total >= target:
                break
            dest, new = window.pop(0).result()
            if dest:
                total += seconds(dest)
            if new:
                made += 1
                if made % 200 == 0:
                    print("synth %s: %d made, %.2f h so far" % (split, made, total / 3600), flush=True)
        for f in window:
            f.result()
    print("synth %s: %.2f h (%d new files)" % (split, total / 3600, made))


# ---------------------------------------------------------------- augmentation
def augment_chain(g):
    """Two sox effects drawn from the kinds the corpus mixes (noise is added
    separately); returns (effects, noise SNR in dB or None, description)."""
    kinds = g.sample(["tempo", "speed", "pitch", "reverb", "telephone", "level", "noise"], 2)
    effects, snr = [], None
    for k in kinds:
        if k == "tempo":
            effects += ["tempo", "%.2f" % g.uniform(0.85, 1.15)]
        elif k == "speed":
            effects += ["speed", "%.2f" % g.uniform(0.9, 1.1), "rate", "16000"]
        elif k == "pitch":
            effects += ["pitch", str(g.randint(-300, 300))]
        elif k == "reverb":
            effects += ["reverb", str(g.randint(20, 70)), "50", str(g.randint(30, 100))]
        elif k == "telephone":
            effects += ["sinc", "300-3400", "rate", "8000", "rate", "16000"]
        elif k == "level":
            effects += ["gain", "%.1f" % g.uniform(-20, 0)]
        else:
            snr = g.uniform(10, 30)
    return effects, snr, "+".join(kinds)


def add_noise(path, snr, g):
    import numpy as np
    with wave.open(path) as w:
        params = w.getparams()
        x = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)
    colour = g.choice(["white", "pink", "brown"])
    n = np.random.default_rng(g.randint(0, 2**31)).standard_normal(len(x))
    if colour != "white":
        spectrum = np.fft.rfft(n)
        f = np.arange(len(spectrum)) + 1.0
        spectrum /= np.sqrt(f) if colour == "pink" else f
        n = np.fft.irfft(spectrum, len(x))
    speech = np.mean(x ** 2) + 1e-9
    n *= np.sqrt(speech / (np.mean(n ** 2) + 1e-12) / 10 ** (snr / 10))
    y = np.clip(x + n, -32768, 32767).astype("<i2")
    with wave.open(path, "wb") as w:
        w.setparams(params)
        w.writeframes(y.tobytes())
    return colour


def augmented(uid):
    """Whether the clean utterance uid gets augmented copies."""
    return AUG_SHARE >= 1 or rng("augmented", uid).random() < AUG_SHARE


# The tract-length factor of a voice-changed copy lies in one of these
# bands: below them the copy would sound like the speaker, above them it
# breaks up.
VOICE_BANDS = ((0.88, 0.96), (1.04, 1.12))


def voice_change(uid, c):
    """The voice change of copy c of utterance uid: (tract factor k, pitch
    change in cents). Consecutive copies take the shorter and the longer
    tract in turn (which comes first is drawn), so two copies differ."""
    first = rng("voice", uid).randrange(2)
    g = rng("voice", uid, c)
    lo, hi = VOICE_BANDS[(first + c) % 2]
    return round(g.uniform(lo, hi), 3), g.randint(-200, 200)


def voice_copy(src, dest, k, cents):
    """Renders src into dest as another apparent speaker: sox resamples
    (formants, pitch and duration all scaled by k), rubberband's finer engine
    then brings pitch and duration back (times the pitch change) while
    keeping the formants where the resampling put them. Both repeat their
    bytes."""
    with tempfile.TemporaryDirectory() as tmp:
        a, b = os.path.join(tmp, "a.wav"), os.path.join(tmp, "b.wav")
        subprocess.run(["sox", "-R", src, a, "speed", "%.3f" % k, "rate", "16000"], check=True, capture_output=True)
        subprocess.run(["rubberband", "-3", "-q", "-F", "-f", "%.6f" % (2 ** (cents / 1200.0) / k), "-t", "%.3f" % k,
                        a, b], check=True, capture_output=True)
        subprocess.run(["sox", "-R", b, "-r", "16000", "-c", "1", "-b", "16", "-t", "wav", dest + ".part",
                        "norm", "-3"], check=True, capture_output=True)
        os.replace(dest + ".part", dest)


def voice_path(out, uid, speaker, c):
    return os.path.join(out, "wav", "voice", speaker, "%s-v%d.wav" % (uid, c))


def cmd_augment(out):
    made = 0
    log = open(os.path.join(out, "lists", "augment.log"), "a")
    prefix, _, keep = kept_clean(out)
    for row in prefix:
        if row[2] == "espeak" or (keep is not None and (row[0], row[1]) not in keep):
            continue
        for c in range(VOICE_COPIES):
            dest = voice_path(out, row[0], row[1], c)
            if os.path.exists(dest):
                continue
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            k, cents = voice_change(row[0], c)
            voice_copy(row[-1], dest, k, cents)
            log.write("%s\tvoice tract %.3f pitch %+d\n" % (os.path.basename(dest), k, cents))
            log.flush()
            made += 1
            if made % 500 == 0:
                print("augment: %d voice-changed copies so far" % made, flush=True)
    for row in prefix:
        uid, src = row[0], row[-1]
        if not augmented(uid):
            continue
        for c in range(AUG_COPIES):
            g = rng("augment", uid, c)
            effects, snr, desc = augment_chain(g)
            dest = os.path.join(out, "wav", "augmented", os.path.basename(os.path.dirname(src)),
                                "%s-a%d.wav" % (uid, c))
            if os.path.exists(dest):
                continue
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            tmp = dest + ".part"
            subprocess.run(["sox", "-R", src, "-b", "16", "-t", "wav", tmp] + effects, check=True, capture_output=True)
            if snr is not None:
                desc += " %s %.1f dB" % (add_noise(tmp, snr, g), snr)
            os.replace(tmp, dest)
            log.write("%s\t%s\n" % (os.path.basename(dest), desc))
            log.flush()
            made += 1
    log.close()
    print("augment: %d new files" % made)


# ---------------------------------------------------------------- lists
def balance(rows, share, g):
    """The clean rows to list when espeak-ng is to make the given share of
    them: every espeak-ng row and as many of the others as that share asks
    (all of them if there are too few), drawn with g; in the given order."""
    espeak = [i for i, row in enumerate(rows) if row[2] == "espeak"]
    others = [i for i, row in enumerate(rows) if row[2] != "espeak"]
    g.shuffle(others)
    keep = set(espeak + others[:int(round(len(espeak) * (1 - share) / share))])
    return [row for i, row in enumerate(rows) if i in keep]


def kept_clean(out, split="train"):
    """The clean files of a split: the plan's prefix, the espeak-ng twins
    rendered for it, and (with KEDO_CORPUS_ESPEAK_SHARE) the (uid, speaker)
    pairs the balance keeps, else None for all."""
    prefix, twins, keep = planned(out, split), [], None
    if split == "train" and ESPEAK_SHARE > 0:
        twins = [row + [wav_path(out, "twins", row[0], row[1])] for row in read_plan(out, "twins")]
        twins = [row for row in twins if os.path.exists(row[-1])]
        keep = set((row[0], row[1]) for row in balance(prefix + twins, ESPEAK_SHARE, rng("balance")))
    return prefix, twins, keep


def cmd_lists(out):
    for split in ("train", "eval"):
        prefix, twins, keep = kept_clean(out, split)
        rows, total, engines = [], 0.0, {}
        for n, row in enumerate(prefix + twins):
            uid, speaker, engine, text, path = row[0], row[1], row[2], row[6], row[-1]
            copies = [path] if keep is None or (uid, speaker) in keep else []
            if split == "train" and copies and engine != "espeak":
                copies += [voice_path(out, uid, speaker, c) for c in range(VOICE_COPIES)]
            # Augmented copies: of the plan's own rows, whichever clean files
            # the balance kept.
            if split == "train" and n < len(prefix) and augmented(uid):
                copies += [os.path.join(out, "wav", "augmented", speaker, "%s-a%d.wav" % (uid, c))
                           for c in range(AUG_COPIES)]
            for p in copies:
                if os.path.exists(p):
                    rows.append("%s\t%s\t%s" % (p, speaker, text))
                    s = seconds(p)
                    total += s
                    kind = ("espeak-ng" if engine == "espeak" else "flite/Festival") if p == path else \
                        "voice-changed" if os.path.basename(os.path.dirname(os.path.dirname(p))) == "voice" else "augmented"
                    engines[kind] = engines.get(kind, 0.0) + s
        write_atomic(os.path.join(out, "lists", "%s.tsv" % split), "\n".join(rows) + "\n")
        print("lists %s: %d utterances, %.2f h (%s; path TAB speaker TAB text in lists/%s.tsv)"
              % (split, len(rows), total / 3600,
                 ", ".join("%s %.2f h" % (k, v / 3600) for k, v in sorted(engines.items())), split))


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    cmd, out = sys.argv[1], sys.argv[2]
    if cmd == "texts":
        cmd_texts(out)
    elif cmd == "voices":
        cmd_voices(out)
    elif cmd == "plan":
        cmd_plan(out)
    elif cmd == "synth":
        cmd_synth(out, sys.argv[3])
    elif cmd == "augment":
        cmd_augment(out)
    elif cmd == "lists":
        cmd_lists(out)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
