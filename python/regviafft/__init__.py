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

Keyword arguments are named as the command line's options (regviafft-stabilize
--help), with the same defaults: mode "lag" with 30 frames of look-ahead, a 5 %
budget, a black border. Bad values raise ValueError with the library's message.
"""

import math

import numpy as np

from ._regviafft import Error, MotionRecord, _Stabilizer, _stabilize_file

__all__ = ["Error", "MotionRecord", "Stabilizer", "stabilize_file", "records_to_array", "jitter"]

# Options of the stabiliser itself, and those only a file run has.
_STABILIZER_OPTIONS = {"mode", "lag", "smoothness", "budget", "border", "whole_pixel",
                       "template_size", "templates", "divisor", "margins", "window",
                       "steady_threshold"}
_FILE_OPTIONS = {"codec", "crf", "preset", "motion", "plot", "side_by_side"}


def _arguments(options, allowed):
    """The command line's arguments for keyword options."""
    arguments = []
    for name, value in options.items():
        if name not in allowed:
            raise TypeError(f"unexpected keyword argument '{name}'")
        flag = "--" + name.replace("_", "-")
        if value is None or value is False:
            continue
        if value is True:
            arguments.append(flag)
        elif isinstance(value, (tuple, list)):
            arguments += [flag, "x".join(str(v) for v in value)]
        else:
            arguments += [flag, str(value)]
    return arguments


def _output_like(frame):
    """Empty arrays of the frame's shape, in its layout of planes."""
    if isinstance(frame, (tuple, list)):
        return tuple(np.empty_like(np.asarray(plane)) for plane in frame)
    return np.empty_like(np.asarray(frame))


class Stabilizer:
    """One video stream: frames go in, stabilised frames and their records come out.

    Frames are numpy uint8 arrays: H x W x 4 or H x W x 3 (any order of the
    colour bytes), or 4:2:0 planes, (y, u, v) for I420 or (y, uv) for NV12 with
    uv of shape ceil(H/2) x ceil(W/2) x 2. They are read in place; a frame is
    kept until its record is out (at once, or `lag` frames later in lag mode).
    """

    def __init__(self, width, height, **options):
        self._core = _Stabilizer(_arguments(options, _STABILIZER_OPTIONS), int(width), int(height))
        self._held = {}
        self._next_id = 0

    @property
    def latency(self):
        """Frames between a frame going in and its record coming out."""
        return self._core.latency

    @property
    def settings(self):
        """Every setting as the stabiliser uses it, the derived ones included."""
        return self._core.settings

    def push(self, frame, id=None):
        """Measures a frame; returns the id its record will carry."""
        if id is None:
            id = self._next_id
        self._core.push(frame, id)
        self._held[id] = frame
        self._next_id = id + 1
        return id

    def pull(self):
        """The next final record, or None until more frames are pushed."""
        return self._core.pull()

    def render(self, record, frame, out=None):
        """The frame moved by the record's correction, into `out` (which may be `frame`)."""
        if out is None:
            out = _output_like(frame)
        self._core.render(record, frame, out)
        return out

    def process(self, frame):
        """Pushes a frame; yields (record, stabilised frame) for every record now final."""
        self.push(frame)
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
        self._held.clear()

    def _ready(self):
        while (record := self._core.pull()) is not None:
            frame = self._held.pop(record.id)
            yield record, self.render(record, frame)


def stabilize_file(input, output, *, quiet=True, **options):
    """Stabilises a video file as regviafft-stabilize does; returns its motion records.

    Takes the command line's options as keywords, for example motion="out.csv",
    plot="path.png", codec="ffv1", side_by_side=True. Raises ValueError for a
    bad option and regviafft.Error when the file cannot be read or written.
    """
    arguments = _arguments(options, _STABILIZER_OPTIONS | _FILE_OPTIONS)
    records, _ = _stabilize_file(str(input), str(output), arguments, bool(quiet))
    return records


_FIELDS = [("index", "i8"), ("id", "i8"), ("time", "f8"), ("analysed", "?"), ("cut", "?"),
           ("motion_x", "f8"), ("motion_y", "f8"), ("whole_motion_x", "i4"),
           ("whole_motion_y", "i4"), ("peak", "f8"), ("votes", "i4"), ("template_count", "i4"),
           ("path_x", "f8"), ("path_y", "f8"), ("correction_x", "f8"), ("correction_y", "f8")]


def records_to_array(records):
    """A whole stream's records as a numpy structured array, one row per frame."""
    rows = [tuple(getattr(r, name) for name, _ in _FIELDS) for r in records]
    return np.array(rows, dtype=_FIELDS)


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
