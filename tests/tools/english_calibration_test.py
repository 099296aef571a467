#!/usr/bin/env python3
"""The English calibration on made-up assessments: the recomputed score is
the engine's, the vectorised scorer agrees with it, the fit meets its limits
and separates, and the written tables are what the engine reads."""
import json
import os
import random
import sys
import tempfile
import unittest

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "english")
sys.path.insert(0, TOOLS)

import numpy as np   # noqa: E402

import calibrate      # noqa: E402
import english_eval   # noqa: E402

NAMES = ["aa+b", "aa+d", "b+aa", "d+aa", "k+aa", "s+sil", "sil", "sp"]


def assessment(words, discounts=None, identified=1, designated=1, score=0.0):
    return {"words": words, "discounts": discounts or [0] * 7, "identified": identified,
            "designated": designated, "score": score}


def made_up_runs(seed=3, n=40):
    """Right sentences: phones mostly ranked near the top; one word changed:
    one word's phones ranked low; another sentence: most phones low."""
    g = random.Random(seed)

    def word(bad, frames=None):
        phones = [[g.randrange(6), g.uniform(0.3, 0.9) if bad else abs(g.gauss(0, 0.03)), 0.05]
                  for _ in range(g.randint(1, 4))]
        return [frames or g.randint(10, 40), phones]

    runs = {"right": [], "other": [], "changed": [], "silence": []}
    for _ in range(n):
        length = g.randint(3, 8)
        runs["right"].append(assessment([word(False) for _ in range(length)]))
        k = g.randrange(length)
        runs["changed"].append(assessment([word(i == k) for i in range(length)],
                                          discounts=[0, g.random() < 0.4, 0, 0, 0, 0, 0]))
        runs["other"].append(assessment([word(g.random() < 0.7) for _ in range(length)], identified=length - 1,
                                        designated=length))
        runs["silence"].append(assessment([word(True, 3)], discounts=[1, 0, 0, 0, 5, 0, 2]))
    return runs


class RecomputedScore(unittest.TestCase):
    def test_the_engines_worked_example(self):
        # Node scores 80 over 20 frames and 60 over 30 (bell a = 1, b = 0.5:
        # rank ratios 0.25 and 2/3), one over-short word at ratio 0.9 and
        # every syllable identified give 61.2.
        r = assessment([[20, [[0, 0.25, 0.1]]], [30, [[0, 2 / 3, 0.2]]]], discounts=[0, 1, 0, 0, 0, 0, 0])
        ratios = [1, 0.9, 1, 1, 1, 1, 1]
        self.assertAlmostEqual(english_eval.utterance_score(r, [(1.0, 0.5, 0.0)], ratios), 61.2, places=4)

    def test_a_silence_node_scores_zero_and_the_count_difference_is_not_applied(self):
        r = assessment([[10, [[0, 0.0, 0.5]]], [10, []]], discounts=[0, 0, 0, 0, 9, 0, 0], identified=1,
                       designated=2)
        # (100 x 10 + 0 x 10) / 20, halved by one identified word of two.
        self.assertAlmostEqual(english_eval.utterance_score(r, [(0.05, 0.5, 0.0)], [0.5] * 7), 25.0)

    def test_the_vectorised_scorer_agrees_with_the_engines_rule(self):
        runs = made_up_runs()
        runs["right"].append(assessment([[12, [[1, 0.0, 0.0], [2, 0.4, 0.0]]], [0, [[3, 0.1, 0.2]]]]))
        scorer = calibrate.Scorer(runs)
        g = random.Random(7)
        for _ in range(5):
            a = np.array([g.uniform(0.01, 0.3) for _ in NAMES])
            b = g.choice([0.5, 2.0, 6.0])
            ratios = [g.uniform(0.3, 1.0) for _ in range(7)]
            params = [(w, b, 0.0) for w in a]
            for kind, results in runs.items():
                want = [english_eval.utterance_score(r, params, ratios) for r in results]
                np.testing.assert_allclose(scorer.scores(kind, a, b, ratios), want, rtol=1e-9, atol=1e-9)

    def test_fast_auc_is_the_auc_with_ties(self):
        g = random.Random(1)
        for _ in range(20):
            pos = [g.randint(0, 5) for _ in range(g.randint(1, 9))]
            neg = [g.randint(0, 5) for _ in range(g.randint(1, 9))]
            self.assertAlmostEqual(calibrate.fast_auc(np.array(pos), np.array(neg)), english_eval.auc(pos, neg))
        self.assertIsNone(calibrate.fast_auc(np.array([]), np.array([1.0])))


