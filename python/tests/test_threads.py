"""Engines on threads: the GIL is released during a call."""

import os
import threading
import time

import kedo
from conftest import ENGLISH_SENTENCE, ENGLISH_WAV, make_home


def run_on_threads(homes, call):
    results = [None] * len(homes)
    barrier = threading.Barrier(len(homes))

    def work(i):
        engine = kedo.Engine(homes[i])
        barrier.wait()
        results[i] = call(engine)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(homes))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return results


def test_engines_on_two_folders_give_the_results_of_one(tmp_path):
    homes = [make_home(str(tmp_path), name) for name in ("a", "b")]
    expected = kedo.Engine(homes[0]).assess(ENGLISH_WAV, ENGLISH_SENTENCE).as_dict()
    expected["outputFolder"] = ""
    for results in run_on_threads(homes, lambda e: [e.assess(ENGLISH_WAV, ENGLISH_SENTENCE) for _ in range(3)]):
        for r in results:
            assert {**r.as_dict(), "outputFolder": ""} == expected


def test_engines_on_two_folders_run_at_the_same_time(tmp_path, monkeypatch):
    # Recording from a capture file takes real time, whatever the load of
    # the machine: two one-second recordings on two threads take about one
    # second when the calls let go of the GIL, and two when they do not.
    monkeypatch.setenv("KEDO_CAPTURE_DEVICE", "file:" + ENGLISH_WAV)
    homes = [make_home(str(tmp_path), name) for name in ("a", "b")]
    started = time.monotonic()
    results = run_on_threads(homes, lambda e: e.record_assess(1.0, ENGLISH_SENTENCE))
    elapsed = time.monotonic() - started
    assert results[0].as_dict()["words"] == results[1].as_dict()["words"]
    assert all(os.path.exists(os.path.join(r.output_dir, "saWAV.wav")) for r in results)
    assert elapsed < 1.8, f"two one-second recordings took {elapsed:.2f} s"


def test_a_second_engine_on_a_busy_folder_is_refused(home):
    first, second = kedo.Engine(home), kedo.Engine(home)
    refused = []

    def second_call():
        try:
            second.assess(ENGLISH_WAV, ENGLISH_SENTENCE)
            refused.append(None)
        except kedo.Error as e:
            refused.append(e)

    def during_first_call(line):
        # From another thread: the thread running an operation may nest calls.
        if not refused:
            t = threading.Thread(target=second_call)
            t.start()
            t.join()

    first.progress = during_first_call
    assert first.assess(ENGLISH_WAV, ENGLISH_SENTENCE).score == 100
    assert refused[0] is not None and refused[0].kind == "busy"
    assert "Another engine operation is running on this working folder" in str(refused[0])
    assert second.assess(ENGLISH_WAV, ENGLISH_SENTENCE).score == 100
