"""The engine from Python: results, recognition lists, languages, errors and
progress lines."""

import json
import os
import subprocess

import pytest

import kedo
from conftest import (CHINESE_SENTENCE, CHINESE_WAV, ENGLISH_SENTENCE, ENGLISH_WAV, SAMPLES, SOURCE)


def test_version_is_the_projects():
    with open(os.path.join(SOURCE, "CMakeLists.txt"), encoding="utf-8") as f:
        project = next(line for line in f if line.startswith("project(kedo VERSION"))
    assert project.split()[2] == kedo.__version__


def test_assessment_result_has_words_phones_tracks_and_files(engine):
    r = engine.assess(ENGLISH_WAV, ENGLISH_SENTENCE)
    assert (r.kind, r.language, r.score, r.sentence, r.index) == ("assess", "english", 100, ENGLISH_SENTENCE, None)
    assert [w.text for w in r.words] == ENGLISH_SENTENCE.split()
    for w in r.words:
        assert 0 <= w.start < w.end and 0 <= w.score <= 100 and w.syllable
    # Every phone of a word lies within it; silences belong to no word.
    for p in r.phones:
        if p.word >= 0:
            w = r.words[p.word]
            assert w.start <= p.start < p.end <= w.end and p.score >= 0
        else:
            assert p.score == -1
    assert r.phones[0].start == 0 and r.phones[-1].end >= r.words[-1].end
    assert len(r.volume) == round((r.phones[-1].end - r.phones[0].start) / r.frame_seconds)
    assert r.pitch == [] and r.track_start == 0 and r.frame_seconds == 0.01
    assert r.discounts == [] and r.warnings == []
    assert r.output_dir == engine.output_dir == os.path.join(engine.home, "kedoData", "output")
    assert r.xml.startswith('<?xml version="1.0" encoding="UTF-8"?>') and "<score idx" in r.xml
    assert json.loads(r.json) == r.as_dict()
    assert r.as_dict()["words"][0] == r.words[0].as_dict()
    assert "designated_syllables" in dir(r) and r.designated_syllables == r.as_dict()["designatedSyllables"]
    assert repr(r) == f"<kedo.Result assess score=100 sentence='{ENGLISH_SENTENCE}'>"
    with pytest.raises(AttributeError):
        r.no_such_field


def test_result_is_the_command_lines_json(engine, home):
    r = engine.assess(ENGLISH_WAV, "good morning")
    cli = subprocess.run([os.environ["KEDO_CLI"], "assess", ENGLISH_WAV, "good morning", "--json", "--home", home],
                         capture_output=True, text=True, check=True)
    expected = json.loads(cli.stdout)
    del expected["files"]
    assert r.as_dict() == expected
    assert r.score < 50 and {d.reason for d in r.discounts} >= {"Incomplete Viterbi search path"}
    assert [d.applied for d in r.discounts if d.index == 4] in ([], [False])


def test_recognition_from_a_list_of_sentences_or_a_list_file(engine, tmp_path):
    sentences = ["hello world", "good morning", ENGLISH_SENTENCE, "i like tea"]
    r = engine.recog(ENGLISH_WAV, sentences)
    assert (r.kind, r.sentence, r.index) == ("recog", ENGLISH_SENTENCE, 2)
    r = engine.recog(ENGLISH_WAV, os.path.join(SAMPLES, "english_list.txt"))
    assert (r.sentence, r.index) == (ENGLISH_SENTENCE, 4)
    # A relative list file is found from the current folder, like the audio file.
    cwd = os.getcwd()
    try:
        os.chdir(SAMPLES)
        assert engine.recog("english.wav", "english_list.txt").index == 4
    finally:
        os.chdir(cwd)


def test_chinese_in_utf8_with_list_files_in_utf8_or_big5(home, tmp_path):
    engine = kedo.Engine(home, lang="zh")
    assert engine.lang == "zh"
    r = engine.assess(CHINESE_WAV, CHINESE_SENTENCE)
    assert (r.language, r.score, r.sentence) == ("chinese", 100, CHINESE_SENTENCE)
    assert "".join(w.text for w in r.words) == CHINESE_SENTENCE
    assert r.pitch and any(v > 0 for v in r.pitch)
    assert r.xml.startswith('<?xml version="1.0" encoding="big5"?>') and CHINESE_SENTENCE in r.xml
    r = engine.assess(CHINESE_WAV, CHINESE_SENTENCE + "龘")
    assert len(r.warnings) == 1 and '"龘"' in r.warnings[0]
    r = engine.recog(CHINESE_WAV, ["你好", CHINESE_SENTENCE])
    assert (r.sentence, r.index) == (CHINESE_SENTENCE, 1)
    big5 = os.path.join(SAMPLES, "chinese_list.txt")
    utf8 = tmp_path / "list.txt"
    with open(big5, encoding="cp950") as f:
        utf8.write_text(f.read(), encoding="utf-8")
    assert engine.recog(CHINESE_WAV, big5).sentence == engine.recog(CHINESE_WAV, utf8).sentence == CHINESE_SENTENCE
    engine.switch_language("en")
    assert engine.lang == "en" and engine.assess(ENGLISH_WAV, ENGLISH_SENTENCE).language == "english"


