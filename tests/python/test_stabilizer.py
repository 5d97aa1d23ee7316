"""The Python module against known motion, against the C++ stabiliser, and
under threads."""
import math
import os
import subprocess
import sys
import threading

import numpy as np
import pytest

import regviafft

WIDTH, HEIGHT = 160, 120


def scene(seed, width=360, height=300):
    """A textured scene: smooth blobs with fine grain, as a camera sees it."""
    rng = np.random.default_rng(seed)
    coarse = rng.integers(0, 255, (height // 8 + 2, width // 8 + 2)).astype(float)
    blobs = np.kron(coarse, np.ones((8, 8)))[:height, :width]
    grain = rng.integers(-24, 25, (height, width))
    return np.clip(blobs + grain, 0, 255).astype(np.uint8)


def camera_path(frames, seed, reach=12):
    """Whole-pixel camera positions of a hand-held camera: steps of up to 3 pixels."""
    rng = np.random.default_rng(seed)
    steps = rng.integers(-3, 4, (frames, 2))
    steps[0] = 0
    return np.clip(np.cumsum(steps, axis=0), -reach, reach) + 40


def grey_frames(seed, frames=30):
    image, path = scene(seed), camera_path(frames, seed + 1)
    return [image[y:y + HEIGHT, x:x + WIDTH] for x, y in path], path


def packed(grey, channels=4):
    planes = [grey] * 3 + ([np.full_like(grey, 255)] if channels == 4 else [])
    return np.ascontiguousarray(np.dstack(planes))


def i420(grey):
    chroma = np.full(((HEIGHT + 1) // 2, (WIDTH + 1) // 2), 128, np.uint8)
    return (grey.copy(), chroma, chroma.copy())


def run(stabilizer, frames):
    results = []
    for frame in frames:
        results += list(stabilizer.process(frame))
    return results + list(stabilizer.flush())


def test_known_shifts_come_back_in_every_layout():
    greys, path = grey_frames(3)
    moves = np.diff(path, axis=0)
    layouts = {
        "packed 4": [packed(g) for g in greys],
        "packed 3": [packed(g, 3) for g in greys],
        # A view with padded rows is read in place, not copied.
        "padded": [np.pad(packed(g), ((0, 0), (0, 8), (0, 0)))[:, :WIDTH] for g in greys],
        "i420": [i420(g) for g in greys],
    }
    for name, frames in layouts.items():
        results = run(regviafft.Stabilizer(WIDTH, HEIGHT, mode="causal", whole_pixel=True), frames)
        assert [r.index for r, _ in results] == list(range(len(frames))), name
        for (record, out), (dx, dy) in zip(results[1:], moves):
            # The camera moving right brings the frame back by moving it
            # right; every template's shift is refined, so a whole-pixel move
            # comes out within a few hundredths of a pixel.
            assert record.motion_x == pytest.approx(dx, abs=0.05), name
            assert record.motion_y == pytest.approx(dy, abs=0.05), name
            # Each template's measurement under the template field table's names.
            assert len(record.templates) == record.template_count, name
            assert all(list(t) == [n for n, _ in regviafft.TEMPLATE_FIELDS] for t in record.templates)
            assert sum(t["inlier"] for t in record.templates) == record.inliers, name
        for (record, out), frame in zip(results, frames):
            ox, oy = int(record.correction_x), int(record.correction_y)
            luma = out[0] if isinstance(out, tuple) else out[:, :, 0]
            source = frame[0] if isinstance(frame, tuple) else frame[:, :, 0]
            inner = luma[max(oy, 0):HEIGHT + min(oy, 0), max(ox, 0):WIDTH + min(ox, 0)]
            shown = source[max(-oy, 0):HEIGHT + min(-oy, 0), max(-ox, 0):WIDTH + min(-ox, 0)]
            assert np.array_equal(inner, shown), name


def test_a_reused_buffer_gives_what_fresh_frames_give():
    # A host that reads every frame into one buffer, as cap.read(frame) does,
    # and draws on it once it is out: the look-ahead holds copies.
    greys, _ = grey_frames(11, frames=24)
    fresh = run(regviafft.Stabilizer(WIDTH, HEIGHT, lag=8), [packed(g) for g in greys])
    stabilizer, buffer, reused = regviafft.Stabilizer(WIDTH, HEIGHT, lag=8), np.empty_like(packed(greys[0])), []
    for grey in greys:
        buffer[:] = packed(grey)
        for record, out in stabilizer.process(buffer):
            reused.append((record, out.copy()))
        buffer[:] = 0
    reused += list(stabilizer.flush())
    assert len(reused) == len(fresh) == len(greys)
    for (a, out_a), (b, out_b) in zip(fresh, reused):
        assert (a.index, a.correction_x, a.correction_y) == (b.index, b.correction_x, b.correction_y)
        assert np.array_equal(out_a, out_b), a.index
    # copy=False holds the caller's own arrays, which it promised to keep.
    frames = [packed(g) for g in greys[:3]]
    stabilizer = regviafft.Stabilizer(WIDTH, HEIGHT, lag=1)
    for frame in frames:
        stabilizer.push(frame, copy=False)
    stabilizer.finish()
    held = [stabilizer.pull() for _ in frames]
    assert [frame for _, frame in held] == frames and all(a is b for (_, a), b in zip(held, frames))
    assert stabilizer.pull() is None
    stabilizer = regviafft.Stabilizer(WIDTH, HEIGHT, mode="causal")
    stabilizer.push(frames[0])
    record, frame = stabilizer.pull()
    assert frame is not frames[0] and np.array_equal(frame, frames[0]) and record.id == 0


def test_the_stabiliser_loads_no_video_library(tmp_path):
    script = """
import sys, numpy, regviafft
stabilizer = regviafft.Stabilizer(64, 48)
list(stabilizer.process(numpy.zeros((48, 64, 4), numpy.uint8)))
maps = open('/proc/self/maps').read()
print('avcodec' in maps, 'regviafft._regviafft_video' in sys.modules)
regviafft.FILE_OPTIONS
maps = open('/proc/self/maps').read()
print('avcodec' in maps, 'regviafft._regviafft_video' in sys.modules)
"""
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(regviafft.__file__)))
    printed = subprocess.run([sys.executable, "-c", script], check=True, capture_output=True, text=True,
                             env=env).stdout.split("\n")
    assert printed[:2] == ["False False", "True True"]


def test_results_equal_the_cpp_stabilizer_on_the_same_frames(tmp_path):
    greys, _ = grey_frames(5, frames=40)
    helper = os.environ["REGVIAFFT_RAW_FRAMES_HELPER"]
    for layout, frames in (("packed4", [packed(g) for g in greys]),
                           ("packed3", [packed(g, 3) for g in greys]),
                           ("i420", [i420(g) for g in greys])):
        for mode, lag, budget, border in (("lag", 15, 5.0, "crop"), ("causal", 0, 3.5, "black"),
                                          ("design", 0, 5.0, "black")):
            raw = tmp_path / f"{layout}.raw"
            with open(raw, "wb") as file:
                for frame in frames:
                    for plane in (frame if isinstance(frame, tuple) else (frame,)):
                        file.write(plane.tobytes())
            printed = subprocess.run([helper, str(WIDTH), str(HEIGHT), layout, str(raw), mode, str(lag),
                                      str(budget), border], check=True, capture_output=True, text=True).stdout
            expected = [[float(v) for v in line.split(",")] for line in printed.splitlines()]
            stabilizer = regviafft.Stabilizer(WIDTH, HEIGHT, mode=mode, lag=lag, budget=budget, border=border)
            got = [[r.index, r.motion_x, r.motion_y, r.correction_x, r.correction_y, float(r.cut)]
                   for r, _ in run(stabilizer, frames)]
            assert got == expected, (layout, mode)


def test_bad_arguments_raise_naming_the_keyword():
    cases = [
        (dict(mode="sideways"), ValueError, "mode: must be one of design, causal, lag, got 'sideways'"),
        (dict(lag=500), ValueError, "lag: must be a whole number from 0 to 120, got 500"),
        (dict(budget=float("nan")), ValueError, "budget: must be a number from 0 to 25, got nan"),
        (dict(budget=30), ValueError, "budget: must be a number from 0 to 25, got 30"),
        # Refused once the frame size is known, still under its keyword.
        (dict(template_size=(400, 32)), ValueError, "template_size: must be a whole number from 1 to 160, got 400"),
        (dict(codec="ffv1"), TypeError, "unexpected keyword argument 'codec'"),
        (dict(whole_pixel=True, **{"whole-pixel": True}), TypeError, "unexpected keyword argument 'whole-pixel'"),
    ]
    for options, error, message in cases:
        with pytest.raises(error) as raised:
            regviafft.Stabilizer(WIDTH, HEIGHT, **options)
        assert message in str(raised.value), options
    stabilizer = regviafft.Stabilizer(WIDTH, HEIGHT)
    with pytest.raises(ValueError, match="frame is 120x160 pixels, the stabiliser takes 160x120"):
        stabilizer.push(np.zeros((WIDTH, HEIGHT, 4), np.uint8))
    with pytest.raises(ValueError, match="uint8"):
        stabilizer.push(np.zeros((HEIGHT, WIDTH, 4), np.float32))
    with pytest.raises(ValueError, match="H x W x 4 or H x W x 3"):
        stabilizer.push(np.zeros((HEIGHT, WIDTH), np.uint8))
    frame = packed(grey_frames(7, 1)[0][0])
    record = next(regviafft.Stabilizer(WIDTH, HEIGHT, mode="causal").process(frame))[0]
    with pytest.raises(ValueError, match="read-only"):
        stabilizer.render(record, frame, np.broadcast_to(frame, frame.shape))
    with pytest.raises(regviafft.Error, match="cannot open"):
        regviafft.stabilize_file("/no/such/file.mp4", "out.mp4")
    with pytest.raises(ValueError, match="crf: must be a whole number from 0 to 63, got 99"):
        regviafft.stabilize_file("in.mp4", "out.mp4", crf=99)


def test_a_file_run_checks_its_encoder_and_outputs_before_reading_and_overwrites_only_when_told(tmp_path):
    clip, out = tmp_path / "in.mkv", tmp_path / "out.mkv"
    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25",
                    "-frames:v", "10", "-c:v", "ffv1", str(clip)], check=True)
    missing = tmp_path / "missing.mkv"
    # Refused before the (missing) input is opened, under the keyword.
    with pytest.raises(ValueError, match="^preset: the libx264 encoder has no preset 'warp'"):
        regviafft.stabilize_file(missing, out, preset="warp")
    with pytest.raises(ValueError, match="^plot: must end in one of .png, .jpg"):
        regviafft.stabilize_file(missing, out, plot=tmp_path / "path.gif")
    with pytest.raises(regviafft.Error, match="is the input itself"):
        regviafft.stabilize_file(clip, clip, overwrite=True)
    out.write_bytes(b"the user's own file")
    with pytest.raises(regviafft.Error, match="out.mkv exists; pass overwrite=True to replace it"):
        regviafft.stabilize_file(clip, out, codec="ffv1")
    assert out.read_bytes() == b"the user's own file"
    records = regviafft.stabilize_file(clip, out, codec="ffv1", overwrite=True, plot=tmp_path / "path.jpg")
    assert len(records) == 10 and out.stat().st_size > 1000
    assert (tmp_path / "path.jpg").read_bytes()[:3] == b"\xff\xd8\xff"


