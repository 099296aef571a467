"""kedo: speech recognition and pronunciation assessment for Mandarin Chinese
and English.

    >>> import kedo
    >>> engine = kedo.Engine("build/demo")
    >>> result = engine.assess("take1.wav", "i like to read a good book")
    >>> result.score, [(w.text, w.score) for w in result.words]

An engine object works in a working folder holding the data folder
``kedoData``; every call writes the run's files to ``kedoData/output``.
Calls release the GIL: engines on different working folders run in parallel
on threads. Failures raise :class:`kedo.Error`; arguments of the wrong type
raise :class:`TypeError`.
"""

import json as _json
import os
import re
import shutil
import sys
import tempfile
import wave

from . import _kedo

__version__ = _kedo.__version__
__all__ = ["Engine", "Result", "Record", "Error", "plot", "__version__"]


class Error(Exception):
    """A failure of the engine.

    ``message`` is the engine's message (also ``str(error)``); ``kind`` tells
    its cause without reading it: ``"bad_input"`` (empty sentence, text that is
    not UTF-8, too long a name), ``"unknown_word"`` (a word without
    pronunciation, a character the language's code page cannot hold),
    ``"bad_audio"`` (the audio is missing, unreadable or undecodable),
    ``"busy"`` (another operation runs on the same working folder) or
    ``"engine"`` (everything else: data folder, models, parameters, limits).
    """

    def __init__(self, message, kind="engine"):
        super().__init__(message, kind)
        self.message = message
        self.kind = kind

    def __str__(self):
        return self.message


_LANGUAGES = {"en": 0, "english": 0, "zh": 1, "chinese": 1}
# The code page of the engine's data, in which progress lines come.
_CODE_PAGES = {0: "cp1252", 1: "cp950"}


def _camel(name):
    head, *rest = name.split("_")
    return head + "".join(part.capitalize() for part in rest)


class Record:
    """A part of a result (a word, a phone, a discount) as attributes.

    Every field of the engine's JSON result is an attribute, under its
    snake_case name (``designated_syllables`` for ``designatedSyllables``);
    ``as_dict()`` gives the fields as the JSON names them.
    """

    def __init__(self, fields):
        self._fields = fields

    def __getattr__(self, name):
        fields = self.__dict__.get("_fields", {})
        for key in (name, _camel(name)):
            if key in fields:
                return _wrap(fields[key])
        raise AttributeError(f"{type(self).__name__} has no field {name!r}")

    def __dir__(self):
        snake = [re.sub(r"(?<!^)(?=[A-Z])", "_", k).lower() for k in self._fields]
        return sorted(set(super().__dir__()) | set(snake))

    def __eq__(self, other):
        return isinstance(other, Record) and self._fields == other._fields

    def as_dict(self):
        """The fields as a dict, named as in the engine's JSON result."""
        return _json.loads(_json.dumps(self._fields))

    def __repr__(self):
        inner = ", ".join(f"{k}={v!r}" for k, v in self._fields.items())
        return f"Record({inner})"


def _wrap(value):
    if isinstance(value, dict):
        return Record(value)
    if isinstance(value, list):
        return [_wrap(v) for v in value]
    return value


