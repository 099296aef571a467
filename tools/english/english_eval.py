"""What the English evaluation and calibration scripts share: seeded choices,
the AUC, parameter-file edits, the engine in a scratch working folder, and
the utterance score recomputed from an assessment's scoring inputs."""
import bisect
import hashlib
import json
import os
import random
import re
import resource
import shutil
import subprocess
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

SEED = int(os.environ.get("KEDO_CORPUS_SEED", "15"))


def rng(*key):
    """A random generator for one item, fixed by the seed and the item's key."""
    h = hashlib.sha256(("%d|" % SEED + "|".join(map(str, key))).encode()).digest()
    return random.Random(int.from_bytes(h[:8], "little"))


def auc(positives, negatives):
    """Probability that a positive scores above a negative (ties count half)."""
    if not positives or not negatives:
        return None
    neg = sorted(negatives)
    wins = 0.0
    for p in positives:
        lo = bisect.bisect_left(neg, p)
        hi = bisect.bisect_right(neg, p)
        wins += lo + 0.5 * (hi - lo)
    return wins / (len(positives) * len(negatives))


def read_prm(path):
    """The KEY = VALUE lines of a parameter file, as a dict."""
    keys = {}
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.split("%", 1)[0].strip()
            if "=" in line:
                k, v = line.split("=", 1)
                keys[k.strip()] = v.strip()
    return keys


def edit_prm(path, edits):
    """Sets KEY = VALUE lines of a parameter file (appending missing keys)."""
    with open(path, encoding="latin-1") as f:
        lines = f.read().splitlines()
    done = set()
    for i, line in enumerate(lines):
        key = line.split("=", 1)[0].strip()
        if key in edits:
            lines[i] = "%s = %s" % (key, edits[key])
            done.add(key)
    lines += ["%s = %s" % (k, v) for k, v in edits.items() if k not in done]
    with open(path, "w", encoding="latin-1") as f:
        f.write("\n".join(lines) + "\n")


def scratch_home(home, edits=None):
    """A scratch working folder with a copy of HOME/kedoData, the edits set in
    both English parameter files; the caller removes it."""
    work = tempfile.mkdtemp(prefix="kedo_eval_")
    shutil.copytree(os.path.join(home, "kedoData"), os.path.join(work, "kedoData"))
    for name in ("english.sa.prm", "english.vc.prm"):
        if edits:
            edit_prm(os.path.join(work, "kedoData", name), edits)
    return work


# ------------------------------------------------------- the engine and its scores
REASONS = 7
NOT_APPLIED = 4  # the syllable count difference is reported, never applied
NON_SPOKEN = ("sp", "sil", "filler", "fillerC", "fillerV")


class Engine:
    """The kedo command line in a scratch copy of a data-set home; every call
    is timed (wall and processor seconds, process start and data loading
    included, as a host that runs the command line sees it)."""

    def __init__(self, kedo, home, edits=None):
        self.kedo = kedo
        self.work = scratch_home(home, edits)
        self.seconds = {"assess": [], "recog": []}

    def _run(self, args):
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

    def assess(self, wav, sentence, details=False):
        """The --json document, or None when the engine refused the call;
        with details, its "details" hold the scoring inputs (parse_result)."""
        doc = self._run(["assess", wav, sentence])
        if doc is not None and details:
            doc["details"] = parse_result(os.path.join(self.work, "kedoData", "output", "output.xml"), doc)
        return doc

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


