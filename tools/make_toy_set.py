#!/usr/bin/env python3
"""Remakes the recordings and models of the toy data set, tests/data/toy/kedoData.

The toy set's lexicons, parameter files, feature configuration, scoring files
and sample sentences are written by hand and stay as they are. This script
makes the rest, for English and for Chinese:

  1. the training corpus: every sentence of the language's training list,
     and every word (Chinese: character) of it on its own, spoken by
     espeak-ng in a few voices, speeds and pitches, one of them in loud noise
     (so that the silence models fit quiet at any level); one more voice is
     held out for the confidence measure. sox converts the speech to 16 kHz
     16-bit mono, padded with 0.3 s of noise at both ends;
  2. the models: `kedo train` with the toy set's own assessment parameter
     file on that corpus; its models.mac, models.cnt and cm.txt replace the
     language's files;
  3. the sample recording of samples/LANG.txt, in a voice and at a speed and
     pitch that no training take uses.

The models know only these synthetic voices: the scores show the pipeline at
work, they do not measure pronunciation. The noise comes from a seeded
generator, so every run with the same tools writes the same bytes.

Usage: tools/make_toy_set.py [--kedo build/kedo] [--out tests/data/toy/kedoData]
                             [--lang en|zh|both] [--keep DIR]
Needs python3, espeak-ng (with the cmn voice), sox and a built kedo. About a
minute on one core.
"""

import argparse
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
LOUD_NOISE_SD = 400.0    # the noise of one training voice
SEED = 1
MIXTURES = 1             # Gaussians per stream: a few minutes of speech carry no more
SAMPLE_SPEED, SAMPLE_PITCH = 160, 42

# Per language: the espeak-ng voice of the sample, the code page of the
# sample files, the training takes as (speaker, voice, speed, pitch, noise),
# the held-out speaker, and the training sentences besides the sample list
# (they cover every word of the lexicon).
LANGUAGES = {
    "en": {
        "name": "english", "voice": "en-us", "codepage": "cp1252",
        "train": [("s130", "en-us", 130, 50, NOISE_SD), ("s150", "en-us", 150, 50, NOISE_SD),
                  ("s175", "en-us", 175, 50, NOISE_SD), ("p40", "en-us", 145, 40, NOISE_SD),
                  ("p58", "en-us", 170, 58, NOISE_SD), ("gb", "en", 150, 50, NOISE_SD),
                  ("m3", "en-us+m3", 155, 50, NOISE_SD), ("noisy", "en-us", 160, 46, LOUD_NOISE_SD)],
        "held": ("held", "en-us", 140, 60, NOISE_SD),
        "extra": ["hello kedo", "the good world", "i read a book", "a good tea", "good book", "the morning tea",
                  "i like the world", "read to the book", "hello good morning", "kedo like tea", "a book to read",
                  "world read", "i like a good morning", "tea to kedo"],
    },
    "zh": {
        "name": "chinese", "voice": "cmn", "codepage": "big5",
        "train": [("s130", "cmn", 130, 50, NOISE_SD), ("s150", "cmn", 150, 50, NOISE_SD),
                  ("s175", "cmn", 175, 50, NOISE_SD), ("p40", "cmn", 145, 40, NOISE_SD),
                  ("p58", "cmn", 170, 58, NOISE_SD), ("noisy", "cmn", 160, 46, LOUD_NOISE_SD)],
        "held": ("held", "cmn", 140, 60, NOISE_SD),
        "extra": ["長中文", "你很好"],
    },
}


def fail(message):
    sys.exit("make_toy_set: " + message)


