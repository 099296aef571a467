"""Fixtures of the Python module's tests: scratch copies of the toy data
folder (every run empties and fills its output folder) and the samples."""

import os
import shutil

import pytest

SOURCE = os.environ.get("KEDO_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
DATA = os.path.join(SOURCE, "tests", "data", "toy", "kedoData")
SAMPLES = os.path.join(DATA, "samples")
ENGLISH_WAV = os.path.join(SAMPLES, "english.wav")
ENGLISH_SENTENCE = "i like to read a good book"
CHINESE_WAV = os.path.join(SAMPLES, "chinese.wav")
CHINESE_SENTENCE = "我學中文"


def make_home(parent, name="home"):
    home = os.path.join(parent, name)
    shutil.copytree(DATA, os.path.join(home, "kedoData"))
    return home


@pytest.fixture
def home(tmp_path):
    return make_home(str(tmp_path))


@pytest.fixture
def engine(home):
    import kedo

    return kedo.Engine(home)


def read_samples(path):
    """The samples of a 16-bit mono WAV file and its rate."""
    import wave

    import numpy as np

    with wave.open(path, "rb") as w:
        assert w.getsampwidth() == 2 and w.getnchannels() == 1
        return np.frombuffer(w.readframes(w.getnframes()), dtype="<i2"), w.getframerate()
