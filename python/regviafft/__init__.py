"""Video stabilisation by phase correlation of gradient-magnitude templates.

    import regviafft
    stabilizer = regviafft.Stabilizer(1280, 720, mode="lag", lag=15, border="crop")
    for frame in frames:                       # H x W x 4 or H x W x 3 uint8, or 4:2:0 planes
        for record, steady in stabilizer.process(frame):
            ...
    for record, steady in stabilizer.flush():
        ...

    records = regviafft.stabilize_file("in.mp4", "out.mp4", mode="lag", budget=5)
    table = regviafft.records_to_array(records)

Keyword arguments are the library's options (STABILIZER_OPTIONS; a file run
also takes FILE_OPTIONS), the names of regviafft-stabilize --help with '_' for
'-', typed: bool, int, float, str for a choice or a file, a 2-tuple of int for
a size; None keeps the default, which is the library's own. A value of the
wrong type or out of range raises ValueError naming the keyword; an unknown
keyword raises TypeError. A file run refuses an output that exists unless
given overwrite=True, and one that is its input always.

The package is under the MIT licence.
"""

import math
import os

import numpy as np

from ._regviafft import RECORD_FIELDS, STABILIZER_OPTIONS, TEMPLATE_FIELDS, MotionRecord, _Stabilizer, __version__

__all__ = ["__version__", "Error", "MotionRecord", "Stabilizer", "stabilize_file", "records_to_array", "jitter",
           "STABILIZER_OPTIONS", "FILE_OPTIONS", "RECORD_FIELDS", "TEMPLATE_FIELDS"]


class Error(RuntimeError):
    """A video file that cannot be read or written, or a stream in it that cannot be stabilised."""


def __getattr__(name):
    # The file job's options come with its module, which is loaded only when
    # needed: the stabiliser alone needs none of FFmpeg's libraries.
    if name == "FILE_OPTIONS":
        from ._regviafft_video import FILE_OPTIONS
        return FILE_OPTIONS
    raise AttributeError(f"module 'regviafft' has no attribute '{name}'")


def _keywords_doc(options):
    """One paragraph per keyword: its type, what it does, its values and default."""
    lines = []
    for o in options:
        default = o["derived"] if o["default"] is None else repr(o["default"])
        values = f"; {o['values']}" if o["values"] else ""
        lines.append(f"    {o['keyword']} ({o['type']}): {o['help']}{values}; default {default}")
    return "\n".join(lines)


def _output_like(frame):
    """Empty arrays of the frame's shape, in its layout of planes."""
    if isinstance(frame, (tuple, list)):
        return tuple(np.empty_like(np.asarray(plane)) for plane in frame)
    return np.empty_like(np.asarray(frame))


class Stabilizer:
    """One video stream: frames go in, stabilised frames and their records come out.

    Frames are numpy uint8 arrays: H x W x 4 or H x W x 3 (any order of the
    colour bytes), or 4:2:0 planes, (y, u, v) for I420 or (y, uv) for NV12 with
    uv of shape ceil(H/2) x ceil(W/2) x 2. The stabiliser holds each frame
    until its record is out (at once, or `lag` frames later in lag mode): a
    copy of it, so that the caller may reuse its buffer, unless it is pushed
    with copy=False and left unchanged until then.
    """

    def __init__(self, width, height, **options):
        self._core = _Stabilizer(int(width), int(height), options)
        self._next_id = 0

    @property
    def latency(self):
        """Frames between a frame going in and its record coming out."""
        return self._core.latency

    @property
    def settings(self):
        """Every setting as the stabiliser uses it, the derived ones included: the
        frame's width and height, then each option by its keyword."""
        return self._core.settings

    def push(self, frame, id=None, copy=True):
        """Measures a frame and holds it; returns the id its record will carry.

        With copy=False the stabiliser holds the frame itself rather than a
        copy: the caller must not change it until its record is out.
        """
        if id is None:
            id = self._next_id
        self._core.push(frame, id, bool(copy))
        self._next_id = id + 1
        return id

    def pull(self):
        """The next final (record, frame as pushed), or None until more frames are pushed."""
        return self._core.pull()

    def render(self, record, frame, out=None):
        """The frame moved by the record's correction, into `out` (which may be `frame`)."""
        if out is None:
            out = _output_like(frame)
        self._core.render(record, frame, out)
        return out

    def process(self, frame, copy=True):
        """Pushes a frame; yields (record, stabilised frame) for every record now final."""
        self.push(frame, copy=copy)
        yield from self._ready()

    def finish(self):
        """Ends the stream: every held record becomes final (then pull them)."""
        self._core.finish()

    def flush(self):
        """Ends the stream; yields (record, stabilised frame) for the frames still held."""
        self.finish()
        yield from self._ready()

    def reset(self):
        """Starts a new stream with the same settings; held frames are dropped."""
        self._core.reset()

    def _ready(self):
        while (out := self._core.pull()) is not None:
            record, frame = out
            yield record, self.render(record, frame)