def test_the_package_says_its_licence_and_version():
    from importlib import metadata
    assert metadata.metadata("regviafft")["License"] == "MIT"
    assert metadata.version("regviafft") == regviafft.__version__


# A value of each Python type, to offer every keyword the types it does not take.
SAMPLES = {"bool": True, "int": 3, "float": 2.5, "str": "lag", "tuple": (32, 32)}
TAKES = {"bool": {"bool"}, "int": {"int"}, "float": {"int", "float"}, "str": {"str"}, "tuple": {"tuple"}}


def edges(option):
    """(accepted, refused) typed values at the edges of an option's range."""
    kind, values = option["type"], option["values"]
    if kind == "str" and values.startswith("one of "):
        names = values[len("one of "):].split(", ")
        return names, ["", names[0].upper()]
    if kind == "bool":
        return [True, False], []
    numbers = values.split("from ")[1].split(" to ") if "from " in values else ["0", values.split("up to ")[1]]
    lo, hi = float(numbers[0]), float(numbers[1])
    if kind == "float":
        low = math.nextafter(lo, hi) if "above" in values else lo
        return [low, hi], [math.nextafter(low, -math.inf), math.nextafter(hi, math.inf), math.nan]
    lo, hi = int(lo), int(hi)
    if kind == "tuple":
        return [(lo, hi), (hi, lo)], [(lo - 1, hi), (lo, hi + 1), (lo, lo, lo)]
    return [lo, hi], [lo - 1, hi + 1]


