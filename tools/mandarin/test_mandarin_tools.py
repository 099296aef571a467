"""Tests of the Mandarin lexicon, corpus and evaluation tools (python3 -m
unittest discover -s tools/mandarin; ctest runs them as mandarin_tools)."""

import array
import math
import os
import random
import subprocess
import sys
import tempfile
import unittest
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import calibrate  # noqa: E402
import corpus  # noqa: E402
import evaluate  # noqa: E402
import make_lexicon  # noqa: E402
import pinyin  # noqa: E402

SYLLABLES = pinyin.read_syllables(os.path.join(HERE, "syllables.txt"))


class Spellings(unittest.TestCase):
    def test_hanyu_spelling_rules_are_undone_before_the_final_is_named(self):
        cases = {"yu": ("", "v"), "ju": ("j", "v"), "lv": ("l", "v"), "lu": ("l", "u"), "liu": ("l", "iou"),
                 "gui": ("g", "uei"), "dun": ("d", "uen"), "xun": ("x", "vn"), "wen": ("", "uen"),
                 "zhi": ("zh", "-i"), "si": ("s", "-i"), "ji": ("j", "i"), "yong": ("", "iong"), "er": ("", "er")}
        for hanyu, parts in cases.items():
            self.assertEqual(pinyin.split(hanyu), parts, hanyu)

    def test_not_a_syllable_is_refused(self):
        for bad in ("zhv", "bx", "qa"):
            with self.assertRaises(ValueError):
                pinyin.split(bad)

    def test_toned_spellings_stay_distinct_and_zhuyin_marks_the_tone(self):
        for column in (pinyin.zhuyin, pinyin.tongyong, pinyin.cgu):
            spelled = [column(s, t) for s in SYLLABLES for t in range(1, 6)]
            self.assertEqual(len(spelled), len(set(spelled)), column.__name__)
        self.assertEqual(pinyin.zhuyin("ma", 1), "ㄇㄚ")
        self.assertEqual(pinyin.zhuyin("ma", 3), "ㄇㄚˇ")
        self.assertEqual(pinyin.zhuyin("de", 5), "˙ㄉㄜ")
        self.assertEqual(pinyin.cgu("zhong", 1), "jung1")

    def test_every_zhuyin_spelling_fits_big5(self):
        for s in SYLLABLES:
            for t in (None, 2, 3, 4, 5):
                pinyin.zhuyin(s, t).encode("cp950")

    def test_models_split_palatals_from_retroflexes_and_give_onsets(self):
        self.assertEqual(pinyin.models("ji"), ["jy", "i"])
        self.assertEqual(pinyin.models("zhi"), ["j", "ir"])
        self.assertEqual(pinyin.models("zi"), ["tz", "iz"])
        self.assertEqual(pinyin.models("qu"), ["chy", "iu"])
        self.assertEqual(pinyin.models("yue"), ["yw", "iue"])
        self.assertEqual(pinyin.models("wo"), ["w", "uo"])
        self.assertEqual(pinyin.models("an"), ["gs", "an"])
        self.assertEqual(pinyin.models("ma", 3), ["m", "a3"])
        initials = {pinyin.models(s)[0] for s in SYLLABLES}
        finals = {pinyin.models(s)[1] for s in SYLLABLES}
        self.assertEqual(initials & finals, set())  # one model set holds both

    def test_unihan_readings_lose_their_marks_into_a_tone_digit(self):
        self.assertEqual(pinyin.parse_reading("zhōng"), ("zhong", 1))
        self.assertEqual(pinyin.parse_reading("lüè"), ("lve", 4))
        self.assertEqual(pinyin.parse_reading("nǚ"), ("nv", 3))
        self.assertEqual(pinyin.parse_reading("le"), ("le", 5))
        self.assertEqual(pinyin.parse_reading("ế"), ("eh", 2))
        self.assertEqual(pinyin.parse_reading("ńg"), ("ng", 2))  # not a table syllable


