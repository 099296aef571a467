"""Mandarin syllable spellings: Hanyu Pinyin, Zhuyin (MPA), Tongyong Pinyin and
the engine's own model spelling (CGU), and the initial and final models of a
syllable.

A syllable is taken apart into an initial (Hanyu letters, "" when it has none)
and a final in its full Hanyu form (iou, uei, uen, v for u-umlaut, "-i" for the
apical vowel of zhi/chi/shi/ri/zi/ci/si); every spelling is built from those
two parts, so the four spellings of a syllable always belong together.

The CGU spelling follows Taiwan's Mandarin Phonetic Symbols II, in ASCII:
j/ch/sh serve both the palatal (Hanyu j/q/x) and the retroflex (zh/ch/sh)
series, which never meet the same finals; z/c/s are written tz/ts/s; the
apical vowel is r after the retroflexes (jr, chr, shr, r) and z after the
dentals (tz, tsz, sz); u-umlaut is iu (shiu, iue, iuan, iun, iung); ao is au;
ong is ung; iu/ui/un are written out as iou/uei/uen; the bare e-circumflex is
eh.
"""

import unicodedata

INITIALS = ["b", "p", "m", "f", "d", "t", "n", "l", "g", "k", "h",
            "j", "q", "x", "zh", "ch", "sh", "r", "z", "c", "s"]
PALATALS = {"j", "q", "x"}
RETROFLEXES = {"zh", "ch", "sh", "r"}
DENTALS = {"z", "c", "s"}

# Zero-initial spellings (y/w forms) and their full finals.
_ZERO = {
    "yi": "i", "ya": "ia", "yo": "io", "ye": "ie", "yao": "iao", "you": "iou", "yan": "ian",
    "yin": "in", "yang": "iang", "ying": "ing", "yong": "iong",
    "yu": "v", "yue": "ve", "yuan": "van", "yun": "vn",
    "wu": "u", "wa": "ua", "wo": "uo", "wai": "uai", "wei": "uei", "wan": "uan", "wen": "uen",
    "wang": "uang", "weng": "ueng",
}

ZHUYIN_INITIAL = {
    "b": "ㄅ", "p": "ㄆ", "m": "ㄇ", "f": "ㄈ", "d": "ㄉ", "t": "ㄊ", "n": "ㄋ", "l": "ㄌ",
    "g": "ㄍ", "k": "ㄎ", "h": "ㄏ", "j": "ㄐ", "q": "ㄑ", "x": "ㄒ", "zh": "ㄓ", "ch": "ㄔ",
    "sh": "ㄕ", "r": "ㄖ", "z": "ㄗ", "c": "ㄘ", "s": "ㄙ", "": "",
}
ZHUYIN_FINAL = {
    "-i": "", "a": "ㄚ", "o": "ㄛ", "e": "ㄜ", "eh": "ㄝ", "ai": "ㄞ", "ei": "ㄟ", "ao": "ㄠ", "ou": "ㄡ",
    "an": "ㄢ", "en": "ㄣ", "ang": "ㄤ", "eng": "ㄥ", "er": "ㄦ",
    "i": "ㄧ", "ia": "ㄧㄚ", "io": "ㄧㄛ", "ie": "ㄧㄝ", "iao": "ㄧㄠ", "iou": "ㄧㄡ", "ian": "ㄧㄢ",
    "in": "ㄧㄣ", "iang": "ㄧㄤ", "ing": "ㄧㄥ",
    "u": "ㄨ", "ua": "ㄨㄚ", "uo": "ㄨㄛ", "uai": "ㄨㄞ", "uei": "ㄨㄟ", "uan": "ㄨㄢ", "uen": "ㄨㄣ",
    "uang": "ㄨㄤ", "ueng": "ㄨㄥ", "ong": "ㄨㄥ",
    "v": "ㄩ", "ve": "ㄩㄝ", "van": "ㄩㄢ", "vn": "ㄩㄣ", "iong": "ㄩㄥ",
}
ZHUYIN_TONE = {1: "", 2: "ˊ", 3: "ˇ", 4: "ˋ", 5: ""}

# CGU (model spelling) parts.
CGU_INITIAL = {"j": "j", "q": "ch", "x": "sh", "zh": "j", "z": "tz", "c": "ts"}
CGU_FINAL = {"ao": "au", "iao": "iau", "ong": "ung", "iong": "iung", "v": "iu", "ve": "iue",
             "van": "iuan", "vn": "iun"}
CGU_ZERO = {"i": "yi", "ia": "ya", "io": "yo", "ie": "ye", "iau": "yau", "iou": "you", "ian": "yan",
            "in": "yin", "iang": "yang", "ing": "ying", "u": "wu", "ua": "wa", "uo": "wo",
            "uai": "wai", "uei": "wei", "uan": "wan", "uen": "wen", "uang": "wang", "ueng": "weng",
            "iu": "yu", "iue": "yue", "iuan": "yuan", "iun": "yun", "iung": "yung"}