def test_every_keyword_takes_its_type_and_edges_and_refuses_the_rest_by_name():
    for option in regviafft.STABILIZER_OPTIONS:
        keyword = option["keyword"]
        accepted, refused = edges(option)
        for value in accepted:
            try:
                settings = regviafft.Stabilizer(WIDTH, HEIGHT, **{keyword: value}).settings
                assert settings[keyword] == value, (keyword, value)
            except ValueError as error:
                # A size beyond this frame is refused by the frame, not by the keyword's range.
                assert option["derived"] and str(error).startswith(keyword + ": "), (keyword, value, error)
        wrong_types = [v for t, v in SAMPLES.items() if t not in TAKES[option["type"]]]
        for value in refused + wrong_types:
            with pytest.raises(ValueError) as raised:
                regviafft.Stabilizer(WIDTH, HEIGHT, **{keyword: value})
            assert str(raised.value).startswith(keyword + ": must be "), (keyword, value)
        # None keeps the default.
        assert (regviafft.Stabilizer(WIDTH, HEIGHT, **{keyword: None}).settings[keyword]
                == regviafft.Stabilizer(WIDTH, HEIGHT).settings[keyword])


def test_settings_hold_the_library_defaults_and_a_batch_reads_options_as_the_command_line():
    settings = regviafft.Stabilizer(WIDTH, HEIGHT).settings
    assert list(settings) == ["width", "height"] + [o["keyword"] for o in regviafft.STABILIZER_OPTIONS]
    assert (settings["width"], settings["height"]) == (WIDTH, HEIGHT)
    for option in regviafft.STABILIZER_OPTIONS:
        if option["default"] is not None:
            assert settings[option["keyword"]] == option["default"], option["keyword"]
    # The stabiliser runs with them: lag mode's look-ahead is its latency.
    assert settings["mode"] == "lag" and regviafft.Stabilizer(WIDTH, HEIGHT).latency == settings["lag"]
    assert regviafft.Stabilizer(WIDTH, HEIGHT, mode="causal").latency == 0
    from regviafft._regviafft_video import _parse_option as read
    assert read("template_size", "64") == (64, 64)
    assert read("margins", "3x5") == (3, 5)
    assert read("budget", "2.5") == 2.5 and read("lag", "7") == 7 and read("crf", "20") == 20
    with pytest.raises(ValueError, match="^lag: must be a whole number from 0 to 120, got 121$"):
        read("lag", "121")
    with pytest.raises(TypeError):
        read("frobnicate", "1")