class Result(Record):
    """What one assessment or recognition found.

    Attributes (all from the engine's structured result):

    - ``kind``: ``"assess"`` or ``"recog"``; ``language``: ``"english"`` or ``"chinese"``
    - ``score``: the overall score, 0 to 100
    - ``sentence``: the assessed sentence, or the recognised one
    - ``index``: recognitions: the 0-based line of the list that was recognised
    - ``words``: each spoken word (English) or syllable (Chinese), with
      ``text``, ``syllable`` (its pronunciation), ``tone``, ``start`` and
      ``end`` (seconds, end exclusive) and ``score``
    - ``phones``: every phone, silences and pauses included, with ``name``,
      ``start``, ``end``, ``score`` (-1 outside words) and ``word`` (index into
      ``words``, -1 for silences and pauses)
    - ``discounts``: the discount reasons that occurred, with ``index``,
      ``reason``, ``occurrences``, ``ratio`` and ``applied``
    - ``designated_syllables``, ``identified_syllables``
    - ``pitch``, ``volume``: frame tracks (lists of floats, one per
      ``frame_seconds`` from ``track_start`` seconds); pitch in semitones, 0
      where unvoiced, empty when the parameter set computes no pitch
    - ``warnings``: the run's warnings, one line each
    - ``output_dir``: the folder that held the run's files
    - ``xml``: the result document ``output.xml`` of the run as text (None
      when the run wrote none)
    - ``json``: the whole result as the JSON text of ``kedo assess --json``

    ``plot(path)`` draws the run; in a notebook the result shows as its
    picture.
    """

    def __init__(self, outcome):
        super().__init__(_json.loads(outcome.json))
        self.__dict__["json"] = outcome.json
        self.__dict__["_picture"] = outcome.picture
        self.__dict__["xml"] = _decode_xml(bytes(outcome.xml))

    @property
    def index(self):
        """Recognitions: the 0-based line of the list; None for assessments."""
        return self._fields.get("index")

    @property
    def pitch(self):
        return self._fields["tracks"]["pitch"]

    @property
    def volume(self):
        return self._fields["tracks"]["volume"]

    @property
    def track_start(self):
        return self._fields["tracks"]["start"]

    @property
    def frame_seconds(self):
        return self._fields["tracks"]["frameSeconds"]

    @property
    def output_dir(self):
        return self._fields["outputFolder"]

    def plot(self, path=None):
        """Draws the run: the waveform, the words and phones coloured by score,
        the volume and pitch tracks and the discounts that applied.

        Returns the SVG text and, when ``path`` is given, writes it there.
        Raises :class:`kedo.Error` when the run left no files to draw from
        (a parameter set without an output folder)."""
        svg = self._picture.svg()
        if path is not None:
            with open(os.fspath(path), "w", encoding="utf-8") as f:
                f.write(svg)
        return svg

    def _repr_svg_(self):
        return self._picture.svg() if self._picture.available else None

    def __repr__(self):
        return f"<kedo.Result {self.kind} score={self.score:g} sentence={self.sentence!r}>"


def _decode_xml(data):
    if not data:
        return None
    head = data[:100].lower()
    return data.decode("cp950" if b'encoding="big5"' in head else "utf-8", errors="replace")


def plot(output_dir, path=None):
    """Draws the run whose files are in ``output_dir`` (like ``kedo plot``).

    Returns the SVG text and, when ``path`` is given, writes it there."""
    svg = _kedo.picture_svg(_path(output_dir, "output_dir"))
    if path is not None:
        with open(os.fspath(path), "w", encoding="utf-8") as f:
            f.write(svg)
    return svg


def _path(value, what):
    if isinstance(value, (str, os.PathLike)):
        value = os.fspath(value)
        if isinstance(value, bytes):
            value = os.fsdecode(value)
        return value
    raise TypeError(f"{what} must be a path (str or os.PathLike), not {type(value).__name__}")


def _text(value, what):
    if not isinstance(value, str):
        raise TypeError(f"{what} must be a str, not {type(value).__name__}")
    try:
        value.encode("utf-8")
    except UnicodeEncodeError as e:
        raise Error(f"The {what} is not valid text: {e.object[e.start]!r} at position {e.start} "
                    "is no Unicode character", "bad_input") from None
    return value


def _seconds(value):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError(f"seconds must be a number, not {type(value).__name__}")
    return float(value)


class _Scratch:
    """A temporary folder for the files a call hands the engine (a WAV made
    from samples, a list file made from sentences), removed afterwards."""

    def __init__(self):
        self.folder = None

    def file(self, name):
        if self.folder is None:
            self.folder = tempfile.mkdtemp(prefix="kedo-")
        return os.path.join(self.folder, name)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.folder is not None:
            shutil.rmtree(self.folder, ignore_errors=True)