class Lexicon(unittest.TestCase):
    def test_normalisation_takes_no_byte_that_could_begin_a_character(self):
        rules = make_lexicon.normalisation_rules()
        froms = [f for f, _ in rules]
        self.assertEqual(len(froms), len(set(froms)))
        for f, _ in rules:
            self.assertNotIn(b"#", f)
            self.assertFalse(f.startswith(b"%"))
            self.assertLess(f[-1], 0x40 if len(f) == 1 else 0x80, f)
        self.assertIn(("，".encode("cp950"), b""), rules)
        self.assertIn((b"7", "七".encode("cp950")), rules)

    def test_reading_fields_and_their_order(self):
        self.assertEqual(make_lexicon.reading_values("kMandarin", "zhǎng cháng"), ["cháng", "zhǎng"])
        self.assertEqual(make_lexicon.reading_values("kHanyuPinlu", "de(75596) dì(157)"), ["de", "dì"])
        self.assertEqual(make_lexicon.reading_values("kXHC1983", "0442.080:háng 0460.010,0461.020:xìng,xíng"),
                         ["háng", "xìng", "xíng"])

    def test_a_character_reads_modern_readings_before_the_historical_dictionary(self):
        unknown = {}
        fields = {"kMandarin": ["xíng"], "kXHC1983": ["háng", "xíng", "ḿ"], "kHanyuPinyin": ["héng"]}
        counter = make_lexicon.collections.Counter()
        rs = make_lexicon.char_readings(fields, set(SYLLABLES), counter)
        self.assertEqual(rs, [("xing", 2), ("hang", 2)])
        self.assertEqual(counter["ḿ"], 1)
        self.assertEqual(make_lexicon.char_readings({"kHanyuPinyin": ["héng"]}, set(SYLLABLES), counter),
                         [("heng", 2)])
        del unknown

    def test_big5_characters_come_from_iconv_both_ways(self):
        chars = make_lexicon.big5_characters()
        self.assertGreater(len(chars), 13000)
        self.assertEqual(chars["中"], b"\xa4\xa4")
        self.assertEqual(chars["ㄅ"], b"\xa3\x74")


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(16000)
        w.writeframes(array.array("h", samples).tobytes())


def read_wav(path):
    with wave.open(path, "rb") as w:
        return array.array("h", w.readframes(w.getnframes()))