def test_records_carry_the_field_table_names_in_order():
    names = [name for name, _ in regviafft.RECORD_FIELDS]
    results = run(regviafft.Stabilizer(WIDTH, HEIGHT, mode="causal"), [packed(g) for g in grey_frames(9, 6)[0]])
    records = [r for r, _ in results]
    table = regviafft.records_to_array(records)
    assert list(table.dtype.names) == ["id", "time"] + names
    kinds = {"integer": "i", "number": "f", "truth": "b"}
    for name, kind in regviafft.RECORD_FIELDS:
        assert table.dtype[name].kind == kinds[kind], name
    for row, record in zip(table, records):
        as_dict = record.to_dict()
        assert list(as_dict) == ["id", "time"] + names
        for name in names:
            assert getattr(record, name) == as_dict[name] == row[name], name
    assert list(table["index"]) == list(range(len(records)))
    assert table["analysed"].all() and not table["cut"][1:].any()


def test_two_streams_on_two_threads_give_what_one_thread_gives():
    streams = [[packed(g) for g in grey_frames(seed, frames=40)[0]] for seed in (11, 13)]

    def stabilise(frames):
        return [(r.correction_x, r.correction_y, out.tobytes())
                for r, out in run(regviafft.Stabilizer(WIDTH, HEIGHT, mode="lag"), frames)]

    alone = [stabilise(frames) for frames in streams]
    together = [None, None]

    def worker(k):
        together[k] = stabilise(streams[k])

    threads = [threading.Thread(target=worker, args=(k,)) for k in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert together == alone