def _samples_to_wav(samples, rate, path):
    import numpy as np

    if isinstance(rate, bool) or not isinstance(rate, (int, np.integer)):
        raise TypeError(f"rate must be an int (samples per second), not {type(rate).__name__}")
    if rate <= 0:
        raise Error(f"The sampling rate {rate} is not positive", "bad_audio")
    a = np.asarray(samples)
    if a.dtype == bool or not (np.issubdtype(a.dtype, np.number)) or np.iscomplexobj(a):
        raise TypeError(f"samples must be a NumPy array of numbers, not of {a.dtype}")
    if a.ndim == 2:
        mixed = a.astype(np.float64).mean(axis=1)
        a = mixed if np.issubdtype(a.dtype, np.floating) else mixed.round().astype(np.int64)
    elif a.ndim != 1:
        raise TypeError(f"samples must have one dimension (or two: samples x channels), not {a.ndim}")
    if np.issubdtype(a.dtype, np.floating):
        if not np.all(np.isfinite(a)):
            raise Error("The samples hold a value that is not a finite number", "bad_audio")
        pcm = np.clip(np.round(a * 32767.0), -32768, 32767).astype("<i2")
    elif a.dtype == np.uint8:
        pcm = ((a.astype(np.int32) - 128) * 256).astype("<i2")
    else:
        if a.size and (a.min() < -32768 or a.max() > 32767):
            raise Error(f"Integer samples ({a.dtype}) must lie within -32768..32767 (16 bits); "
                        "give floats in -1..1 for other ranges", "bad_audio")
        pcm = a.astype("<i2")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(int(rate))
        w.writeframes(pcm.tobytes())
    return path


def _is_array(value):
    return type(value).__module__ == "numpy" or hasattr(value, "__array_interface__")