# Tongyong Pinyin parts.
TONGYONG_INITIAL = {"zh": "jh", "q": "c", "x": "s"}
TONGYONG_ZERO = {"i": "yi", "ia": "ya", "io": "yo", "ie": "ye", "iao": "yao", "iou": "you",
                 "ian": "yan", "in": "yin", "iang": "yang", "ing": "ying", "iong": "yong",
                 "v": "yu", "ve": "yue", "van": "yuan", "vn": "yun", "u": "wu", "ua": "wa",
                 "uo": "wo", "uai": "wai", "uei": "wei", "uan": "wan", "uen": "wun", "uang": "wang",
                 "ueng": "wong"}

# Zero-initial syllables get an onset model named by the class of their final.
ONSET_MODELS = ("y", "w", "yw", "gs")
# Palatal initials have models of their own; the spelling shares j/ch/sh.
PALATAL_MODELS = {"j": "jy", "q": "chy", "x": "shy"}
UNVOICED_INITIALS = {"b", "p", "f", "d", "t", "g", "k", "h", "j", "q", "x", "zh", "ch", "sh", "z", "c", "s"}


def split(hanyu):
    """Hanyu spelling without tone -> (initial, full final)."""
    if hanyu in _ZERO:
        return "", _ZERO[hanyu]
    initial = ""
    for i in sorted(INITIALS, key=len, reverse=True):
        if hanyu.startswith(i) and len(hanyu) > len(i):
            initial = i
            break
    final = hanyu[len(initial):]
    if initial in PALATALS:
        final = {"u": "v", "ue": "ve", "uan": "van", "un": "vn"}.get(final, final)
    if initial and final in ("iu", "ui", "un"):
        final = {"iu": "iou", "ui": "uei", "un": "uen"}[final]
    if final == "i" and (initial in RETROFLEXES or initial in DENTALS):
        final = "-i"
    front = final.startswith(("i", "v")) and final != "-i"  # an i or u-umlaut final
    if (final not in ZHUYIN_FINAL or (initial in PALATALS and not front)
            or (front and initial in RETROFLEXES | DENTALS | {"g", "k", "h"})
            or (final.startswith("v") and initial not in ("", "j", "q", "x", "n", "l"))):
        raise ValueError("not a Mandarin syllable: %s" % hanyu)
    return initial, final


def zhuyin(hanyu, tone=None):
    initial, final = split(hanyu)
    body = ZHUYIN_INITIAL[initial] + ZHUYIN_FINAL[final]
    if tone is None:
        return body
    return ("˙" + body) if tone == 5 else body + ZHUYIN_TONE[tone]


def _cgu_final(final):
    if final in CGU_FINAL:
        return CGU_FINAL[final]
    return final


def cgu(hanyu, tone=None):
    initial, final = split(hanyu)
    f = _cgu_final(final)
    if final == "-i":
        s = {"zh": "jr", "ch": "chr", "sh": "shr", "r": "r", "z": "tz", "c": "tsz", "s": "sz"}[initial]
    elif not initial:
        s = CGU_ZERO.get(f, f)
    else:
        s = CGU_INITIAL.get(initial, initial) + f
    return s if tone is None else s + str(tone)


def tongyong(hanyu, tone=None):
    initial, final = split(hanyu)
    if not initial:
        s = TONGYONG_ZERO.get(final, final)
    else:
        f = {"-i": "ih", "v": "yu", "ve": "yue", "van": "yuan", "vn": "yun", "iong": "yong",
             "iou": "iou", "uei": "uei", "uen": "un"}.get(final, final)
        if final == "eng" and initial in ("b", "p", "m", "f"):
            f = "ong"
        s = TONGYONG_INITIAL.get(initial, initial) + f
    return s if tone is None else s + str(tone)


def models(hanyu, tone=None):
    """The initial model and the final model of a syllable (the final carries
    the tone digit when tone is given)."""
    initial, final = split(hanyu)
    if initial:
        first = PALATAL_MODELS.get(initial, cgu_initial_model(initial))
    elif final.startswith("v"):
        first = "yw"
    elif final.startswith("i") and final != "-i":
        first = "y"
    elif final.startswith("u"):
        first = "w"
    else:
        first = "gs"
    if final == "-i":
        second = "ir" if initial in RETROFLEXES else "iz"
    else:
        second = _cgu_final(final)
    if tone is not None:
        second += str(tone)
    return [first, second]


def cgu_initial_model(initial):
    return {"zh": "j", "z": "tz", "c": "ts"}.get(initial, initial)


def read_syllables(path):
    out = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("%"):
                continue
            out.extend(line.split())
    return out


_TONE_MARKS = {"\u0304": 1, "\u0301": 2, "\u030c": 3, "\u0300": 4}


def parse_reading(reading):
    """A Unihan reading such as "zhōng", "lüè" or "le" -> (hanyu base, tone)."""
    tone = 5
    base = []
    for ch in unicodedata.normalize("NFD", reading.strip().lower()):
        if ch in _TONE_MARKS:
            tone = _TONE_MARKS[ch]
        elif ch == "\u0308":  # diaeresis: u-umlaut
            if base and base[-1] == "u":
                base[-1] = "v"
        elif ch == "\u0302":  # circumflex: bare e-circumflex
            if base and base[-1] == "e":
                base[-1] = "eh"
        else:
            base.append(ch)
    return "".join(base), tone
