#!/usr/bin/python3
"""Closed-set recognition of the same recordings by kedo and by Debian's
PocketSphinx (packages pocketsphinx and pocketsphinx-en-us, its US English
model), side by side: accuracy and real-time factor, measured two ways.

  per recording   one process per recording, loading included
                  (kedo recog; pocketsphinx_continuous)
  one process     all recordings in one process (kedo_recog_batch, one
                  engine object; pocketsphinx_batch, one process per
                  sentence list, since its grammar is fixed at start)

The recordings are the held-out utterances of the English evaluation (a
spread subset with --limit). As there, every utterance is recognised against
the list of 100 held-out sentences that holds its own (the sorted sentences
cut into lists of 100). PocketSphinx gets each list as a JSGF grammar of
alternatives and a dictionary from its CMU dictionary; the few words that
dictionary lacks take kedo's pronunciation in CMU phones.

The real-time factor is processing time over audio time, summed over the
recordings; "cpu" counts the user and system time of the processes, which a
loaded machine changes less than the wall-clock time.

  bench/compare/compare.py --home /work/sets/english/home \\
      --eval /work/sets/english/lists/eval.tsv --limit 40
"""
import argparse
import os
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import wave

PS_MODEL = "/usr/share/pocketsphinx/model/en-us"
LIST_SIZE = 100


