#!/usr/bin/env python3
"""Builds the Mandarin lexicon files (Big5) from Debian packages:

  mandarin.tab    pinyin table: Hanyu, Zhuyin (MPA), Tongyong, CGU spelling
  mandarin.wpa    every Big5 character with a Mandarin reading: table rows,
                  Hanyu readings, tones, frequency
  mandarin.pam    pronunciation dictionary: CGU syllable -> initial final
  mandarin.tnm    text normalisation: punctuation and blanks out, digits to
                  Chinese numerals
  mandarin.qiyin  the unvoiced initial models
  no_reading.txt  Big5 characters that have no Mandarin reading (UTF-8, for
                  the record; they are not guessed)
  unknown_readings.txt  readings that are not in syllables.txt (UTF-8)

Sources: syllables.txt beside this script; Unihan_Readings from unicode-data;
the CP950 (Big5) mapping of iconv; character counts from fortunes-zh turned
into Traditional characters by opencc's s2twp. --toned makes one table row per
toned syllable (tone digit in every spelling, tone on the final model) instead
of one per syllable. The output is the same bytes on every run.
"""

import argparse
import bz2
import collections
import os
import re
import subprocess
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pinyin  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
UNIHAN = "/usr/share/unicode/Unihan_Readings.txt.bz2"
FORTUNES = ["/usr/share/games/fortunes/" + f for f in ("chinese", "tang300", "song100")]
# Reading fields of modern usage, in order of preference; kHanyuPinyin (the
# great historical dictionary) is used only for characters none of them reads.
MODERN_FIELDS = ["kMandarin", "kHanyuPinlu", "kXHC1983", "kTGHZ2013"]
FALLBACK_FIELD = "kHanyuPinyin"
NUMERALS = "零一二三四五六七八九"


def iconv(data, src, dst):
    return subprocess.run(["iconv", "-f", src, "-t", dst], input=data, stdout=subprocess.PIPE,
                          check=True).stdout


def big5_characters():
    """{unicode character: its two CP950 bytes} for every double-byte code
    that iconv maps to one character and back to the same bytes."""
    codes = [bytes([a, b]) for a in range(0x81, 0xFF)
             for b in list(range(0x40, 0x7F)) + list(range(0xA1, 0xFF))]
    out = {}
    # One code per line; iconv -c drops codes it cannot map, leaving the line empty.
    text = subprocess.run(["iconv", "-c", "-f", "CP950", "-t", "UTF-8"], input=b"\n".join(codes) + b"\n",
                          stdout=subprocess.PIPE, check=True).stdout.decode("utf-8").split("\n")
    chars = {code: t for code, t in zip(codes, text) if len(t) == 1}
    back = iconv("\n".join(chars.values()).encode("utf-8") + b"\n", "UTF-8", "CP950").split(b"\n")
    for (code, ch), b in zip(chars.items(), back):
        if b == code:
            out[ch] = code
    return out


def reading_values(field, value):
    if field == "kHanyuPinlu":
        return [re.sub(r"\(\d+\)$", "", v) for v in value.split()]
    if field in ("kXHC1983", "kTGHZ2013", "kHanyuPinyin"):
        return [r for entry in value.split() for r in entry.split(":", 1)[1].split(",")]
    values = value.split()
    return values[::-1] if field == "kMandarin" else values  # Taiwan's reading first


def unihan_readings():
    """{unicode character: {field: [readings]}}"""
    table = collections.defaultdict(dict)
    fields = set(MODERN_FIELDS) | {FALLBACK_FIELD}
    with bz2.open(UNIHAN, "rt", encoding="utf-8") as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            code, field, value = line.rstrip("\n").split("\t", 2)
            if field in fields:
                table[chr(int(code[2:], 16))][field] = reading_values(field, value)
    return table


def char_readings(fields, known, unknown):
    """Ordered, distinct (syllable, tone) readings of one character."""
    out = []
    names = [f for f in MODERN_FIELDS if f in fields] or ([FALLBACK_FIELD] if FALLBACK_FIELD in fields else [])
    for name in names:
        for r in fields[name]:
            syl, tone = pinyin.parse_reading(r)
            if syl not in known:
                unknown[r] += 1
                continue
            if (syl, tone) not in out:
                out.append((syl, tone))
    return out


def corpus_counts():
    counts = collections.Counter()
    for path in FORTUNES:
        if not os.path.exists(path):
            continue
        raw = open(path, "rb").read()
        text = subprocess.run(["opencc", "-c", "s2twp"], input=raw, stdout=subprocess.PIPE,
                              check=True).stdout.decode("utf-8")
        counts.update(re.sub(r"\x1b\[[0-9;]*m", "", text))
    return counts


def write(path, text_or_bytes):
    data = text_or_bytes if isinstance(text_or_bytes, bytes) else text_or_bytes.encode("ascii")
    with open(path, "wb") as f:
        f.write(data)


def big5(text):
    return text.encode("cp950")


def table_rows(syllables, toned_set, toned):
    """Rows of the pinyin table: (hanyu, tone or None) in syllables.txt order."""
    if not toned:
        return [(s, None) for s in syllables]
    return [(s, t) for s in syllables for t in range(1, 6) if (s, t) in toned_set]


def row_text(syl, tone):
    t = "" if tone is None else str(tone)
    cols = [syl + t, pinyin.zhuyin(syl, tone), pinyin.tongyong(syl, tone), pinyin.cgu(syl, tone)]
    return "\t".join(cols) + "\n"


