#!/usr/bin/env python3
"""The English data tools on small made-up inputs: the letter-to-sound
converter, the lexicon maker, and the pure helpers of the recipe and the
evaluation."""
import array
import contextlib
import io
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

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


class VoiceChangedCopies(unittest.TestCase):
    def test_tract_factors_avoid_the_speakers_own_and_alternate(self):
        sides = set()
        for i in range(100):
            uid = "train-0-%05d" % i
            (k0, p0), (k1, p1) = corpus.voice_change(uid, 0), corpus.voice_change(uid, 1)
            self.assertEqual((k0, p0), corpus.voice_change(uid, 0))
            for k, p in ((k0, p0), (k1, p1)):
                self.assertTrue(0.88 <= k <= 0.96 or 1.04 <= k <= 1.12, k)
                self.assertLessEqual(abs(p), 200)
            # One copy shorter, the other longer; either may come first.
            self.assertLess((k0 - 1) * (k1 - 1), 0)
            sides.add(k0 < 1)
        self.assertEqual(sides, {True, False})

    @unittest.skipUnless(shutil.which("sox") and shutil.which("rubberband"), "needs sox and rubberband")
    def test_a_copy_keeps_duration_and_pitch_moves_formants_and_repeats(self):
        def samples(path):
            with wave.open(path) as w:
                return array.array("h", w.readframes(w.getnframes()))

        def pitch(x):
            seg = x[4000:8000]
            lag = max(range(80, 200), key=lambda l: sum(a * b for a, b in zip(seg, seg[l:])) / (len(seg) - l))
            return 16000.0 / lag

        def mean_frequency(x):
            # The root-mean-square frequency: the formants decide it here.
            seg = x[2000:14000]
            diff = sum((b - a) ** 2 for a, b in zip(seg, seg[1:]))
            return math.sqrt(diff / sum(a * a for a in seg))

        with tempfile.TemporaryDirectory() as d:
            src = os.path.join(d, "src.wav")
            # A 120 Hz pulse train through two resonances: a vowel-like sound.
            subprocess.run(["sox", "-R", "-n", "-r", "16000", "-c", "1", "-b", "16", src, "synth", "1", "square",
                            "120", "bandpass", "700", "200h", "bandpass", "1200", "300h", "norm", "-3"], check=True)

            def render(name, k, cents):
                dest = os.path.join(d, name)
                corpus.voice_copy(src, dest, k, cents)
                with wave.open(dest) as w:
                    self.assertEqual((w.getframerate(), w.getsampwidth(), w.getnchannels()), (16000, 2, 1))
                return samples(dest), read(dest, "rb")

            x0 = samples(src)
            short, bytes1 = render("short.wav", 1.12, 0)
            long_, _ = render("long.wav", 0.88, 0)
            self.assertEqual(render("again.wav", 1.12, 0)[1], bytes1)
            for x in (short, long_):
                self.assertLess(abs(len(x) - len(x0)), 160)
                self.assertAlmostEqual(pitch(x) / pitch(x0), 1, delta=0.06)
            self.assertGreater(mean_frequency(short), mean_frequency(x0) * 1.04)
            self.assertLess(mean_frequency(long_), mean_frequency(x0) * 0.96)
            # The pitch change moves the pitch too.
            self.assertAlmostEqual(pitch(render("higher.wav", 1.12, 200)[0]) / pitch(x0), 2 ** (200 / 1200), delta=0.06)