class Engine:
    """The engine on a working folder.

    ``home``: the working folder holding ``kedoData`` (default: the
    environment variable KEDO_HOME, else the data folder installed with the
    engine). ``lang``: ``"en"`` or ``"zh"``. ``progress``: None or False for
    silence, True to print the engine's progress lines on ``sys.stdout``, or a
    callable that receives each line (a str without its line end).

    Raises :class:`kedo.Error` when the working folder or its parameter sets
    cannot be used.
    """

    def __init__(self, home=None, lang="en", progress=None):
        language = self._language(lang)
        self._engine = _kedo.Engine("" if home is None else _path(home, "home"), language)
        # Shared with the progress sink, which must not hold the engine itself
        # (the native object would keep it alive for good).
        self._code_page = [_CODE_PAGES[language]]
        self.progress = progress

    @staticmethod
    def _language(lang):
        if not isinstance(lang, str):
            raise TypeError(f"lang must be a str (\"en\" or \"zh\"), not {type(lang).__name__}")
        try:
            return _LANGUAGES[lang.lower()]
        except KeyError:
            raise ValueError(f"lang must be \"en\" or \"zh\", not {lang!r}") from None

    @property
    def progress(self):
        """Where the progress lines go: None, True or a callable."""
        return self._progress

    @progress.setter
    def progress(self, progress):
        if progress is None or progress is False:
            sink = None
        elif progress is True:
            sink = self._lines(lambda line: print(line, file=sys.stdout, flush=True))
        elif callable(progress):
            sink = self._lines(progress)
        else:
            raise TypeError(f"progress must be None, True or a callable, not {type(progress).__name__}")
        self._progress = progress
        self._engine.set_progress(sink)

    def _lines(self, receive):
        pending = []
        code_page = self._code_page

        def sink(data):
            text = data.decode(code_page[0], errors="replace")
            pending.append(text)
            joined = "".join(pending)
            *lines, rest = joined.split("\n")
            pending[:] = [rest] if rest else []
            for line in lines:
                receive(line)

        return sink

    @property
    def home(self):
        """The absolute working folder."""
        return self._engine.working_folder

    @property
    def output_dir(self):
        """The output folder, ``kedoData/output`` under the working folder."""
        return self._engine.output_folder

    @property
    def lang(self):
        """The current language: ``"en"`` or ``"zh"``."""
        return "zh" if self._code_page[0] == _CODE_PAGES[1] else "en"

    def switch_language(self, lang):
        """Switches to ``"en"`` or ``"zh"``, reloading both parameter sets.
        After a failure the previous language stays."""
        language = self._language(lang)
        self._engine.switch_language(language)
        self._code_page[0] = _CODE_PAGES[language]

    def _audio(self, audio, rate, scratch):
        if isinstance(audio, tuple):
            if len(audio) != 2:
                raise TypeError("audio as a tuple must be (samples, rate)")
            if rate is not None:
                raise TypeError("give the rate either in the (samples, rate) tuple or as rate=, not both")
            audio, rate = audio
            if not _is_array(audio):
                raise TypeError(f"samples must be a NumPy array, not {type(audio).__name__}")
        if _is_array(audio):
            if rate is None:
                raise TypeError("samples need their rate: assess((samples, rate), ...) or assess(samples, ..., rate=16000)")
            return _samples_to_wav(audio, rate, scratch.file("samples.wav"))
        if rate is not None:
            raise TypeError("rate= goes with samples, not with an audio file")
        if isinstance(audio, (str, os.PathLike)):
            return os.path.abspath(_path(audio, "audio"))
        raise TypeError(f"audio must be a path or a NumPy array of samples, not {type(audio).__name__}")

    @staticmethod
    def _list_file(sentences, scratch):
        if isinstance(sentences, (str, os.PathLike)):
            return os.path.abspath(_path(sentences, "the sentence list file"))
        if not isinstance(sentences, (list, tuple)):
            raise TypeError(f"sentences must be a list of str or a list file's path, not {type(sentences).__name__}")
        if not sentences:
            raise Error("The list of sentences is empty", "bad_input")
        for s in sentences:
            _text(s, "sentence of the list")
            if "\n" in s or "\r" in s:
                raise Error(f"The sentence {s!r} holds a line break; give one sentence per item", "bad_input")
        path = scratch.file("sentences.txt")
        with open(path, "w", encoding="utf-8", newline="\n") as f:
            f.write("\n".join(sentences) + "\n")
        return path

    def assess(self, audio, sentence, rate=None):
        """Assesses how well ``sentence`` is spoken in ``audio``: a :class:`Result`.

        ``audio`` is a file (WAV, raw, FLV, WebM, Ogg, MP4, MP3), or samples:
        a NumPy array with ``rate=`` or a ``(samples, rate)`` tuple; floats
        are taken in -1..1, integers as 16-bit values; two dimensions are
        samples x channels and are mixed down. Samples are handed to the
        engine as a temporary 16-bit WAV file, which it resamples to 16000 Hz
        as it does any recording."""
        _text(sentence, "sentence")
        with _Scratch() as scratch:
            return Result(self._engine.assess(self._audio(audio, rate, scratch), sentence))

    def recog(self, audio, sentences_or_listfile, rate=None):
        """Recognises which sentence was spoken in ``audio``: a :class:`Result`
        whose ``sentence`` and ``index`` name it.

        ``sentences_or_listfile``: a list of str, or the path of a list file
        (one sentence per line, UTF-8 or the language's code page). ``audio``
        as for :meth:`assess`."""
        with _Scratch() as scratch:
            list_file = self._list_file(sentences_or_listfile, scratch)
            return Result(self._engine.recog(self._audio(audio, rate, scratch), list_file))

    def record_assess(self, seconds, sentence):
        """Records ``seconds`` from the capture device (KEDO_CAPTURE_DEVICE,
        else the default one), then assesses the recording like :meth:`assess`."""
        _text(sentence, "sentence")
        return Result(self._engine.record_assess(_seconds(seconds), sentence))

    def record_recog(self, seconds, sentences):
        """Records ``seconds``, then recognises the recording like :meth:`recog`."""
        seconds = _seconds(seconds)
        with _Scratch() as scratch:
            return Result(self._engine.record_recog(seconds, self._list_file(sentences, scratch)))

    def __repr__(self):
        return f"<kedo.Engine home={self.home!r} lang={self.lang!r}>"