@pytest.mark.parametrize("call, kind, words", [
    (lambda e: e.assess("/no/such/take.wav", "hello"), "bad_audio", ["/no/such/take.wav"]),
    (lambda e: e.assess(ENGLISH_WAV, "   "), "bad_input", ["empty"]),
    (lambda e: e.assess(ENGLISH_WAV, "hello \U0001F600"), "unknown_word", ["U+1F600"]),
    (lambda e: e.assess(ENGLISH_WAV, "hello \udc80"), "bad_input", ["sentence is not valid text", "position 6"]),
    (lambda e: e.assess("/tmp/" + "a" * 1000 + ".wav", "hello"), "bad_input", ["longer than 999"]),
    (lambda e: e.recog(ENGLISH_WAV, []), "bad_input", ["empty"]),
    (lambda e: e.recog(ENGLISH_WAV, ["hello\nworld"]), "bad_input", ["line break"]),
    (lambda e: e.recog(ENGLISH_WAV, "/no/such/list.txt"), "engine", ["/no/such/list.txt"]),
])
def test_failures_raise_kedo_error_with_message_and_kind(engine, call, kind, words):
    with pytest.raises(kedo.Error) as caught:
        call(engine)
    assert caught.value.kind == kind
    for w in words:
        assert w in str(caught.value) and w in caught.value.message
    # The engine goes on working after a failure.
    assert engine.assess(ENGLISH_WAV, ENGLISH_SENTENCE).score == 100


@pytest.mark.parametrize("call, words", [
    (lambda e: e.assess(3, "hello"), "audio must be a path or a NumPy array"),
    (lambda e: e.assess(ENGLISH_WAV, b"hello"), "sentence must be a str, not bytes"),
    (lambda e: e.assess(ENGLISH_WAV, None), "sentence must be a str, not NoneType"),
    (lambda e: e.assess(ENGLISH_WAV, "hello", rate=16000), "rate= goes with samples"),
    (lambda e: e.recog(ENGLISH_WAV, 5), "sentences must be a list of str"),
    (lambda e: e.recog(ENGLISH_WAV, ["hello", 7]), "sentence of the list must be a str, not int"),
    (lambda e: e.record_assess("2", "hello"), "seconds must be a number, not str"),
    (lambda e: e.record_recog(1.0, {"hello"}), "sentences must be a list of str"),
    (lambda e: e.switch_language(1), "lang must be a str"),
])
def test_wrong_types_raise_type_error(engine, call, words):
    with pytest.raises(TypeError, match=words):
        call(engine)


def test_construction_errors(home, tmp_path):
    with pytest.raises(ValueError, match="lang must be \"en\" or \"zh\", not 'fr'"):
        kedo.Engine(home, lang="fr")
    with pytest.raises(TypeError, match="progress must be None, True or a callable"):
        kedo.Engine(home, progress="yes")
    with pytest.raises(TypeError, match="home must be a path"):
        kedo.Engine(42)
    with pytest.raises(kedo.Error) as caught:
        kedo.Engine(str(tmp_path / "nowhere"))
    assert caught.value.kind == "engine" and "nowhere" in str(caught.value)


def test_progress_is_silent_unless_asked_for(home, capfd):
    engine = kedo.Engine(home)
    engine.assess(ENGLISH_WAV, ENGLISH_SENTENCE)
    assert capfd.readouterr() == ("", "")
    engine.progress = True
    engine.assess(ENGLISH_WAV, ENGLISH_SENTENCE)
    out = capfd.readouterr().out
    assert "\t===> Saved kedoData/output/output.xml\n" in out and " sec: " in out
    lines = []
    engine.progress = lines.append
    engine.switch_language("zh")
    engine.assess(CHINESE_WAV, CHINESE_SENTENCE)
    assert lines and all("\n" not in line for line in lines)
    assert "\t===> Saved kedoData/output/output.xml" in lines
    assert not any("\ufffd" in line for line in lines), "Big5 lines are decoded"
    assert capfd.readouterr() == ("", "")


def test_an_exception_in_the_progress_callable_ends_the_call_with_it(engine):
    def fail(line):
        raise RuntimeError("stop: " + line)

    engine.progress = fail
    with pytest.raises(RuntimeError, match="stop: "):
        engine.assess(ENGLISH_WAV, ENGLISH_SENTENCE)
    engine.progress = None
    assert engine.assess(ENGLISH_WAV, ENGLISH_SENTENCE).score == 100


def test_record_recog_from_a_capture_file(home, monkeypatch):
    # (record_assess runs in test_threads.py.)
    monkeypatch.setenv("KEDO_CAPTURE_DEVICE", "file:" + ENGLISH_WAV)
    engine = kedo.Engine(home)
    r = engine.record_recog(2.5, ["good morning", ENGLISH_SENTENCE])
    assert (r.kind, r.sentence, r.index) == ("recog", ENGLISH_SENTENCE, 1)
    assert os.path.exists(os.path.join(r.output_dir, "vcWAV.wav"))