def speak(text, voice, speed, pitch, workdir, seed, noise=NOISE_SD):
    """espeak-ng speech as 16 kHz 16-bit mono samples with padded, noisy pauses."""
    raw22 = os.path.join(workdir, "speech.espeak.wav")
    raw16 = os.path.join(workdir, "speech.16k.wav")
    subprocess.run(["espeak-ng", "-v", voice, "-s", str(speed), "-p", str(pitch), "-w", raw22, text],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["sox", "-D", "-R", raw22, "-r", str(SAMPLE_RATE), "-b", "16", "-c", "1", raw16], check=True)
    with wave.open(raw16, "rb") as w:
        frames = w.readframes(w.getnframes())
    speech = list(struct.unpack("<%dh" % (len(frames) // 2), frames))
    pad = [0] * int(PAD_SECONDS * SAMPLE_RATE)
    rng = random.Random(seed)
    return [max(-32768, min(32767, int(round(v + rng.gauss(0.0, noise))))) for v in pad + speech + pad]


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(SAMPLE_RATE)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def read_lines(path, codepage):
    with open(path, "rb") as f:
        return [line.strip() for line in f.read().decode(codepage).splitlines() if line.strip()]


def make_language(lang, out, kedo, workdir):
    spec = LANGUAGES[lang]
    name, codepage = spec["name"], spec["codepage"]
    samples = os.path.join(out, "samples")
    sentences = read_lines(os.path.join(samples, name + "_list.txt"), codepage)
    sentences += [s for s in spec["extra"] if s not in sentences]
    # Every word (Chinese: character) on its own too: words between pauses
    # anchor the models' boundaries that running speech blurs.
    words = {w for s in sentences for w in (s.split() if lang == "en" else s)}
    sentences += [w for w in sorted(words) if w not in sentences]
    corpus = os.path.join(workdir, "corpus")
    os.makedirs(corpus, exist_ok=True)
    lines = ["# audio\ttranscript\tspeaker"]
    seed = SEED * 1000
    for speaker, voice, speed, pitch, noise in spec["train"] + [spec["held"]]:
        for i, sentence in enumerate(sentences):
            wav = "%s_%s_%d.wav" % (lang, speaker, i)
            seed += 1
            write_wav(os.path.join(corpus, wav), speak(sentence, voice, speed, pitch, workdir, seed, noise))
            lines.append("%s\t%s\t%s" % (wav, sentence, speaker))
    tsv = os.path.join(corpus, lang + ".tsv")
    with open(tsv, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")

    # The parameter file names its files relative to the folder above kedoData.
    models = os.path.join(workdir, lang + "_models")
    shutil.rmtree(models, ignore_errors=True)  # no cached features of other recordings
    run = subprocess.run([kedo, "train", "--prm", os.path.join(out, name + ".sa.prm"), "--corpus", tsv,
                          "--out", models, "--mixtures", str(MIXTURES), "--seed", str(SEED),
                          "--held-out-speakers", spec["held"][0]],
                         cwd=os.path.dirname(out), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if run.returncode != 0:
        fail("kedo train failed for %s: %s" % (name, run.stderr.strip()))
    for f in ("models.mac", "models.cnt", "cm.txt"):
        shutil.copyfile(os.path.join(models, f), os.path.join(out, name, f))

    sentence = read_lines(os.path.join(samples, name + ".txt"), codepage)[0]
    write_wav(os.path.join(samples, name + ".wav"),
              speak(sentence, spec["voice"], SAMPLE_SPEED, SAMPLE_PITCH, workdir, 7 if lang == "en" else 8))


def main():
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description="Remake the recordings and models of the toy data set.")
    ap.add_argument("--kedo", default=os.path.join(here, "build", "kedo"), help="the kedo program")
    ap.add_argument("--out", default=os.path.join(here, "tests", "data", "toy", "kedoData"),
                    help="the toy data folder (its hand-written files are read from it)")
    ap.add_argument("--lang", choices=["en", "zh", "both"], default="both")
    ap.add_argument("--keep", help="keep the corpus and the training folders here (train.log)")
    args = ap.parse_args()
    for tool in ("espeak-ng", "sox"):
        if shutil.which(tool) is None:
            fail("%s is not installed (scripts/install-deps.sh installs it)" % tool)
    kedo = os.path.abspath(args.kedo)
    if not os.access(kedo, os.X_OK):
        fail("%s not found; build it first (cmake --build build --target kedo_cli)" % kedo)
    out = os.path.abspath(args.out)
    if os.path.basename(out) != "kedoData" or not os.path.isfile(os.path.join(out, "english.sa.prm")):
        fail("%s is no kedoData folder with its parameter files" % out)
    with tempfile.TemporaryDirectory() as tmp:
        workdir = os.path.abspath(args.keep) if args.keep else tmp
        os.makedirs(workdir, exist_ok=True)
        for lang in ("en", "zh"):
            if args.lang in (lang, "both"):
                make_language(lang, out, kedo, workdir)
    print("make_toy_set: wrote the recordings and models of " + out)


if __name__ == "__main__":
    main()