class BalancedTrainingList(unittest.TestCase):
    VOICES = [("espeak-en-us-m1", "espeak", "en-us+m1", "train"), ("espeak-en-gb-f2", "espeak", "en-gb+f2", "train"),
              ("espeak-en-029-m3", "espeak", "en-029+m3", "train"), ("kal", "flite", "kal", "train"),
              ("slt", "festival", "cmu_us_slt_arctic_hts", "train")]

    def test_twins_are_what_the_espeak_voices_would_have_said(self):
        texts = ["text %d" % i for i in range(60)]
        alone, none = corpus.plan_rows("train", texts, self.VOICES, 2, other_share=0.0)
        rows, twins = corpus.plan_rows("train", texts, self.VOICES, 2, other_share=0.8)
        self.assertEqual(none, [])
        self.assertEqual(len(rows), len(alone))
        by_uid = {r[0]: r for r in alone}
        # Every row the share moved off espeak-ng has its twin, equal to the
        # row of the plan without the share; the rest are unchanged.
        moved = [r for r, a in zip(rows, alone) if r != a]
        self.assertTrue(moved)
        self.assertEqual(sorted(t[0] for t in twins), sorted(r[0] for r in moved if by_uid[r[0]][2] == "espeak"))
        for t in twins:
            self.assertEqual(t, by_uid[t[0]])
        for r in moved:
            self.assertNotEqual(r[2], "espeak")
            self.assertEqual(r[4:], by_uid[r[0]][4:])
        self.assertEqual(corpus.plan_rows("eval", texts[:5], self.VOICES[:2], 1, other_share=0.8)[1], [])

    def test_balance_keeps_every_espeak_row_and_draws_the_others(self):
        rows = [("u%d" % i, "s", "espeak" if i % 3 == 0 else "flite") for i in range(30)]
        half = corpus.balance(rows, 0.5, corpus.rng("b"))
        self.assertEqual([r for r in half if r[2] == "espeak"], [r for r in rows if r[2] == "espeak"])
        self.assertEqual(sum(r[2] != "espeak" for r in half), 10)
        self.assertEqual(half, sorted(half, key=rows.index))
        self.assertEqual(half, corpus.balance(rows, 0.5, corpus.rng("b")))
        self.assertNotEqual(half, corpus.balance(rows, 0.5, corpus.rng("c")))
        self.assertEqual(sum(r[2] != "espeak" for r in corpus.balance(rows, 0.25, corpus.rng("b"))), 20)
        self.assertEqual(corpus.balance(rows, 0.1, corpus.rng("b")), rows)   # too few others: all of them

    def test_lists_take_twins_and_only_the_plan_rows_augmented_copies(self):
        plan = [("train-0-00001", "kal", "flite", "kal", 1.0, 0, "a b"),
                ("train-0-00002", "espeak-en-us-m1", "espeak", "en-us+m1", 1.0, 0, "c d"),
                ("train-0-00003", "slt", "festival", "cmu_us_slt_arctic_hts", 1.0, 0, "e f")]
        twins = [("train-0-00001", "espeak-en-gb-f2", "espeak", "en-gb+f2", 1.0, 0, "a b"),
                 ("train-0-00099", "espeak-en-gb-f2", "espeak", "en-gb+f2", 1.0, 0, "beyond the prefix")]
        with tempfile.TemporaryDirectory() as out:
            corpus.write_atomic(os.path.join(out, "lists", "plan_train.tsv"), corpus.plan_lines(plan))
            corpus.write_atomic(os.path.join(out, "lists", "plan_train_twins.tsv"), corpus.plan_lines(twins))
            corpus.write_atomic(os.path.join(out, "lists", "plan_eval.tsv"), "")
            files = ["train/kal/train-0-00001", "train/espeak-en-gb-f2/train-0-00001",
                     "train/espeak-en-us-m1/train-0-00002", "train/slt/train-0-00003",
                     "train/espeak-en-gb-f2/train-0-00099", "augmented/kal/train-0-00001-a0",
                     "augmented/espeak-en-gb-f2/train-0-00001-a0", "voice/kal/train-0-00001-v0",
                     "voice/slt/train-0-00003-v0", "voice/espeak-en-us-m1/train-0-00002-v0"]
            for f in files:
                os.makedirs(os.path.dirname(os.path.join(out, "wav", f)), exist_ok=True)
                with wave.open(os.path.join(out, "wav", f + ".wav"), "wb") as w:
                    w.setparams((1, 2, 16000, 0, "NONE", ""))
                    w.writeframes(b"\0\0" * 1600)

            def listed(share, voices=0):
                old = corpus.ESPEAK_SHARE, corpus.VOICE_COPIES
                corpus.ESPEAK_SHARE, corpus.VOICE_COPIES = share, voices
                try:
                    with contextlib.redirect_stdout(io.StringIO()):
                        corpus.cmd_lists(out)
                finally:
                    corpus.ESPEAK_SHARE, corpus.VOICE_COPIES = old
                return [l.split("\t")[0][len(out) + 5:-4] for l in read(os.path.join(out, "lists", "train.tsv")).split("\n") if l]

            self.assertEqual(listed(0), [files[0], files[5], files[2], files[3]])
            # Two espeak-ng files (one a twin) to one other; the plan's kal
            # row keeps its augmented copy even where its clean file is not
            # drawn; the twin's stray copy and the twin beyond the prefix stay out.
            got = listed(2 / 3)
            self.assertEqual([f for f in got if "espeak" in f], [files[2], files[1]])
            self.assertEqual(len([f for f in got if f.startswith("train/") and "espeak" not in f]), 1)
            self.assertIn(files[5], got)
            self.assertNotIn(files[6], got)
            self.assertEqual(len(got), 4)
            # Voice-changed copies follow the flite/Festival clean files
            # listed, never espeak-ng ones, and stay outside the balance.
            self.assertEqual(listed(0, voices=1), [files[0], files[7], files[5], files[2], files[3], files[8]])
            got = listed(2 / 3, voices=1)
            kept = [f for f in got if f.startswith("train/") and "espeak" not in f]
            self.assertEqual(len(kept), 1)
            self.assertEqual([f for f in got if f.startswith("voice/")],
                             [files[7] if kept[0] == files[0] else files[8]])
            self.assertEqual(len(got), 5)


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
