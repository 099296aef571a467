#!/usr/bin/env python3
"""Remakes the bundled demonstration data set under data/kedoData.

For English and for Chinese (Big5) it writes the lexicon files, the scoring
files, the four parameter files and the sample recordings, and trains a small
model set on speech synthesised with espeak-ng:

  1. every sentence of the language's list is spoken by espeak-ng at three
     speeds (the training takes), converted by sox to 16 kHz 16-bit mono,
     padded with 0.3 s of faint noise at both ends;
  2. `kedo features` turns each take into the engine's own MFCC features;
  3. one Gaussian per emitting state (three per phone) is estimated by a few
     rounds of forced alignment along the known phone sequence (segmental
     k-means, starting from an even split of the voiced stretch).

The sample recordings are spoken at a speed and pitch that no training take
uses. The models know only this synthetic voice: the scores show the
pipeline at work, they do not measure pronunciation.

Usage: tools/make_demo_data.py [--kedo build/kedo] [--out data/kedoData]
Needs python3, espeak-ng (with the cmn voice) and sox. Pure Python; the whole
run takes about 15 s. Every run with the same tools writes the same bytes.
"""

import argparse
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

SAMPLE_RATE = 16000
PAD_SECONDS = 0.3
NOISE_SD = 20.0          # faint noise so that the pauses are not digital silence
TRAIN_SPEEDS = (130, 150, 175)
SAMPLE_SPEED, SAMPLE_PITCH = 160, 42
ROUNDS = 6
EMITTING = 3
DIM = 39
STREAM_WIDTH = 13

# ---------------------------------------------------------------------------
# English: words and their phones (PAs joined by "#"), the sentences.
ENGLISH_WPA = {
    "a": "ax#ey",
    "book": "b_uh_k",
    "good": "g_uh_d",
    "hello": "hh_ax_l_ow#hh_eh_l_ow",
    "i": "ay",
    "like": "l_ay_k",
    "morning": "m_ao_r_n_ih_ng",
    "read": "r_iy_d",
    "tea": "t_iy",
    "the": "dh_ax#dh_iy",
    "to": "t_uw",
    "world": "w_er_l_d",
}
# Corrections and additions merged over the word list by the engine.
ENGLISH_ADDENDA = [("read", "r_iy_d#r_eh_d"), ("kedo", "k_ey_d_ow")]
ENGLISH_SENTENCE = "i like to read a good book"
ENGLISH_LIST = ["hello world", "good morning", "i like tea", "read the book", ENGLISH_SENTENCE]
ENGLISH_UNVOICED = ["hh+sil", "k+sil", "t+sil"]

# Chinese: pinyin table rows (hanyu, bopomofo, tongyong, CGU), characters with
# their rows, hanyu spellings, tones and a frequency, CGU syllables and models.
PINYIN_ROWS = [
    ("zhong", "ㄓㄨㄥ", "jhong", "jung"), ("wen", "ㄨㄣ", "wun", "wen"), ("hao", "ㄏㄠ", "hao", "hau"),
    ("xing", "ㄒㄧㄥ", "sing", "shing"), ("hang", "ㄏㄤ", "hang", "hang"), ("ni", "ㄋㄧ", "ni", "ni"),
    ("chang", "ㄔㄤ", "chang", "chang"), ("zhang", "ㄓㄤ", "jhang", "jang"), ("xu", "ㄒㄩ", "syu", "shiu"),
    ("yin", "ㄧㄣ", "yin", "yin"), ("wo", "ㄨㄛ", "wo", "wo"), ("xue", "ㄒㄩㄝ", "syue", "shiue"),
    ("hen", "ㄏㄣ", "hen", "hen"),
]
CHINESE_WPA = [  # character, table rows, hanyu, tones, frequency
    ("中", "1", "zhong1", "1", "9"), ("文", "2", "wen2", "2", "5"), ("好", "3,3", "hao3,hao4", "3,4", "7"),
    ("行", "4,5,4", "xing2,hang2,xing4", "2,2,4", "6"), ("你", "6", "ni3", "3", "8"),
    ("長", "7,8", "chang2,zhang3", "2,3", "4"), ("許", "9", "xu3", "3", "2"), ("銀", "10", "yin2", "2", "3"),
    ("我", "11", "wo3", "3", "9"), ("學", "12", "xue2", "2", "6"), ("很", "13", "hen3", "3", "7"),
]
CHINESE_PAM = {
    "chang": "ch ang", "hang": "h ang", "hau": "h au", "hen": "h en", "jang": "j ang", "jung": "j ung",
    "ni": "n i", "shing": "sh ing", "shiu": "sh iu", "shiue": "sh iue", "wen": "w en", "wo": "w o",
    "yin": "y in", "sil": "sil", "sp": "sp", "fillerC": "fillerC", "fillerV": "fillerV",
}
CHINESE_INITIALS = {"ch", "h", "j", "n", "sh", "w", "y"}
CHINESE_SENTENCE = "我學中文"
# Each sentence with the syllable of every character that the training takes read.
CHINESE_LIST = [("你好", "ni hau"), ("銀行", "yin hang"), ("許行", "shiu shing"), ("很長", "hen chang"),
                ("我學中文", "wo shiue jung wen"), ("中文很好", "jung wen hen hau")]