Stabilizer.__init__.__doc__ = ("Takes the frame size in pixels and these keywords:\n\n"
                               + _keywords_doc(STABILIZER_OPTIONS))


def stabilize_file(input, output, **options):
    """Stabilises a video file as regviafft-stabilize does; returns its motion records.

    Takes the stabiliser's keywords, as Stabilizer does, and the file run's,
    for example motion="out.csv", plot="path.png", codec="ffv1",
    side_by_side=True (FILE_OPTIONS lists them). The encoder's settings and
    every output are checked before the input is read: an output that exists
    is replaced only with overwrite=True, one that is the input never.
    `input` "-" reads standard input. Raises ValueError for a bad value,
    TypeError for an unknown keyword and regviafft.Error when a file cannot
    be read or written.
    """
    from ._regviafft_video import _stabilize_file
    records, _ = _stabilize_file(os.fspath(input), os.fspath(output), options)
    return records

# numpy's type for each kind of record field; the host's id and time come first.
_DTYPES = {"integer": "i8", "number": "f8", "truth": "?"}
_ARRAY_FIELDS = [("id", "i8"), ("time", "f8")] + [(name, _DTYPES[kind]) for name, kind in RECORD_FIELDS]


def records_to_array(records):
    """A whole stream's records as a numpy structured array, one row per frame:
    id, time, then the fields of RECORD_FIELDS in order."""
    rows = [tuple(getattr(r, name) for name, _ in _ARRAY_FIELDS) for r in records]
    return np.array(rows, dtype=_ARRAY_FIELDS)


def _high_pass(values, sigma):
    """What is left of values after a Gaussian-weighted straight-line fit about
    each frame: a steady pan leaves nothing, even at the ends of the stream."""
    reach = int(math.ceil(3 * sigma))
    left = np.empty(len(values))
    for t in range(len(values)):
        lo, hi = max(0, t - reach), min(len(values), t + reach + 1)
        d = np.arange(lo, hi) - t
        w = np.exp(-d * d / (2 * sigma * sigma))
        sw, sd, sdd = w.sum(), np.dot(w, d), np.dot(w, d * d)
        sv, sdv = np.dot(w, values[lo:hi]), np.dot(w * d, values[lo:hi])
        determinant = sw * sdd - sd * sd
        fitted = (sdd * sv - sd * sdv) / determinant if determinant > 1e-12 * sw * sdd else sv / sw
        left[t] = values[t] - fitted
    return left


def jitter(table, corrected=True, sigma=8.0):
    """Rms shake of a stream in pixels, from its records' camera path.

    The camera path less its Gaussian-weighted straight-line fit over `sigma`
    frames, within each stretch between cuts: as the input shook
    (corrected=False), or as the output shows it (path minus correction).
    `table` is a structured array from records_to_array or a motion table.
    """
    starts = np.flatnonzero(np.asarray(table["cut"]) | ~np.asarray(table["analysed"]))
    bounds = sorted(set([0, len(table)] + list(starts)))
    squares = 0.0
    for first, last in zip(bounds, bounds[1:]):
        for axis in ("x", "y"):
            path = np.asarray(table["path_" + axis][first:last], dtype=float)
            if corrected:
                path = path - np.asarray(table["correction_" + axis][first:last], dtype=float)
            squares += float(np.sum(_high_pass(path, sigma) ** 2)) if len(path) else 0.0
    return math.sqrt(squares / len(table)) if len(table) else 0.0
