#!/usr/bin/env python3
"""Builds the English pronunciation list from festlex-cmu's cmudict-0.4.out.

Usage: make_lexicon.py [--cmudict FILE] OUTDIR

Writes OUTDIR/english.wpa (text: word TAB pa#pa) and OUTDIR/english.wpab (the
same entries in the binary layout: little-endian int32 counts and lengths).
Every word of the list is kept, lower-cased; a pronunciation is its phones
without stress marks joined by "_". Entries of one word (one per part of
speech) become one entry with its distinct pronunciations in list order.
Entries are sorted by word in byte order, as the engine's binary search needs.
"""
import argparse
import os
import re
import struct
import sys

ENTRY = re.compile(r'^\("((?:[^"\\]|\\.)*)" \S+ \((.*)\)\)\s*$')


def read_cmudict(path):
    entries = {}
    order = []
    with open(path, encoding="latin-1") as f:
        for lineno, line in enumerate(f, 1):
            if not line.startswith("("):
                continue   # the "MNCL" header and blank lines
            m = ENTRY.match(line)
            if not m:
                sys.exit("%s:%d: unexpected entry: %s" % (path, lineno, line.strip()))
            word = m.group(1).lower()
            phones = re.findall(r"[a-z]+", re.sub(r"\)\s*[0-9]+\)", ")", m.group(2)))
            if not phones or any(c in word for c in " \t#@"):
                sys.exit("%s:%d: cannot use entry: %s" % (path, lineno, line.strip()))
            pa = "_".join(phones)
            if word not in entries:
                entries[word] = []
                order.append(word)
            if pa not in entries[word]:
                entries[word].append(pa)
    return entries


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--cmudict", default="/usr/share/festival/dicts/cmu/cmudict-0.4.out")
    ap.add_argument("outdir")
    args = ap.parse_args()
    entries = read_cmudict(args.cmudict)
    words = sorted(entries, key=lambda w: w.encode("latin-1"))
    os.makedirs(args.outdir, exist_ok=True)
    text_path = os.path.join(args.outdir, "english.wpa")
    bin_path = os.path.join(args.outdir, "english.wpab")
    with open(text_path + ".tmp", "wb") as t, open(bin_path + ".tmp", "wb") as b:
        b.write(struct.pack("<i", len(words)))
        for w in words:
            wb = w.encode("latin-1")
            t.write(wb + b"\t" + "#".join(entries[w]).encode("ascii") + b"\n")
            b.write(struct.pack("<i", len(wb)) + wb + struct.pack("<i", len(entries[w])))
            for pa in entries[w]:
                b.write(struct.pack("<i", len(pa)) + pa.encode("ascii"))
    os.replace(text_path + ".tmp", text_path)
    os.replace(bin_path + ".tmp", bin_path)
    print("%d words, %d pronunciations -> %s, %s" %
          (len(words), sum(len(v) for v in entries.values()), text_path, bin_path))


if __name__ == "__main__":
    main()