class Corpus(unittest.TestCase):
    def test_noise_lies_the_asked_decibels_below_the_speech_and_repeats_with_its_seed(self):
        with tempfile.TemporaryDirectory() as d:
            clean = [round(8000 * math.sin(2 * math.pi * 220 * i / 16000)) for i in range(16000)]
            paths = [os.path.join(d, "%d.wav" % i) for i in range(3)]
            for p, seed in zip(paths, (5, 5, 6)):
                write_wav(p, clean)
                corpus.add_noise(p, 20, seed)
            a, b, c = (read_wav(p) for p in paths)
            self.assertEqual(a, b)
            self.assertNotEqual(a, c)
            signal = sum(v * v for v in clean)
            noise = sum((x - y) ** 2 for x, y in zip(a, clean))
            self.assertAlmostEqual(10 * math.log10(signal / noise), 20, delta=0.5)

    def test_augmentations_stay_in_their_ranges_and_follow_the_seed(self):
        draws = [corpus.augmentation(random.Random(s)) for s in range(300)]
        self.assertEqual(draws, [corpus.augmentation(random.Random(s)) for s in range(300)])
        kinds = set()
        for effects, noise in draws:
            if noise is not None:
                self.assertTrue(10 <= noise <= 30)
                kinds.add("noise")
            for e in effects.split(","):
                words = e.split()
                kinds.add(words[0])
                if words[0] == "tempo":
                    self.assertTrue(0.85 <= float(words[1]) <= 1.15)
                elif words[0] == "vol":
                    self.assertTrue(-24 <= int(words[1][:-2]) <= 0)
        self.assertEqual(kinds, {"clean", "tempo", "speed", "pitch", "noise", "reverb", "sinc", "vol"})

    def test_a_syllable_is_represented_by_a_character_read_only_that_way(self):
        readings = {"甲": [("ma", 1)], "乙": [("ma", 1), ("mo", 2)], "丙": [("ma", 1)], "丁": [("mo", 2), ("ma", 1)]}
        counts = {"甲": 5, "乙": 100, "丙": 9, "丁": 1}
        rep = corpus.representatives(readings, counts)
        self.assertEqual(rep[("ma", 1)], "丙")  # single reading, most frequent
        self.assertEqual(rep[("mo", 2)], "丁")  # its first reading beats a second one

    def test_espeak_reads_the_bare_e_circumflex_as_e(self):
        self.assertEqual(corpus.spoken("eh", 2), "e2")
        self.assertEqual(corpus.spoken("lv", 3), "lv3")

    def test_run_sh_refuses_an_output_folder_inside_the_repository(self):
        root = os.path.dirname(os.path.dirname(HERE))
        r = subprocess.run(["bash", os.path.join(HERE, "run.sh"), "--out", os.path.join(root, "sets")],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(r.returncode, 2)
        self.assertIn(b"outside the repository", r.stderr)


class Evaluation(unittest.TestCase):
    def test_auc_counts_ties_as_half(self):
        self.assertEqual(evaluate.auc([3, 4], [1, 2]), 1.0)
        self.assertEqual(evaluate.auc([1], [2]), 0.0)
        self.assertEqual(evaluate.auc([2, 2], [2, 1]), 0.75)
        self.assertTrue(math.isnan(evaluate.auc([], [1])))

    def test_contours_of_the_four_tones_are_told_apart(self):
        def contour(tone, base, n, rng):
            shapes = {"1": lambda x: 6, "2": lambda x: 2 + 5 * x, "3": lambda x: 2 - 6 * x * (1 - x) * 2,
                      "4": lambda x: 7 - 7 * x}
            return [0] * 5 + [base + shapes[tone](i / (n - 1)) + rng.uniform(-0.3, 0.3) for i in range(n)] + [0] * 5

        rng = random.Random(1)
        train = [(evaluate.contour_features(contour(t, rng.uniform(40, 60), rng.randint(15, 40), rng)), t)
                 for t in "1234" for _ in range(20)]
        test = [(evaluate.contour_features(contour(t, rng.uniform(40, 60), rng.randint(15, 40), rng)), t)
                for t in "1234" for _ in range(10)]
        predicted = evaluate.knn_classifier(train, test)
        self.assertEqual(predicted, [t for _, t in test])

    def test_a_contour_needs_a_voiced_stretch_of_three_frames(self):
        self.assertIsNone(evaluate.contour_features([0, 50, 51, 0, 52, 0]))
        self.assertIsNotNone(evaluate.contour_features([0, 50, 51, 52, 0]))

    def test_one_character_changes_to_a_character_of_other_syllables(self):
        rng = random.Random(3)
        syllable_of = {"我": {"wo"}, "學": {"shiue"}, "中": {"jung"}, "文": {"wen"}}
        by_syllable = {"wo": ["我"], "shiue": ["學"], "jung": ["中"], "wen": ["文"]}
        for _ in range(20):
            changed = evaluate.changed_character("我學中文", rng, by_syllable, syllable_of)
            diff = [i for i, (x, y) in enumerate(zip(changed, "我學中文")) if x != y]
            self.assertEqual(len(diff), 1)
            self.assertNotIn(changed[diff[0]], "我學中文"[diff[0]])

    def test_the_home_folder_names_only_files_it_holds(self):
        with tempfile.TemporaryDirectory() as out:
            models = os.path.join(out, "models")
            lexicon = os.path.join(out, "lexicon")
            os.makedirs(models)
            os.makedirs(lexicon)
            args = type("Args", (), {"out": out, "models": models, "toned": False})()
            with self.assertRaises(SystemExit) as refused:
                evaluate.make_home(args)
            self.assertIn("no finished model set", str(refused.exception))
            for name in ("models.macb", "models.cnt", "cm.txt"):
                open(os.path.join(models, name), "w").write(name)
            for name in evaluate.LEXICON_FILES:
                open(os.path.join(lexicon, name), "w").write(name)
            home = evaluate.make_home(args)
            for prm in ("chinese.sa.prm", "chinese.vc.prm"):
                values = {}
                for line in open(os.path.join(home, "kedoData", prm), encoding="ascii"):
                    if "=" in line and not line.startswith("%"):
                        key, value = (x.strip() for x in line.split("=", 1))
                        values[key] = value
                self.assertEqual(values["macFile"], "kedoData/chinese/trained/models.macb")
                self.assertEqual(values["dicFile"], "kedoData/chinese/trained/mandarin.pam")
                for key, value in values.items():
                    if value.startswith("kedoData/") and key != "outputDir":
                        self.assertTrue(os.path.exists(os.path.join(home, value)), (prm, key, value))
            # Calibrated scoring files replace the trainer's bells and the bundled ones.
            scoring = os.path.join(out, "scoring")
            os.makedirs(scoring)
            for name in evaluate.SCORING_FILES:
                with open(os.path.join(scoring, name), "w") as f:
                    f.write(name)
            home = evaluate.make_home(args)
            with open(os.path.join(home, "kedoData", "chinese.sa.prm"), encoding="ascii") as f:
                prm = f.read()
            for key, name in (("cmParamFile", "cm.txt"), ("phoneRank2scoreParamFile", "rank2score.txt"),
                              ("scoreDiscountParamFile", "discount.txt")):
                self.assertIn("%s = kedoData/chinese/trained/%s\n" % (key, name), prm)
                with open(os.path.join(home, "kedoData", "chinese", "trained", name)) as f:
                    self.assertEqual(f.read(), name)


class Calibration(unittest.TestCase):
    CMD = ("1: ni [10 29] (50, 50, 50)\n\t0: n [10 14]\n\t\t0: n(-1) 1: m(-2)\n\t\tRank ratio: 0/4=0\n"
           "\t\tTime weight: 5/30=16%\n\t\tScore: 100, 100, 100\n\t1: i [15 29]\n\t\tRank ratio: 2/4=0.5\n"
           "\t\tTime weight: 15/30=50%\n2: hau [30 39] (1, 2, 3)\n\t0: h [30 39]\n\t\tRank ratio: 1/4=0.25\n"
           "\t\tTime weight: 10/30=33%\n\n\xad\xec\xa9\x6c = 1, 2, 3\n")

    def test_phone_cmd_and_the_offline_score(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "phone.cmd")
            with open(path, "wb") as f:
                f.write(self.CMD.encode("latin-1"))
            nodes = calibrate.parse_cmd(path)
        self.assertEqual(nodes, [(20, [("n", 0.0, 5 / 30), ("i", 0.5, 15 / 30)]), (10, [("h", 0.25, 10 / 30)])])
        # Bells: n and i with a = 0.5, b = 1 (100 and 50), h by default a = 0.25 (50).
        params = {"n": (0.5, 1.0, 0.0), "i": (0.5, 1.0, 0.0)}
        result = {"discounts": [{"index": 1, "occurrences": 2}, {"index": 4, "occurrences": 3}],
                  "designatedSyllables": 2, "identifiedSyllables": 1}
        node1 = (5 * 100 + 15 * 50) / 20
        expected = (20 * node1 + 10 * 50) / 30 * 0.9 ** 2 * 0.5  # reason 4 is never applied
        ratios = [0.5, 0.9, 0.9, 0.9, 0.1, 0.9, 0.9]
        self.assertAlmostEqual(calibrate.score((result, nodes), params, (0.25, 1.0, 0.0), ratios), expected)
        self.assertEqual(calibrate.score((None, []), params, (0.25, 1.0, 0.0), ratios), 0.0)


if __name__ == "__main__":
    unittest.main()