class Fit(unittest.TestCase):
    def test_rare_models_borrow_the_width_of_their_phone_then_of_all(self):
        runs = {"right": [assessment([[10, [[0, 0.1, 1], [0, 0.1, 1], [0, 0.1, 1], [1, 0.3, 1], [1, 0.3, 1],
                                            [2, 0.5, 1]]]])]}
        calibrate.MIN_PHONES, keep = 3, calibrate.MIN_PHONES
        try:
            pools, pooled, counts = calibrate.widths_by_model(runs, NAMES)
        finally:
            calibrate.MIN_PHONES = keep
        self.assertEqual(counts[:3], [3, 2, 1])
        self.assertEqual(list(pools[0]), [0.1] * 3)      # its own
        self.assertEqual(sorted(pools[1]), [0.1] * 3 + [0.3] * 2)  # aa+b and aa+d together
        self.assertEqual(len(pools[2]), 6)               # b+aa alone: every phone
        self.assertEqual(len(pooled), 6)

    def test_the_fit_meets_its_limits_and_separates(self):
        runs = made_up_runs()
        scorer = calibrate.Scorer(runs)
        pools, pooled, _ = calibrate.widths_by_model(runs, NAMES)
        fitted = calibrate.fit(scorer, pools, pooled, 90.0, calibrate.START_RATIOS)
        self.assertTrue(fitted["constraints_met"])
        got = calibrate.figures(scorer, fitted["widths"], fitted["b"], fitted["ratios"])
        self.assertGreaterEqual(got["right"]["median"], 90.0)
        self.assertLessEqual(got["changed"]["median"], calibrate.CHANGED_MEDIAN)
        self.assertLessEqual(got["other"]["median"], calibrate.WRONG_MEDIAN)
        self.assertGreater(got["changed"]["auc_right_vs"], 0.9)
        self.assertEqual(fitted["ratios"][calibrate.NOT_APPLIED], 1.0)
        self.assertTrue(all(w >= fitted["floor"] for w in fitted["widths"]))

    def test_the_evaluations_wrong_sentences_are_the_other_kind(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "eval.json")
            r = assessment([[10, [[0, 0.0, 1.0]]]])
            with open(path, "w") as f:
                json.dump([{"right": r, "wrong": r, "changed": None}, {"silence": r}], f)
            runs = calibrate.load_eval(path)
        self.assertEqual(sorted((k, len(v)) for k, v in runs.items()), [("other", 1), ("right", 1), ("silence", 1)])


class WrittenTables(unittest.TestCase):
    def test_tables_keep_the_model_lines_and_parameter_files_point_at_them(self):
        with tempfile.TemporaryDirectory() as home:
            d = os.path.join(home, "kedoData", "english")
            os.makedirs(d)
            with open(os.path.join(d, "cm.txt"), "w") as f:
                f.write("% header\n")
                for i, n in enumerate(NAMES):
                    f.write("%s\t%d\t5\t0\t0\t[0.05 0.5 0]\n" % (n, i))
            for name in ("english.sa.prm", "english.vc.prm"):
                with open(os.path.join(home, "kedoData", name), "w") as f:
                    f.write("function = assess\ncmParamFile = elsewhere.txt\n")
            rows = english_eval.read_cm(os.path.join(d, "cm.txt"))
            fitted = {"widths": np.linspace(0.01, 0.08, len(NAMES)), "b": 3.0, "ratios": [1, 0.8, 1, 1, 1, 1, 0.7],
                      "rank2score": (0.04, 3.0, 0.0)}
            calibrate.write_files(home, rows, fitted, [0] * len(NAMES), "a note", {"netType": "1"})
            again = english_eval.read_cm(os.path.join(d, "cm.txt"))
            self.assertEqual([f[:5] for f, _ in again], [f[:5] for f, _ in rows])
            self.assertEqual([p[1] for _, p in again], [3.0] * len(NAMES))
            self.assertAlmostEqual(again[-1][1][0], 0.08)
            with open(os.path.join(d, "discount.txt")) as f:
                self.assertEqual(f.read().split(), ["1", "0.8", "1", "1", "1", "1", "0.7"])
            with open(os.path.join(d, "rank2score.txt")) as f:
                self.assertEqual(f.read().split(), ["0.04", "3", "0"])
            for name in ("english.sa.prm", "english.vc.prm"):
                prm = english_eval.read_prm(os.path.join(home, "kedoData", name))
                self.assertEqual(prm["cmParamFile"], "kedoData/english/cm.txt")
                self.assertEqual(prm["scoreDiscountParamFile"], "kedoData/english/discount.txt")
                # The settings the calibration ran with are the assessment's only.
                self.assertEqual(prm.get("netType"), "1" if name == "english.sa.prm" else None)


if __name__ == "__main__":
    unittest.main()
