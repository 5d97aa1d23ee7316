"""Batch stabilisation on a local Dask cluster of two worker processes."""
import csv
import json
import os
import subprocess
import sys

import regviafft


def make_clip(path, seed):
    """One second of a shaking test pattern with a tone, by the ffmpeg program."""
    shake = f"crop=160:120:x='20+6*sin(n*{seed}/3.0)':y='20+5*sin(n*{seed}/4.0)'"
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=200x160:rate=30",
                    "-f", "lavfi", "-i", "sine=f=440", "-vf", shake, "-t", "1", "-c:v", "libx264",
                    "-preset", "ultrafast", "-c:a", "aac", str(path)], check=True)


def run_batch(*arguments):
    environment = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(regviafft.__file__)))
    return subprocess.run([sys.executable, "-m", "regviafft.batch", *arguments], env=environment,
                          capture_output=True, text=True, timeout=600)


def summary(folder):
    with open(folder / "summary.csv", newline="") as file:
        return {os.path.basename(row["input"]): row for row in csv.DictReader(file)}


def test_every_good_file_is_done_the_broken_one_reported_and_a_rerun_redoes_what_changed(tmp_path):
    clips = tmp_path / "clips"
    (clips / "more").mkdir(parents=True)
    for seed, name in enumerate(["a.mp4", "b.mp4", "more/c.mkv", "more/d.mp4"], start=1):
        make_clip(clips / name, seed)
    (clips / "broken.mp4").write_text("this is not a video")
    out = tmp_path / "out"

    # A glob, a file and a folder: every input once.
    first = run_batch(str(clips / "*.mp4"), str(clips / "a.mp4"), str(clips / "more"),
                      "--out", str(out), "--workers", "2", "--mode", "lag", "--lag", "10")
    assert first.returncode == 1, first.stderr
    rows = summary(out)
    assert set(rows) == {"a.mp4", "b.mp4", "c.mkv", "d.mp4", "broken.mp4"}
    assert rows["broken.mp4"]["status"] == "failed"
    assert "cannot open" in rows["broken.mp4"]["error"] or "cannot read" in rows["broken.mp4"]["error"]
    for name in ("a.mp4", "b.mp4", "c.mkv", "d.mp4"):
        row = rows[name]
        assert row["status"] == "done", row
        assert os.path.exists(row["output"]) and os.path.exists(row["motion"])
        assert int(row["frames"]) == 30
        assert float(row["jitter_after"]) < float(row["jitter_before"])
    first_outputs = {name: os.path.getmtime(rows[name]["output"]) for name in ("a.mp4", "c.mkv")}

    # The same options, left out or given as their defaults, on another
    # share of the cores: nothing to do.
    second = run_batch(str(clips), "--out", str(out), "--workers", "1", "--lag", "10", "--border", "black",
                       "--encoder-threads", "1")
    assert second.returncode == 1
    rows = summary(out)
    for name in ("a.mp4", "b.mp4", "c.mkv", "d.mp4"):
        assert rows[name]["status"] == "skipped, already complete", rows[name]
        assert int(rows[name]["frames"]) == 30
        assert json.loads(rows[name]["options"])["lag"] == 10
        assert "encoder_threads" not in json.loads(rows[name]["options"])
    assert rows["broken.mp4"]["status"] == "failed"
    assert {name: os.path.getmtime(rows[name]["output"]) for name in first_outputs} == first_outputs

    # Other options: every output is made again with them.
    third = run_batch(str(clips), "--out", str(out), "--workers", "2", "--border", "crop", "--mode", "causal")
    assert third.returncode == 1
    rows = summary(out)
    for name in ("a.mp4", "b.mp4", "c.mkv", "d.mp4"):
        assert rows[name]["status"] == "done", rows[name]
        made_with = json.loads(rows[name]["options"])
        assert (made_with["border"], made_with["mode"], made_with["lag"]) == ("crop", "causal", 30), made_with
    third_outputs = {name: os.path.getmtime(rows[name]["output"]) for name in first_outputs}
    assert all(third_outputs[name] > first_outputs[name] for name in first_outputs)

    # --force makes a complete output again with the same options.
    forced = run_batch(str(clips / "a.mp4"), "--out", str(out), "--workers", "1", "--border", "crop",
                       "--mode", "causal", "--force")
    assert forced.returncode == 0, forced.stderr
    row = summary(out)["a.mp4"]
    assert row["status"] == "done", row
    assert os.path.getmtime(row["output"]) > third_outputs["a.mp4"]


def test_each_task_gets_its_share_of_the_cores_unless_the_caller_chose():
    from regviafft.batch import share_of_cores

    options = {"encoder_threads": None, "crf": 20}
    shares = {(cores, workers): share_of_cores(options, workers, cores)["encoder_threads"]
              for cores, workers in [(2, 2), (2, 1), (3, 2), (2, 4), (8, 3), (1, 0)]}
    assert shares == {(2, 2): 1, (2, 1): 2, (3, 2): 1, (2, 4): 1, (8, 3): 2, (1, 0): 1}
    assert share_of_cores(options, 2, 8)["crf"] == 20
    assert options["encoder_threads"] is None  # the caller's options stay as they were
    # A value the caller set, 0 (the encoder's own choice) included, is kept.
    for chosen in (0, 3):
        assert share_of_cores(dict(options, encoder_threads=chosen), 2, 8)["encoder_threads"] == chosen