def part_of(text, g):
    """The sentence cut short: its first or its last words, half of them
    (rounded up), at least one word left out; None for a one-word sentence.
    A speaker who said the whole sentence did not say this one."""
    words = text.split()
    if len(words) < 2:
        return None
    keep = min(len(words) - 1, (len(words) + 1) // 2)
    return " ".join(words[:keep] if g.random() < 0.5 else words[-keep:])


def noise_wav(path, level, seconds=2.0):
    """Low pink noise, as a quiet room gives a microphone that hears nobody
    (the same on every run)."""
    subprocess.run(["sox", "-R", "-n", "-r", "16000", "-c", "1", "-b", "16", path, "synth", str(seconds),
                    "pinknoise", "vol", str(level)], check=True)


NOISE_LEVELS = (0.001, 0.003, 0.01, 0.03)


def timing(engines):
    """Mean wall and processor seconds per call, by call kind, over engines."""
    out = {}
    for kind in ("assess", "recog"):
        runs = [r for e in engines for r in e.seconds[kind]]
        if runs:
            out[kind] = {"calls": len(runs), "wall_s": sum(w for w, _ in runs) / len(runs),
                         "cpu_s": sum(c for _, c in runs) / len(runs)}
    return out


def parallel(engines, items, work):
    """work(engine, item) for every item, item i on engine i % len(engines),
    one thread per engine; the results in item order."""
    def worker(j):
        return [(i, work(engines[j], item)) for i, item in enumerate(items) if i % len(engines) == j]
    out = [None] * len(items)
    with ThreadPoolExecutor(len(engines)) as pool:
        for part in pool.map(worker, range(len(engines))):
            for i, r in part:
                out[i] = r
    return out


def parse_result(xml_path, doc):
    """The scoring inputs of one assessment: per spoken word its length in
    frames and its ranked phones [model index, rank ratio, time ratio]; the
    discount occurrences, the syllable counts and the engine's score."""
    words, word, phone = [], None, None
    with open(xml_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            depth = len(line) - len(line.lstrip("\t"))
            m = re.match(r"\s*<(\w+) idx=\"\d+\" type=\"\w+\" size=\"[^\"]*\">([^<]*)<", line)
            if not m:
                continue
            tag, value = m.group(1), m.group(2)
            if depth == 2 and tag == "name":
                word = {"name": value, "phones": []}
                words.append(word)
            elif depth == 2 and tag == "interval" and word is not None:
                a, b = (float(x) for x in value.split())
                word["frames"] = int(round((b - a) * 100))
            elif depth == 3 and tag == "name" and word is not None:
                phone = {"name": value}
                word["phones"].append(phone)
            elif depth == 3 and phone is not None and tag in ("index", "rankRatio", "timeRatio"):
                phone[tag] = float(value)
    spoken = []
    for w in words:
        if w["name"] in NON_SPOKEN:
            continue
        only_sil = len(w["phones"]) == 1 and w["phones"][0]["name"].startswith("sil+")
        ranked = [[int(p["index"]), p["rankRatio"], p["timeRatio"]] for p in w["phones"]
                  if not p["name"].startswith("sil+")]
        spoken.append([w.get("frames", 0), [] if only_sil else ranked])
    discounts = [0] * REASONS
    for d in doc.get("discounts", []):
        discounts[int(d["index"])] = int(d["occurrences"])
    return {"words": spoken, "discounts": discounts, "designated": doc.get("designatedSyllables", 0),
            "identified": doc.get("identifiedSyllables", 0), "score": float(doc["score"])}


def bell(x, a, b, c=0.0):
    """The engine's rank-to-score bell, 100 at x = c, 50 at |x - c| = a."""
    u = (x - c) / a
    return 100.0 if u == 0 else 100.0 / ((u * u) ** b + 1)


def utterance_score(r, params, ratios):
    """The engine's utterance score recomputed from stored scoring inputs:
    params[m] is model m's bell (a, b, c), ratios the seven discount ratios."""
    if r is None:
        return None
    total, weighted = 0, 0.0
    for frames, phones in r["words"]:
        node = 0.0
        if phones:
            den = sum(t for _, _, t in phones)
            if den > 0:
                node = sum(t * bell(x, *params[m]) for m, x, t in phones) / den
        total += frames
        weighted += frames * node
    score = weighted / total if total > 0 else 0.0
    for k in range(REASONS):
        if k != NOT_APPLIED and r["discounts"][k]:
            score *= ratios[k] ** r["discounts"][k]
    if r["designated"]:
        score *= r["identified"] / r["designated"]
    return score


def read_cm(path):
    """cm.txt as [(its six fields, (a, b, c))], one per model in model order."""
    rows = []
    with open(path, encoding="latin-1") as f:
        for line in f:
            if not line.strip() or line.startswith("%"):
                continue
            fields = line.rstrip("\n").split("\t")
            rows.append((fields, tuple(float(x) for x in fields[5].strip("[]").split())))
    return rows
