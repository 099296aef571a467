"""Audio given as NumPy samples with their rate."""

import numpy as np
import pytest

import kedo
from conftest import ENGLISH_SENTENCE, ENGLISH_WAV, read_samples


@pytest.fixture(scope="module")
def sample():
    return read_samples(ENGLISH_WAV)


def test_samples_as_tuple_or_with_rate_give_the_files_result(engine, sample):
    samples, rate = sample
    from_file = engine.assess(ENGLISH_WAV, ENGLISH_SENTENCE).as_dict()
    for result in (engine.assess((samples, rate), ENGLISH_SENTENCE),
                   engine.assess(samples, ENGLISH_SENTENCE, rate=rate),
                   engine.assess(samples.astype(np.int64), ENGLISH_SENTENCE, rate=rate),
                   engine.assess(np.stack([samples, samples], axis=1), ENGLISH_SENTENCE, rate=rate)):
        assert result.as_dict() == from_file
    # Floats are taken in -1..1.
    floats = engine.assess(samples / 32767.0, ENGLISH_SENTENCE, rate=rate)
    assert floats.score == 100 and [w.text for w in floats.words] == ENGLISH_SENTENCE.split()
    assert engine.recog((samples, rate), ["good morning", ENGLISH_SENTENCE]).index == 1


def test_other_rates_are_resampled_by_the_engine(engine, sample):
    samples, rate = sample
    doubled = np.repeat(samples, 2)  # the same sound at twice the rate
    r = engine.assess(doubled, ENGLISH_SENTENCE, rate=2 * rate)
    assert r.score > 50 and [w.text for w in r.words] == ENGLISH_SENTENCE.split()


@pytest.mark.parametrize("audio, rate, error, words", [
    (np.zeros(100), None, TypeError, "samples need their rate"),
    ((np.zeros(100), 16000, 1), None, TypeError, r"\(samples, rate\)"),
    ((np.zeros(100), 16000), 16000, TypeError, "either in the"),
    (([0.0] * 100, 16000), None, TypeError, "samples must be a NumPy array, not list"),
    (np.zeros((2, 2, 2)), 16000, TypeError, "one dimension"),
    (np.zeros(100, dtype=complex), 16000, TypeError, "of numbers"),
    (np.zeros(100, dtype=bool), 16000, TypeError, "of numbers"),
    (np.zeros(100), "16000", TypeError, "rate must be an int"),
    (np.zeros(100), 0, kedo.Error, "not positive"),
    (np.array([0, 40000]), 16000, kedo.Error, "-32768..32767"),
    (np.array([0.0, np.nan]), 16000, kedo.Error, "finite"),
])
def test_unusable_samples(engine, audio, rate, error, words):
    with pytest.raises(error, match=words):
        engine.assess(audio, ENGLISH_SENTENCE, rate=rate)


def test_silence_is_bad_audio_for_the_engine(engine):
    with pytest.raises(kedo.Error) as caught:
        engine.assess(np.zeros(0, dtype=np.int16), ENGLISH_SENTENCE, rate=16000)
    assert caught.value.kind == "bad_audio"
