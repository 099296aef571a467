"""What the English evaluation and calibration scripts share: seeded choices,
the AUC, the engine in a scratch working folder, and parameter-file edits."""
import bisect
import hashlib
import os
import random
import shutil
import tempfile

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