CHINESE_UNVOICED = ["ch", "h", "j", "sh"]

RANK2SCORE = "0.05 0.5 0\n"
# incomplete path, over-short, overlong, long pause, length ratio (reported only),
# loud pause frames, and the seventh reason
DISCOUNT = "0.5 0.9 0.9 0.9 1 0.9 0.9\n"
CM_BELL = "[0.1 0.5 0]"

FEATURE_CONFIG = """# MFCC features of every run: 12 cepstra, log energy, first and second
# differences (39 values) from 20 ms Hamming windows every 10 ms.
SOURCERATE = 625
ZMEANSOURCE = T
TARGETKIND = MFCC_E_D_A
TARGETRATE = 100000
WINDOWSIZE = 200000
USEHAMMING = T
PREEMCOEF = 0.975
NUMCHANS = 26
CEPLIFTER = 22
NUMCEPS = 12
ENORMALISE = T
ESCALE = 0.1
DELTAWINDOW = 2
ACCWINDOW = 2
SILFLOOR = 50
"""


def big5(text):
    return text.encode("big5")


def write_bytes(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def write_text(path, text):
    write_bytes(path, text.encode("ascii"))


# ---------------------------------------------------------------------------
# Audio

def speak(text, voice, speed, pitch, workdir, name, seed):
    """espeak-ng speech as 16 kHz 16-bit mono samples with padded, noisy pauses."""
    raw22 = os.path.join(workdir, name + ".espeak.wav")
    raw16 = os.path.join(workdir, name + ".16k.wav")
    subprocess.run(["espeak-ng", "-v", voice, "-s", str(speed), "-p", str(pitch), "-w", raw22, text],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["sox", "-D", "-R", raw22, "-r", str(SAMPLE_RATE), "-b", "16", "-c", "1", raw16], check=True)
    with wave.open(raw16, "rb") as w:
        frames = w.readframes(w.getnframes())
    speech = list(struct.unpack("<%dh" % (len(frames) // 2), frames))
    pad = [0] * int(PAD_SECONDS * SAMPLE_RATE)
    rng = random.Random(seed)
    out = []
    for v in pad + speech + pad:
        out.append(max(-32768, min(32767, int(round(v + rng.gauss(0.0, NOISE_SD))))))
    return out


def write_wav(path, samples):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(SAMPLE_RATE)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def features(kedo, config, wav_path, workdir):
    out = os.path.join(workdir, "take.fea")
    run = subprocess.run([kedo, "features", "--config", config, wav_path, out],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if run.returncode != 0:
        sys.exit("make_demo_data: %s features failed: %s" % (kedo, run.stderr.strip()))
    rows = []
    with open(out) as f:
        for line in f:
            if line.strip():
                rows.append([float(v) for v in line.split()])
    if not rows or len(rows[0]) != DIM:
        sys.exit("make_demo_data: unexpected features from " + kedo)
    return rows


# ---------------------------------------------------------------------------
# Training: one diagonal Gaussian per emitting state, segmental k-means.

class Gaussian:
    def __init__(self, mean, var):
        self.mean = mean
        self.inv = [1.0 / v for v in var]
        self.var = var
        self.const = sum(math.log(2.0 * math.pi * v) for v in var)

    def loglike(self, x):
        s = self.const
        for xv, m, i in zip(x, self.mean, self.inv):
            d = xv - m
            s += d * d * i
        return -0.5 * s


class Stats:
    def __init__(self):
        self.n = 0
        self.s = [0.0] * DIM
        self.s2 = [0.0] * DIM

    def add(self, x):
        self.n += 1
        for k, v in enumerate(x):
            self.s[k] += v
            self.s2[k] += v * v

    def merge(self, other):
        self.n += other.n
        for k in range(DIM):
            self.s[k] += other.s[k]
            self.s2[k] += other.s2[k]

    def gaussian(self, floor):
        mean = [v / self.n for v in self.s]
        var = [max(self.s2[k] / self.n - mean[k] * mean[k], floor[k]) for k in range(DIM)]
        return Gaussian(mean, var)


def initial_alignment(rows, chain):
    """Silence states over the quiet ends, an even split of the rest."""
    energy = [r[12] for r in rows]
    lo, hi = min(energy), max(energy)
    voiced = [t for t, e in enumerate(energy) if e > lo + 0.4 * (hi - lo)]
    first, last = (voiced[0], voiced[-1]) if voiced else (0, len(rows) - 1)
    inner = chain[EMITTING:-EMITTING]
    align = []

    def spread(begin, end, states):
        n = end - begin
        for t in range(begin, end):
            align.append(states[min(len(states) - 1, (t - begin) * len(states) // max(n, 1))])

    first = max(first, EMITTING)
    last = min(last, len(rows) - 1 - EMITTING)
    spread(0, first, chain[:EMITTING])
    spread(first, last + 1, inner)
    spread(last + 1, len(rows), chain[-EMITTING:])
    return align


def forced_alignment(rows, chain, gauss):
    """Viterbi path through the left-to-right chain of states; one state per frame."""
    T, S = len(rows), len(chain)
    keys = set(chain)
    stay, move = math.log(0.6), math.log(0.4)
    neg = -1e30
    prev = [neg] * S
    back = []
    for t, x in enumerate(rows):
        ll = {key: gauss[key].loglike(x) for key in keys}
        cur = [neg] * S
        bp = [0] * S
        for s in range(S):
            if t == 0:
                if s == 0:
                    cur[0] = ll[chain[0]]
                continue
            a = prev[s] + stay
            b = prev[s - 1] + move if s > 0 else neg
            if b > a:
                cur[s], bp[s] = b + ll[chain[s]], s - 1
            else:
                cur[s], bp[s] = a + ll[chain[s]], s
        back.append(bp)
        prev = cur
    s = S - 1
    path = [0] * T
    for t in range(T - 1, -1, -1):
        path[t] = chain[s]
        s = back[t][s]
    return path


def state_stats(takes, aligns):
    stats = {}
    for (rows, _), align in zip(takes, aligns):
        for x, key in zip(rows, align):
            stats.setdefault(key, Stats()).add(x)
    return stats


def train(takes, model_names, pooled):
    """takes: list of (feature rows, phone list); pooled: model -> the models
    whose frames it shares. Returns model -> [(Gaussian, self-loop, frames)]
    for each emitting state."""
    all_stats = Stats()
    for rows, _ in takes:
        for r in rows:
            all_stats.add(r)
    floor = [0.05 * v for v in all_stats.gaussian([1e-6] * DIM).var]
    chains = []
    for rows, phones in takes:
        chain = [(p, j) for p in ["sil"] + phones + ["sil"] for j in range(EMITTING)]
        if len(chain) > len(rows):
            sys.exit("make_demo_data: a take is too short for its phones")
        chains.append(chain)
    aligns = [initial_alignment(rows, chain) for (rows, _), chain in zip(takes, chains)]
    for _ in range(ROUNDS - 1):
        gauss = {key: st.gaussian(floor) for key, st in state_stats(takes, aligns).items()}
        aligns = [forced_alignment(rows, chain, gauss) for (rows, _), chain in zip(takes, chains)]
    stats = state_stats(takes, aligns)
    visits = {}  # how often each state is entered, for its mean duration
    for align in aligns:
        for t, key in enumerate(align):
            if t == 0 or align[t - 1] != key:
                visits[key] = visits.get(key, 0) + 1
    models = {}
    for name in model_names:
        states = []
        for j in range(EMITTING):
            if name in pooled:
                st = Stats()
                for member in pooled[name]:
                    if (member, j) in stats:
                        st.merge(stats[(member, j)])
                duration = 2.0
            elif (name, j) in stats:
                st = stats[(name, j)]
                duration = st.n / visits[(name, j)]
            else:
                sys.exit("make_demo_data: no training sentence uses the model " + name)
            self_loop = min(0.95, max(0.3, 1.0 - 1.0 / max(duration, 1.0)))
            states.append((st.gaussian(floor), self_loop, st.n))
        models[name] = states
    return models


def fmt(v):
    return "%.6g" % v


def macro_text(models):
    out = ["~o", "<STREAMINFO> 3 13 13 13", "<VECSIZE> 39 <NULLD><MFCC_E_D_A><DIAGC>"]
    for name in sorted(models, key=lambda n: n.encode()):
        states = models[name]
        out += ['~h "%s"' % name, "<BEGINHMM>", "<NUMSTATES> %d" % (EMITTING + 2)]
        for j, (g, _, _) in enumerate(states):
            out += ["<STATE> %d" % (j + 2), "<SWEIGHTS> 3", " 1.0 1.0 1.0"]
            for s in range(3):
                lo, hi = s * STREAM_WIDTH, (s + 1) * STREAM_WIDTH
                const = sum(math.log(2.0 * math.pi * v) for v in g.var[lo:hi])
                out += ["<STREAM> %d" % (s + 1), "<MEAN> 13", " " + " ".join(fmt(v) for v in g.mean[lo:hi]),
                        "<VARIANCE> 13", " " + " ".join(fmt(v) for v in g.var[lo:hi]), "<GCONST> " + fmt(const)]
        n = EMITTING + 2
        trans = [[0.0] * n for _ in range(n)]
        trans[0][1] = 1.0
        for j, (_, loop, _) in enumerate(states):
            trans[j + 1][j + 1] = loop
            trans[j + 1][j + 2] = 1.0 - loop
        out.append("<TRANSP> %d" % n)
        out += [" " + " ".join(fmt(v) for v in row) for row in trans]
        out.append("<ENDHMM>")
    return "\n".join(out) + "\n"


def count_lines(models):
    """Model count file: the frames each model was trained on (at least 1)."""
    names = sorted(models, key=lambda n: n.encode())
    return "".join("%s\t%d\n" % (n, max(1, sum(f for _, _, f in models[n]))) for n in names)


def cm_lines(models):
    names = sorted(models, key=lambda n: n.encode())
    head = "% model\tindex\tframes\t-\t-\tbell [a b c] of the rank ratio\n"
    return head + "".join("%s\t%d\t%d\t0\t0\t%s\n" % (n, i, sum(f for _, _, f in models[n]), CM_BELL)
                          for i, n in enumerate(names))


# ---------------------------------------------------------------------------
# Parameter files

def prm(title, lines):
    return "% " + title + "\n" + "\n".join(lines) + "\n"


def common_keys(lang):
    return [
        "featureConfigFile = kedoData/features.cfg",
        "macFile = kedoData/%s/models.mac" % lang,
        "modelCountFile = kedoData/%s/models.cnt" % lang,
        "qiYinFile = kedoData/%s/qiyin.txt" % lang,
        "cmParamFile = kedoData/%s/cm.txt" % lang,
        "phoneRank2scoreParamFile = kedoData/scoring/rank2score.txt",
        "scoreDiscountParamFile = kedoData/scoring/discount.txt",
        "outputDir = kedoData/output",
        "useAllModelAsCompetingModel = 1",
        "comparisonMode = 1",
        "maxCandidateNum = 1000",
        "probTh = 1000",
        "useEpd = 0",
        "usePaddedHardSp = 0",
    ]


def write_english(out, kedo, workdir):
    d = os.path.join(out, "english")
    wpa = "% English words and their pronunciations (phones joined by \"_\", PAs by \"#\")\n"
    wpa += "".join("%s\t%s\n" % (w, ENGLISH_WPA[w]) for w in sorted(ENGLISH_WPA))
    write_text(os.path.join(d, "english.wpa"), wpa)
    write_text(os.path.join(d, "english_addenda.wpa"),
               "% Corrections and additions\n" + "".join("%s\t%s\n" % e for e in ENGLISH_ADDENDA))
    write_text(os.path.join(d, "english.tnm"),
               "% Normalisation rules: from#to#mode\n,# #g\n?##$\n!##$\n.##$\n  # #g\n ##^\n")
    write_text(os.path.join(d, "qiyin.txt"), "".join(p + "\n" for p in ENGLISH_UNVOICED))

    words = dict(ENGLISH_WPA)
    words.update(dict(ENGLISH_ADDENDA))
    phones = sorted({p for pas in words.values() for pa in pas.split("#") for p in pa.split("_")})
    takes = []
    for i, sentence in enumerate(ENGLISH_LIST):
        for v, speed in enumerate(TRAIN_SPEEDS):
            seq = []
            for w in sentence.split():
                pas = words[w].split("#")
                seq += [p + "+sil" for p in pas[v % len(pas)].split("_")]
            wav = os.path.join(workdir, "en%d_%d.wav" % (i, v))
            write_wav(wav, speak(sentence, "en-us", speed, 50, workdir, "en", 100 * i + v))
            takes.append((features(kedo, os.path.join(out, "features.cfg"), wav, workdir), seq))
    names = [p + "+sil" for p in phones] + ["sil"]
    models = train(takes, names, {})
    models["sp"] = models["sil"]
    write_text(os.path.join(d, "models.mac"), macro_text(models))
    write_text(os.path.join(d, "models.cnt"), count_lines(models))
    write_text(os.path.join(d, "cm.txt"), cm_lines(models))

    keys = ["language = english", "wpaFile = kedoData/english/english.wpa",
            "wpaAddendaFile = kedoData/english/english_addenda.wpa",
            "tnmFile = kedoData/english/english.tnm"] + common_keys("english")
    write_text(os.path.join(out, "english.sa.prm"), prm("English assessment parameters", ["function = assess"] + keys))
    write_text(os.path.join(out, "english.vc.prm"), prm("English recognition parameters", ["function = recog"] + keys))

    s = os.path.join(out, "samples")
    write_wav(os.path.join(s, "english.wav"), speak(ENGLISH_SENTENCE, "en-us", SAMPLE_SPEED, SAMPLE_PITCH,
                                                    workdir, "en", 7))
    write_text(os.path.join(s, "english.txt"), ENGLISH_SENTENCE)
    write_text(os.path.join(s, "english_list.txt"), "".join(t + "\n" for t in ENGLISH_LIST))


def write_chinese(out, kedo, workdir):
    d = os.path.join(out, "chinese")
    write_bytes(os.path.join(d, "pinyin.tab"), big5("".join("\t".join(r) + "\n" for r in PINYIN_ROWS)))
    rows = sorted(CHINESE_WPA, key=lambda r: big5(r[0]))
    write_bytes(os.path.join(d, "chinese.wpa"),
                big5("% character, pinyin table rows, hanyu, tones, frequency\n" +
                     "".join("\t".join(r) + "\n" for r in rows)))
    write_bytes(os.path.join(d, "chinese.tnm"),
                big5("% punctuation and blanks are removed (two-byte patterns need mode g)\n，##g\n。##g\n ##g\n"))
    pam = "% CGU syllable, then its models\n"
    pam += "".join("%s %s\n" % (w, CHINESE_PAM[w]) for w in sorted(CHINESE_PAM, key=lambda w: w.encode()))
    write_text(os.path.join(d, "chinese.pam"), pam)
    write_text(os.path.join(d, "qiyin.txt"), "".join(p + "\n" for p in CHINESE_UNVOICED))

    phones = sorted({m for w, ms in CHINESE_PAM.items() for m in ms.split()} - {"sil", "sp", "fillerC", "fillerV"})
    takes = []
    for i, (sentence, syllables) in enumerate(CHINESE_LIST):
        seq = [m for syl in syllables.split() for m in CHINESE_PAM[syl].split()]
        for v, speed in enumerate(TRAIN_SPEEDS):
            wav = os.path.join(workdir, "zh%d_%d.wav" % (i, v))
            write_wav(wav, speak(sentence, "cmn", speed, 50, workdir, "zh", 200 * i + v))
            takes.append((features(kedo, os.path.join(out, "features.cfg"), wav, workdir), seq))
    pooled = {"fillerC": sorted(p for p in phones if p in CHINESE_INITIALS),
              "fillerV": sorted(p for p in phones if p not in CHINESE_INITIALS)}
    models = train(takes, phones + ["sil", "fillerC", "fillerV"], pooled)
    models["sp"] = models["sil"]
    write_text(os.path.join(d, "models.mac"), macro_text(models))
    write_text(os.path.join(d, "models.cnt"), count_lines(models))
    write_text(os.path.join(d, "cm.txt"), cm_lines(models))

    keys = ["language = chinese", "pinyinType = cgu", "dicFile = kedoData/chinese/chinese.pam",
            "pyTableFile = kedoData/chinese/pinyin.tab", "wpaFile = kedoData/chinese/chinese.wpa",
            "tnmFile = kedoData/chinese/chinese.tnm"] + common_keys("chinese")
    write_text(os.path.join(out, "chinese.sa.prm"),
               prm("Chinese assessment parameters", ["function = assess"] + keys + ["getPitch = 1"]))
    write_text(os.path.join(out, "chinese.vc.prm"), prm("Chinese recognition parameters", ["function = recog"] + keys))

    s = os.path.join(out, "samples")
    write_wav(os.path.join(s, "chinese.wav"), speak(CHINESE_SENTENCE, "cmn", SAMPLE_SPEED, SAMPLE_PITCH,
                                                    workdir, "zh", 8))
    write_bytes(os.path.join(s, "chinese.txt"), big5(CHINESE_SENTENCE))
    write_bytes(os.path.join(s, "chinese_list.txt"), big5("".join(t + "\n" for t, _ in CHINESE_LIST)))


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description="Remake the bundled demonstration data set.")
    ap.add_argument("--kedo", default=os.path.join(here, "build", "kedo"), help="the kedo program (for its features)")
    ap.add_argument("--out", default=os.path.join(here, "data", "kedoData"), help="the data folder to write")
    ap.add_argument("--lang", choices=["en", "zh", "both"], default="both")
    args = ap.parse_args()
    for tool in ("espeak-ng", "sox"):
        if shutil.which(tool) is None:
            sys.exit("make_demo_data: %s is not installed (scripts/install-deps.sh installs it)" % tool)
    if not os.access(args.kedo, os.X_OK):
        sys.exit("make_demo_data: %s not found; build it first (cmake --build build --target kedo)" % args.kedo)
    out = os.path.abspath(args.out)
    os.makedirs(os.path.join(out, "output"), exist_ok=True)
    write_text(os.path.join(out, "features.cfg"), FEATURE_CONFIG)
    write_text(os.path.join(out, "scoring", "rank2score.txt"), RANK2SCORE)
    write_text(os.path.join(out, "scoring", "discount.txt"), DISCOUNT)
    with tempfile.TemporaryDirectory() as workdir:
        if args.lang in ("en", "both"):
            write_english(out, os.path.abspath(args.kedo), workdir)
        if args.lang in ("zh", "both"):
            write_chinese(out, os.path.abspath(args.kedo), workdir)
    print("make_demo_data: wrote " + out)


if __name__ == "__main__":
    main()