def normalisation_rules():
    """(from, to) pairs, Big5. Two-byte symbols whose second byte could be the
    first byte of a character are left out: a byte-wise replacement could
    match them across two characters (they stay in the text and are skipped
    as characters without a reading)."""
    rules = []
    for ch in ("\u3000、，。．‧；：？！︰…‥﹐﹑﹒·﹔﹕﹖﹗｜–—（）｛｝〔〕【】《》〈〉「」『』"
               "︵︶︷︸︹︺︻︼︽︾︿﹀﹁﹂﹃﹄"):
        try:
            b = ch.encode("cp950")
        except UnicodeEncodeError:
            continue
        if len(b) == 2 and b[1] < 0x80 and b not in [r[0] for r in rules]:
            rules.append((b, b""))
    for ch in " !\"$&'()*+,-./:;<=>?":
        rules.append((ch.encode(), b""))
    for d in range(10):
        rules.append((str(d).encode(), big5(NUMERALS[d])))
    return rules


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", default=os.path.join(HERE, "..", "..", "data", "kedoData", "chinese"),
                    help="output folder (default: data/kedoData/chinese)")
    ap.add_argument("--toned", action="store_true", help="one table row per toned syllable, toned finals")
    ap.add_argument("--prefix", default="mandarin", help="file name prefix (default mandarin)")
    ap.add_argument("--table-only", action="store_true",
                    help="write only the table, dictionary, normalisation and unvoiced list (the toneless ones "
                         "need nothing but this folder)")
    ap.add_argument("--report", help="folder for no_reading.txt and unknown_readings.txt")
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    out = lambda name: os.path.join(args.out, args.prefix + name)  # noqa: E731

    syllables = pinyin.read_syllables(os.path.join(HERE, "syllables.txt"))
    known = set(syllables)
    if args.table_only and not args.toned:
        write_lexicon(args, out, table_rows(syllables, set(), False))
        return
    chars = big5_characters()
    readings = unihan_readings()
    counts = corpus_counts()

    unknown = collections.Counter()
    entries = {}
    no_reading = []
    for ch, code in chars.items():
        # A compatibility ideograph (CP950 holds two characters twice) reads
        # as the character it is canonically equal to.
        ch = ch if ch in readings else unicodedata.normalize("NFC", ch)
        if ch not in readings:
            if unicode_is_han(ch):
                no_reading.append((ch, code))
            continue
        rs = char_readings(readings[ch], known, unknown)
        if rs:
            entries[code] = (ch, rs)
        else:
            no_reading.append((ch, code))

    toned_set = {r for _, rs in entries.values() for r in rs}
    rows = table_rows(syllables, toned_set, args.toned)
    row_of = {r: i + 1 for i, r in enumerate(rows)}
    write_lexicon(args, out, rows)
    if args.table_only:
        return

    lines = [b"% character, pinyin table rows, hanyu readings, tones, frequency in fortunes-zh\n"]
    for code in sorted(entries):
        ch, rs = entries[code]
        nums = ",".join(str(row_of[(s, t if args.toned else None)]) for s, t in rs)
        hanyu = ",".join("%s%d" % (s, t) for s, t in rs)
        tones = ",".join(str(t) for _, t in rs)
        lines.append(code + ("\t%s\t%s\t%s\t%d\n" % (nums, hanyu, tones, counts.get(ch, 0))).encode("ascii"))
    write(out(".wpa"), b"".join(lines))

    if args.report:
        os.makedirs(args.report, exist_ok=True)
        with open(os.path.join(args.report, "no_reading.txt"), "w", encoding="utf-8") as f:
            f.write("".join("U+%04X\t%s\t%s\n" % (ord(c), c, code.hex()) for c, code in sorted(no_reading)))
        with open(os.path.join(args.report, "unknown_readings.txt"), "w", encoding="utf-8") as f:
            f.write("".join("%s\t%d\n" % (r, n) for r, n in sorted(unknown.items())))
    multi = sum(1 for _, rs in entries.values() if len({s for s, _ in rs}) > 1)
    print("%d table rows, %d characters (%d with several syllables), %d Big5 ideographs without a reading, "
          "%d unknown readings" % (len(rows), len(entries), multi, len(no_reading), sum(unknown.values())))


def write_lexicon(args, out, rows):
    """The pinyin table, dictionary, normalisation file and unvoiced list."""
    write(out(".tab"), b"".join(big5(row_text(*r)) for r in rows))
    pam = {}
    for s, t in rows:
        pam[pinyin.cgu(s, t)] = pinyin.models(s, t)
    for unit in ("sil", "sp", "fillerC", "fillerV"):
        pam[unit] = [unit]
    write(out(".pam"), "% CGU syllable, then its initial and final models\n" +
          "".join("%s %s\n" % (w, " ".join(pam[w])) for w in sorted(pam, key=lambda w: w.encode())))

    tnm = [b"% blanks and punctuation are removed, digits become Chinese numerals\n"]
    tnm += [f + b"#" + t + b"#g\n" for f, t in normalisation_rules()]
    write(out(".tnm"), b"".join(tnm))

    unvoiced = sorted({pinyin.PALATAL_MODELS.get(i, pinyin.cgu_initial_model(i)) for i in pinyin.UNVOICED_INITIALS})
    write(out(".qiyin"), "".join(u + "\n" for u in unvoiced))


def unicode_is_han(ch):
    o = ord(ch)
    return 0x3400 <= o <= 0x9FFF or 0xF900 <= o <= 0xFAFF or 0x20000 <= o <= 0x3FFFF or o == 0x3007


if __name__ == "__main__":
    main()