def spread(rows, limit):
    if not limit or limit >= len(rows):
        return rows
    return [rows[i * len(rows) // limit] for i in range(limit)]


def seconds_of(path):
    with wave.open(path, "rb") as w:
        return w.getnframes() / float(w.getframerate())


class Clock:
    """Wall and child-process CPU time of a stretch of work."""

    def __enter__(self):
        self.wall = time.monotonic()
        r = resource.getrusage(resource.RUSAGE_CHILDREN)
        self.cpu = r.ru_utime + r.ru_stime
        return self

    def __exit__(self, *exc):
        r = resource.getrusage(resource.RUSAGE_CHILDREN)
        self.cpu = r.ru_utime + r.ru_stime - self.cpu
        self.wall = time.monotonic() - self.wall


def cmu_dictionary(words, wpa_path):
    """CMU pronunciations of the words; kedo's for the ones CMU lacks."""
    cmu = {}
    with open(os.path.join(PS_MODEL, "cmudict-en-us.dict"), encoding="latin-1") as f:
        for line in f:
            parts = line.split()
            if parts and parts[0] in words and parts[0] not in cmu:
                cmu[parts[0]] = " ".join(parts[1:])
    missing = sorted(w for w in words if w not in cmu)
    if missing:
        for word, pas in kedo_lexicon(wpa_path):
            if word in missing and word not in cmu:
                phones = pas[0].split("_")
                cmu[word] = " ".join("AH" if p == "ax" else p.upper() for p in phones)
    return cmu, missing


def kedo_lexicon(wpa_path):
    """(word, pronunciations) of kedo's English lexicon: the text form, or the
    binary one (little-endian counts and lengths) that the shipped set holds."""
    if os.path.exists(wpa_path):
        with open(wpa_path, encoding="latin-1") as f:
            for line in f:
                word, _, pas = line.rstrip("\n").partition("\t")
                yield word, pas.split("#")
        return
    with open(wpa_path + "b", "rb") as f:
        data = f.read()
    at = 0

    def number():
        nonlocal at
        at += 4
        return struct.unpack_from("<i", data, at - 4)[0]

    def text():
        nonlocal at
        n = number()
        at += n
        return data[at - n:at].decode("latin-1")

    for _ in range(number()):
        word = text()
        yield word, [text() for _ in range(number())]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--home", required=True, help="working folder whose kedoData holds the English set (copied)")
    ap.add_argument("--eval", required=True, help="eval.tsv: recording, speaker, sentence")
    ap.add_argument("--limit", type=int, default=40, help="recordings, spread over the list (0: all)")
    ap.add_argument("--kedo", default="build/kedo")
    ap.add_argument("--batch", default="build/bench/kedo_recog_batch")
    args = ap.parse_args()
    for tool in ("pocketsphinx_continuous", "pocketsphinx_batch"):
        if not shutil.which(tool):
            sys.exit("%s is missing: apt-get install pocketsphinx pocketsphinx-en-us" % tool)

    rows = [l.rstrip("\n").split("\t") for l in open(args.eval, encoding="utf-8") if l.strip()]
    sentences = sorted(set(r[2] for r in rows))
    lists = [sentences[i:i + LIST_SIZE] for i in range(0, len(sentences), LIST_SIZE)]
    list_of = {s: k for k, chunk in enumerate(lists) for s in chunk}
    rows = spread(sorted(rows), args.limit)
    audio = sum(seconds_of(r[0]) for r in rows)

    work = tempfile.mkdtemp(prefix="kedo_compare_")
    try:
        home = os.path.join(work, "home")
        shutil.copytree(os.path.join(args.home, "kedoData"), os.path.join(home, "kedoData"))
        words = set(w for s in sentences for w in s.split())
        cmu, missing = cmu_dictionary(words, os.path.join(home, "kedoData", "english", "english.wpa"))
        dic = os.path.join(work, "words.dict")
        with open(dic, "w", encoding="latin-1") as f:
            for w in sorted(cmu):
                f.write("%s %s\n" % (w, cmu[w]))
        list_files, grammars = [], []
        for k, chunk in enumerate(lists):
            lf = os.path.join(work, "list%d.txt" % k)
            with open(lf, "w", encoding="utf-8") as f:
                f.write("\n".join(chunk) + "\n")
            g = os.path.join(work, "list%d.gram" % k)
            with open(g, "w", encoding="latin-1") as f:
                f.write("#JSGF V1.0;\ngrammar list%d;\npublic <sentence> = %s;\n"
                        % (k, " | ".join("( %s )" % s for s in chunk)))
            list_files.append(lf)
            grammars.append(g)
        ps_common = ["-hmm", os.path.join(PS_MODEL, "en-us"), "-dict", dic, "-logfn", os.devnull]

        results = {}

        # One process per recording.
        right = {"kedo": 0, "pocketsphinx": 0}
        clocks = {}
        with Clock() as c:
            for wav, _, ref in rows:
                out = subprocess.run([args.kedo, "recog", wav, list_files[list_of[ref]], "--home", home, "--quiet"],
                                     capture_output=True, text=True).stdout.strip()
                right["kedo"] += out == "text=" + ref
        clocks["kedo"] = c
        with Clock() as c:
            for wav, _, ref in rows:
                out = subprocess.run(["pocketsphinx_continuous", "-infile", wav, "-jsgf", grammars[list_of[ref]]]
                                     + ps_common, capture_output=True, text=True).stdout.strip()
                right["pocketsphinx"] += out == ref
        clocks["pocketsphinx"] = c
        results["per recording"] = (right, clocks)

        # One process for all recordings.
        right = {"kedo": 0, "pocketsphinx": 0}
        clocks = {}
        jobs = "".join("%s\t%s\n" % (wav, list_files[list_of[ref]]) for wav, _, ref in rows)
        with Clock() as c:
            out = subprocess.run([args.batch, home], input=jobs, capture_output=True, text=True).stdout
        clocks["kedo"] = c
        for line, (_, _, ref) in zip(out.splitlines(), rows):
            right["kedo"] += line == ref
        with Clock() as c:
            for k in range(len(lists)):
                mine = [(i, r) for i, r in enumerate(rows) if list_of[r[2]] == k]
                if not mine:
                    continue
                ctl = os.path.join(work, "ctl%d" % k)
                hyp = os.path.join(work, "hyp%d" % k)
                with open(ctl, "w") as f:
                    for i, r in mine:
                        f.write("%s\n" % os.path.splitext(r[0])[0])
                subprocess.run(["pocketsphinx_batch", "-ctl", ctl, "-cepdir", "/", "-cepext", ".wav",
                                "-adcin", "yes", "-adchdr", "44", "-hyp", hyp, "-jsgf", grammars[k]] + ps_common,
                               capture_output=True, text=True)
                got = {}  # "text (utterance score)" lines; the utterance is the control line
                for line in open(hyp, encoding="latin-1"):
                    text, _, tail = line.rstrip("\n").rpartition("(")
                    got[tail.split()[0]] = text.strip()
                for i, r in mine:
                    right["pocketsphinx"] += got.get(os.path.splitext(r[0])[0]) == r[2]
        clocks["pocketsphinx"] = c
        results["one process"] = (right, clocks)

        n = len(rows)
        print("%d recordings, %.1f s of audio, lists of %d sentences; PocketSphinx dictionary: %d words, %d "
              "taken from kedo's lexicon (%s)" % (n, audio, LIST_SIZE, len(cmu), len(missing), " ".join(missing)))
        print("%-14s %-13s %9s %9s %9s" % ("run", "engine", "accuracy", "RTF wall", "RTF cpu"))
        for way, (right, clocks) in results.items():
            for engine in ("kedo", "pocketsphinx"):
                print("%-14s %-13s %8.1f%% %9.4f %9.4f" % (way, engine, 100.0 * right[engine] / n,
                                                           clocks[engine].wall / audio, clocks[engine].cpu / audio))
        print("load average %.2f %.2f %.2f" % os.getloadavg())
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
