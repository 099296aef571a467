#!/usr/bin/env python3
"""Puts a trained and calibrated Mandarin set into a data folder (by default
the repository's data/kedoData), replacing whatever Chinese set is there:

  chinese/       models.macb, models.cnt (from --models), cm.txt,
                 rank2score.txt, discount.txt (from --scoring, as
                 calibrate.py writes them); the mandarin.* lexicon files stay
                 as make_lexicon.py wrote them; every other file goes
  chinese.sa.prm, chinese.vc.prm   naming those files
  samples/       chinese.wav (the sample sentence spoken by a held-out voice
                 variant), chinese.txt (its sentence) and chinese_list.txt
                 (six sentences including it), in Big5

Usage: ship.py --out CORPUS_DIR --models DIR --scoring DIR [--data DIR]
Needs espeak-ng and sox. The same tools give the same bytes.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)
from corpus import VOICE, add_noise  # noqa: E402

LEXICON = ("mandarin.pam", "mandarin.tab", "mandarin.wpa", "mandarin.tnm", "mandarin.qiyin")
SCORING = ("cm.txt", "rank2score.txt", "discount.txt")
# The sample: a held-out voice variant at a middle speed and pitch.
SAMPLE = "我們今天去學校"
SAMPLE_PINYIN = "wo3 men5 jin1 tian1 qu4 xue2 xiao4"
SAMPLE_VOICE, SAMPLE_SPEED, SAMPLE_PITCH, SAMPLE_SEED = "m7", 150, 50, 16
SAMPLE_LIST = [SAMPLE, "我學中文", "今天天氣很好", "他們明天去公園", "請問現在幾點", "我喜歡看書"]

PRM = """%% Chinese {what} parameters: the Mandarin set (tools/mandarin)
function = {function}
language = chinese
pinyinType = cgu
dicFile = kedoData/chinese/mandarin.pam
pyTableFile = kedoData/chinese/mandarin.tab
wpaFile = kedoData/chinese/mandarin.wpa
tnmFile = kedoData/chinese/mandarin.tnm
featureConfigFile = kedoData/features.cfg
macFile = kedoData/chinese/models.macb
modelCountFile = kedoData/chinese/models.cnt
qiYinFile = kedoData/chinese/mandarin.qiyin
cmParamFile = kedoData/chinese/cm.txt
phoneRank2scoreParamFile = kedoData/chinese/rank2score.txt
scoreDiscountParamFile = kedoData/chinese/discount.txt
outputDir = kedoData/output
useAllModelAsCompetingModel = 1
comparisonMode = 1
maxCandidateNum = 1000
probTh = 1000
useEpd = 0
usePaddedHardSp = 0
{extra}"""


def render_sample(path):
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "espeak.wav")
        subprocess.run(["espeak-ng", "-v", VOICE + "+" + SAMPLE_VOICE, "-s", str(SAMPLE_SPEED), "-p",
                        str(SAMPLE_PITCH), "-w", raw, SAMPLE_PINYIN], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out = os.path.join(tmp, "sample.wav")
        subprocess.run(["sox", "-R", "-D", "-q", "-V1", raw, "-r", "16000", "-b", "16", "-c", "1", out, "gain", "-3",
                        "pad", "0.3", "0.3", "rate", "16000"], check=True)
        add_noise(out, 40, SAMPLE_SEED)  # faint noise, so that the pauses are no digital silence
        shutil.copyfile(out, path)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", required=True, help="the corpus folder of run.sh")
    ap.add_argument("--models", required=True, help="kedo train's output folder")
    ap.add_argument("--scoring", required=True, help="calibrate.py's output folder")
    ap.add_argument("--data", default=os.path.join(ROOT, "data", "kedoData"))
    a = ap.parse_args()
    chinese = os.path.join(a.data, "chinese")
    missing = [f for f in LEXICON if not os.path.exists(os.path.join(chinese, f))]
    if missing:
        raise SystemExit("ship.py: %s lacks %s (make_lexicon.py writes them)" % (chinese, ", ".join(missing)))
    for name in os.listdir(chinese):
        if name not in LEXICON:
            os.remove(os.path.join(chinese, name))
    for name in ("models.macb", "models.cnt"):
        shutil.copyfile(os.path.join(a.models, name), os.path.join(chinese, name))
    for name in SCORING:
        shutil.copyfile(os.path.join(a.scoring, name), os.path.join(chinese, name))
    for prm, what, function, extra in (("chinese.sa.prm", "assessment", "assess", "getPitch = 1\n"),
                                       ("chinese.vc.prm", "recognition", "recog", "")):
        with open(os.path.join(a.data, prm), "w", encoding="ascii") as f:
            f.write(PRM.format(what=what, function=function, extra=extra))
    samples = os.path.join(a.data, "samples")
    os.makedirs(samples, exist_ok=True)
    render_sample(os.path.join(samples, "chinese.wav"))
    with open(os.path.join(samples, "chinese.txt"), "wb") as f:
        f.write(SAMPLE.encode("cp950"))
    with open(os.path.join(samples, "chinese_list.txt"), "wb") as f:
        f.write("".join(s + "\n" for s in SAMPLE_LIST).encode("cp950"))
    size = sum(os.path.getsize(os.path.join(chinese, n)) for n in os.listdir(chinese))
    print("ship: the Chinese set in %s, %.1f MB" % (chinese, size / 1e6))
    return 0


if __name__ == "__main__":
    sys.exit(main())
