"""Speed of the Python module: frames per second at 1280x720 against the C++
API on the same frames in the same run (the binding's overhead), and the batch
mode's wall time for 8 small clips on 1 and on 2 workers. Prints Markdown.

    python3 bench/python_speed.py [BUILD_DIR]      (from the source folder; RUNS=3 by default)
"""
import os
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/release")
sys.path.insert(0, os.path.join(build, "python"))
import regviafft  # noqa: E402

WIDTH, HEIGHT, FRAMES = 1280, 720, 120
BATCH_RUNS = int(os.environ.get("RUNS", "3"))


def frames():
    """A textured scene seen by a shaking camera, as H x W x 4 frames."""
    rng = np.random.default_rng(1)
    coarse = rng.integers(0, 255, (HEIGHT // 16 + 4, WIDTH // 16 + 4)).astype(float)
    scene = np.kron(coarse, np.ones((16, 16)))
    scene = np.clip(scene + rng.integers(-20, 21, scene.shape), 0, 255).astype(np.uint8)
    offsets = np.clip(np.cumsum(rng.integers(-3, 4, (FRAMES, 2)), axis=0), -24, 24) + 28
    grey = [scene[y:y + HEIGHT, x:x + WIDTH] for x, y in offsets]
    return [np.ascontiguousarray(np.dstack([g, g, g, np.full_like(g, 255)])) for g in grey]


def module_fps(stream, mode):
    stabilizer = regviafft.Stabilizer(WIDTH, HEIGHT, mode=mode)
    outputs = [np.empty_like(stream[0]) for _ in range(2)]
    start = time.perf_counter()
    def drain():
        while (held := stabilizer.pull()) is not None:
            record, frame = held
            stabilizer.render(record, frame, outputs[record.id % 2])

    for frame in stream:
        stabilizer.push(frame)
        drain()
    stabilizer.finish()
    drain()
    return len(stream) / (time.perf_counter() - start)


def binding_table(stream, folder):
    raw = os.path.join(folder, "frames.raw")
    with open(raw, "wb") as file:
        for frame in stream:
            file.write(frame.tobytes())
    print(f"Frames per second at {WIDTH}x{HEIGHT}, {FRAMES} frames of 4-byte pixels "
          "(push, pull and render)\n")
    print("| mode | C++ API | Python module | module / C++ |\n|---|---|---|---|")
    for mode in ("causal", "lag"):
        cpp = float(subprocess.run([os.path.join(build, "bench", "api_speed"), str(WIDTH), str(HEIGHT), raw,
                                    mode], check=True, capture_output=True, text=True).stdout)
        python = module_fps(stream, mode)
        print(f"| {mode} | {cpp:.1f} | {python:.1f} | {python / cpp:.2f} |")


def batch_table(folder):
    clips = os.path.join(folder, "clips")
    os.makedirs(clips)
    for k in range(8):
        shake = f"crop=640:360:x='40+12*sin(n*{k + 1}/5.0)':y='40+9*sin(n/3.0)'"
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=720x440:rate=30",
                        "-vf", shake, "-t", "4", "-c:v", "libx264", "-preset", "veryfast",
                        os.path.join(clips, f"clip{k}.mp4")], check=True)
    environment = dict(os.environ, PYTHONPATH=os.path.join(build, "python"))

    busy = {}

    def run(out, *options):
        """Wall seconds of one batch; the cores it kept busy go to busy[options]."""
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run([sys.executable, "-m", "regviafft.batch", clips, "--out", os.path.join(folder, out),
                        *options], check=True, env=environment, capture_output=True)
        seconds = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime
        busy[options] = max(busy.get(options, 0.0), cpu / seconds)
        return seconds

    # Each task's encoder gets cores / workers threads; the last rows give
    # every encoder all the cores, as before, and one worker an encoder of
    # one thread, for comparison. The rows take turns, and each keeps its
    # best of RUNS: on a shared machine the others' load comes and goes. A
    # rerun that finds every output complete is the cluster's own start and
    # stop. "Cores busy" is the CPU time over the wall time: what one worker
    # already keeps busy is what a second cannot add.
    rows = {"1": ("--workers", "1"), "2": ("--workers", "2"),
            "2, encoders on every core": ("--workers", "2", "--encoder-threads", "0"),
            "1, encoder on one core": ("--workers", "1", "--encoder-threads", "1")}
    best = {}
    for turn in range(BATCH_RUNS):
        for k, (name, options) in enumerate(rows.items()):
            seconds = run(f"out{turn}-{k}", *options)
            best[name] = min(best.get(name, seconds), seconds)
    fixed = min(run(f"out0-{len(rows) - 1}", "--workers", "2") for _ in range(BATCH_RUNS))
    print(f"\nBatch mode, 8 clips of 640x360 and 120 frames, local cluster, {os.cpu_count()} cores, "
          f"best of {BATCH_RUNS}\n")
    print("| workers | wall seconds | speed-up | speed-up without the cluster's start | cores busy |\n"
          "|---|---|---|---|---|")
    single = best["1"]
    for name, seconds in best.items():
        print(f"| {name} | {seconds:.1f} | {single / seconds:.2f} | {(single - fixed) / (seconds - fixed):.2f} "
              f"| {busy[rows[name]]:.2f} |")
    print(f"\nA rerun with every output complete (start, skip, stop): {fixed:.1f} s")

if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as folder:
        binding_table(frames(), folder)
        batch_table(folder)
