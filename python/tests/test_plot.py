"""Result pictures from Python."""

import os
import shutil
import subprocess

import pytest

import kedo
from conftest import CHINESE_SENTENCE, CHINESE_WAV, ENGLISH_SENTENCE, ENGLISH_WAV


def test_result_draws_itself_even_after_the_next_run(engine, tmp_path):
    first = engine.assess(ENGLISH_WAV, ENGLISH_SENTENCE)
    engine.assess(ENGLISH_WAV, "good morning")
    path = tmp_path / "first.svg"
    svg = first.plot(path)
    assert path.read_text(encoding="utf-8") == svg == first._repr_svg_()
    assert f">{ENGLISH_SENTENCE}</text>" in svg and "good morning" not in svg
    if shutil.which("xmllint"):
        subprocess.run(["xmllint", "--noout", str(path)], check=True)


def test_module_plot_is_the_command_lines(engine, tmp_path):
    engine.switch_language("zh")
    engine.assess(CHINESE_WAV, CHINESE_SENTENCE)
    cli = tmp_path / "cli.svg"
    subprocess.run([os.environ["KEDO_CLI"], "plot", engine.output_dir, str(cli)], check=True, capture_output=True)
    svg = kedo.plot(engine.output_dir, tmp_path / "module.svg")
    assert svg == cli.read_text(encoding="utf-8") == (tmp_path / "module.svg").read_text(encoding="utf-8")
    assert CHINESE_SENTENCE in svg and "semitones" in svg


def test_folders_without_the_runs_files(tmp_path):
    with pytest.raises(kedo.Error, match=r"lacks output.wave \(the conditioned recording\) and output.xml"):
        kedo.plot(tmp_path)
    with pytest.raises(TypeError, match="output_dir must be a path"):
        kedo.plot(None)


def test_a_run_without_an_output_folder_has_no_picture(home):
    prm = os.path.join(home, "kedoData", "english.sa.prm")
    with open(prm, encoding="latin-1") as f:
        text = f.read()
    with open(prm, "w", encoding="latin-1") as f:
        f.write(text.replace("outputDir = kedoData/output", "outputDir ="))
    r = kedo.Engine(home).assess(ENGLISH_WAV, ENGLISH_SENTENCE)
    assert r.score == 100 and r.xml is None and r._repr_svg_() is None
    with pytest.raises(kedo.Error, match="lacks"):
        r.plot()
