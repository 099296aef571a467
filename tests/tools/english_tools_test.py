#!/usr/bin/env python3
"""The English data tools on small made-up inputs: the letter-to-sound
converter, the lexicon maker, and the pure helpers of the recipe and the
evaluation."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "english")
sys.path.insert(0, TOOLS)

import corpus     # noqa: E402
import evaluate   # noqa: E402


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def run_tool(name, *args):
    return subprocess.run([sys.executable, os.path.join(TOOLS, name)] + list(args), capture_output=True, text=True)


class LetterToSoundConverter(unittest.TestCase):
    def convert(self, trees):
        with tempfile.TemporaryDirectory() as d:
            scm = os.path.join(d, "rules.scm")
            with open(scm, "w") as f:
                f.write(";; comment (with brackets)\n(set! cmu_lts_rules '(\n" + trees + "\n))\n")
            out = os.path.join(d, "out.cpp")
            r = run_tool("lts_rules_to_cpp.py", scm, out)
            return r, (read(out) if r.returncode == 0 else "")

    def letters(self, skip=""):
        return "\n".join("(%s (((%s 1) %s)))" % (c, c, c) for c in "abcdefghijklmnopqrstuvwxyz" if c not in skip)

    def test_questions_leaves_and_phone_strings(self):
        tree = ("(x ((n.name is #) (((k-s 1) k-s)) ((p.p.name is 0) (((_epsilon_ 1) _epsilon_)) "
                "(((g-z 0.5) (aa1 0.5) aa1)))))")
        r, cpp = self.convert(self.letters("x") + "\n" + tree)
        self.assertEqual(r.returncode, 0, r.stderr)
        # Stress digits go, multi-phone classes are joined by "_", epsilon is "".
        self.assertIn('"k_s",', cpp)
        self.assertIn('"aa",', cpp)
        self.assertNotIn("aa1", cpp)
        self.assertIn('    "",\n', cpp)
        # The x tree: question at offset +1 for "#", then offset -2 for "0".
        self.assertIn("{1,'#',", cpp)
        self.assertIn("{-2,'0',", cpp)
        self.assertIn("kLtsNodeCount = 30;", cpp)  # 25 one-leaf trees and the x tree of 5

    def test_a_missing_letter_or_strange_question_is_refused(self):
        r, _ = self.convert(self.letters("q"))
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("no tree for q", r.stderr)
        r, _ = self.convert(self.letters("x") + "\n(x ((p.gpos is a) (((k 1) k)) (((s 1) s))))")
        self.assertNotEqual(r.returncode, 0)
        self.assertIn("unexpected question", r.stderr)


class LexiconMaker(unittest.TestCase):
    def test_merges_lowers_sorts_and_writes_both_layouts(self):
        with tempfile.TemporaryDirectory() as d:
            src = os.path.join(d, "dict.out")
            with open(src, "w") as f:
                f.write('MNCL\n("zoo" nil (((z uw) 1)))\n("Aaron" n (((eh) 1) ((r ax n) 0)))\n'
                        '("a" dt (((ax) 0)))\n("a" n (((ey) 1)))\n("a" v (((ax) 0)))\n'
                        '("ab" nil (((ae b) 1)))\n')
            r = run_tool("make_lexicon.py", "--cmudict", src, os.path.join(d, "out"))
            self.assertEqual(r.returncode, 0, r.stderr)
            text = read(os.path.join(d, "out", "english.wpa"))
            self.assertEqual(text, "a\tax#ey\naaron\teh_r_ax_n\nab\tae_b\nzoo\tz_uw\n")
            data = read(os.path.join(d, "out", "english.wpab"), "rb")
            expect = struct.pack("<i", 4)
            for w, pas in (("a", ["ax", "ey"]), ("aaron", ["eh_r_ax_n"]), ("ab", ["ae_b"]), ("zoo", ["z_uw"])):
                expect += struct.pack("<i", len(w)) + w.encode() + struct.pack("<i", len(pas))
                for pa in pas:
                    expect += struct.pack("<i", len(pa)) + pa.encode()
            self.assertEqual(data, expect)

    def test_a_malformed_entry_names_the_file_and_line(self):
        with tempfile.TemporaryDirectory() as d:
            src = os.path.join(d, "dict.out")
            with open(src, "w") as f:
                f.write('("a" dt (((ax) 0)))\n("b" broken\n')
            r = run_tool("make_lexicon.py", "--cmudict", src, os.path.join(d, "out"))
            self.assertNotEqual(r.returncode, 0)
            self.assertIn("dict.out:2:", r.stderr)
            self.assertFalse(os.path.exists(os.path.join(d, "out", "english.wpa")))


class RecipeHelpers(unittest.TestCase):
    def test_normalise_keeps_words_and_apostrophes_and_drops_digits(self):
        self.assertEqual(corpus.normalise("\u201cDon\u2019t go,\u201d she said -- twice."), "don't go she said twice")
        self.assertEqual(corpus.normalise("'Tis the students' well-known books!"), "tis the students well known books")
        self.assertIsNone(corpus.normalise("In 1999 we met"))
        self.assertIsNone(corpus.normalise("Tom & Jerry"))

    def test_right_contexts_end_in_sil(self):
        self.assertEqual(corpus.contexts("k_ae_t"), ["k+ae", "ae+t", "t+sil"])
        self.assertEqual(corpus.contexts("ax"), ["ax+sil"])

    def test_item_generators_are_fixed_by_seed_and_key(self):
        self.assertEqual(corpus.rng("a", 1).random(), corpus.rng("a", 1).random())
        self.assertNotEqual(corpus.rng("a", 1).random(), corpus.rng("a", 2).random())

    def test_augmentation_chains_use_two_kinds_in_range(self):
        for i in range(200):
            effects, snr, desc = corpus.augment_chain(corpus.rng("t", i))
            self.assertEqual(len(desc.split("+")), 2)
            if snr is not None:
                self.assertTrue(10 <= snr <= 30)
                self.assertIn("noise", desc)
            if "gain" in effects:
                self.assertLessEqual(float(effects[effects.index("gain") + 1]), 0)


class StubEngine:
    """Scores 90 for the sentence a recording's name says, 20 for anything
    else and 0 on noise; recognises the right sentence except for 'b'."""

    def __init__(self):
        self.calls = []

    def assess(self, wav, sentence, details=False):
        said = os.path.basename(wav)[:-4].replace("_", " ")
        score = 0.0 if said.startswith("noise") else 90.0 if sentence == said else 20.0
        self.calls.append(sentence)
        doc = {"score": score}
        if details:
            doc["details"] = {"score": score, "sentence": sentence}
        return doc

    def recog(self, wav, sentences):
        said = os.path.basename(wav)[:-4].replace("_", " ")
        return sentences[0] if said.startswith("b ") else said


class HeldOutEvaluation(unittest.TestCase):
    def test_figures_and_kept_assessments_follow_the_utterances(self):
        texts = ["a one two", "b three four five", "c six seven", "d eight nine ten eleven"]
        rows = [["/x/%s.wav" % t.replace(" ", "_"), "sp%d" % (i % 2), t] for i, t in enumerate(texts)]
        details = []
        engines = [StubEngine(), StubEngine()]
        got = evaluate.evaluate_held_out(engines, rows, details=details)
        self.assertEqual(got["closed_set_accuracy"], 0.75)
        self.assertEqual(got["per_speaker_accuracy"], {"sp0": 1.0, "sp1": 0.5})
        self.assertEqual(got["auc_right_vs_wrong"], 1.0)
        self.assertEqual(got["auc_right_vs_one_word_changed"], 1.0)
        self.assertEqual(got["auc_right_vs_part"], 1.0)
        self.assertEqual((got["right_median_score"], got["silence_max_score"]), (90.0, 0.0))
        # One entry per utterance in list order, then the noise recordings.
        self.assertEqual([d["right"]["sentence"] for d in details[:4]], texts)
        self.assertEqual(len(details), 4 + len(evaluate.NOISE_LEVELS) * evaluate.SILENCE_PER_LEVEL)
        self.assertTrue(all(list(d) == ["silence"] for d in details[4:]))
        for d, t in zip(details, texts):
            self.assertNotEqual(d["wrong"]["sentence"], t)
            self.assertEqual(sum(a != b for a, b in zip(d["changed"]["sentence"].split(), t.split())), 1)
            self.assertIn(d["part"]["sentence"], t)
        # Both engines worked.
        self.assertTrue(all(e.calls for e in engines))


class EvaluationHelpers(unittest.TestCase):
    def test_auc(self):
        self.assertEqual(evaluate.auc([3, 4], [1, 2]), 1.0)
        self.assertEqual(evaluate.auc([1, 2], [3, 4]), 0.0)
        self.assertEqual(evaluate.auc([2], [2]), 0.5)
        self.assertAlmostEqual(evaluate.auc([1, 3], [2]), 0.5)
        self.assertIsNone(evaluate.auc([], [1]))

    def test_a_part_of_a_sentence_is_a_leading_or_trailing_half_never_the_whole(self):
        seen = set()
        for i in range(40):
            for text in ("a b", "a b c", "a b c d e f g"):
                words = text.split()
                part = evaluate.part_of(text, corpus.rng("part", i)).split()
                self.assertTrue(part == words[:len(part)] or part == words[-len(part):])
                self.assertEqual(len(part), min(len(words) - 1, (len(words) + 1) // 2))
                seen.add(part[0] == words[0])
        self.assertEqual(seen, {True, False})
        self.assertIsNone(evaluate.part_of("alone", corpus.rng("part", 0)))


if __name__ == "__main__":
    unittest.main()
