"""Stabilise many video files on a Dask cluster, one task per file.

    python3 -m regviafft.batch INPUT... --out DIR [--scheduler ADDRESS] [--workers N]
                               [stabiliser and file options, as regviafft-stabilize takes them]

INPUT may be files, folders (their video files, recursively) and globs. Each
file becomes DIR/<name>.mp4 with its motion table DIR/<name>.motion.csv. The
summary (DIR/summary.csv) keeps the options each output was made with: a file
whose output and table are there, made with the same options, is skipped, so
a run that stopped can simply be run again; one made with other options is
made again, and so is every file with --force. Without --scheduler a local
cluster of worker processes runs the tasks; with it, the cluster that
scheduler serves (its workers need regviafft installed). A file that fails is
reported in the summary with its error, and the other files go on.
"""

import argparse
import csv
import glob
import json
import os
import sys
import time

import numpy as np

from . import STABILIZER_OPTIONS
from ._regviafft_video import BATCH_OPTIONS, FILE_OPTIONS, _parse_option

VIDEO_EXTENSIONS = {".mp4", ".mkv", ".mov", ".avi", ".webm", ".m4v", ".mts", ".m2ts", ".ts",
                    ".mpg", ".mpeg", ".flv", ".wmv", ".3gp", ".ogv"}
SUMMARY_COLUMNS = ["input", "status", "output", "motion", "frames", "jitter_before",
                   "jitter_after", "seconds", "error", "options"]


def expand_inputs(patterns):
    """Files named, found in folders, or matched by globs; each once, in order."""
    found = []
    for pattern in patterns:
        matches = sorted(glob.glob(pattern, recursive=True)) or [pattern]
        for match in matches:
            if os.path.isdir(match):
                for folder, _, names in sorted(os.walk(match)):
                    found += [os.path.join(folder, n) for n in sorted(names)
                              if os.path.splitext(n)[1].lower() in VIDEO_EXTENSIONS]
            else:
                found.append(match)
    unique = []
    for path in found:
        if path not in unique:
            unique.append(path)
    return unique


def output_names(inputs, out):
    """DIR/<name>.mp4 and DIR/<name>.motion.csv, numbered where names collide."""
    taken, pairs = set(), []
    for path in inputs:
        stem = os.path.splitext(os.path.basename(path))[0]
        name, number = stem, 2
        while name in taken:
            name, number = f"{stem}-{number}", number + 1
        taken.add(name)
        pairs.append((os.path.join(out, name + ".mp4"), os.path.join(out, name + ".motion.csv")))
    return pairs


def _read_table(path):
    with open(path, newline="") as file:
        rows = list(csv.DictReader(file))
    table = np.zeros(len(rows), dtype=[("analysed", "?"), ("cut", "?"), ("path_x", "f8"),
                                       ("path_y", "f8"), ("correction_x", "f8"),
                                       ("correction_y", "f8")])
    for i, row in enumerate(rows):
        table[i] = (row["analysed"] == "1", row["cut"] == "1", float(row["path_x"]),
                    float(row["path_y"]), float(row["correction_x"]), float(row["correction_y"]))
    return table


def stabilize_one(input, output, motion, options, complete=False):
    """One task: stabilises a file unless it is complete; never raises."""
    import regviafft

    result = {"input": input, "output": output, "motion": motion, "error": ""}
    started = time.monotonic()
    try:
        if complete:
            result["status"] = "skipped, already complete"
        else:
            regviafft.stabilize_file(input, output, motion=motion, quiet=True, overwrite=True, **options)
            result["status"] = "done"
        table = _read_table(motion)
        result.update(frames=len(table), jitter_before=regviafft.jitter(table, corrected=False),
                      jitter_after=regviafft.jitter(table))
    except Exception as error:  # reported in the summary; the other files go on
        result.update(status="failed", error=f"{type(error).__name__}: {error}")
    result["seconds"] = time.monotonic() - started
    return result


# Options of the file job that a batch sets itself for each file.
OWN_OPTIONS = {"motion", "plot", "quiet", "overwrite"}


def passed_on_options():
    """The library's and the file job's options a batch passes on to every file."""
    return [o for o in STABILIZER_OPTIONS + FILE_OPTIONS
            if o["keyword"] not in OWN_OPTIONS]


# Options that decide how fast an output is made, not what it shows: a
# rerun on another number of workers must not make the outputs again.
SPEED_OPTIONS = {"encoder_threads"}


def options_made_with(options):
    """Every passed-on option's value an output is made with, defaults
    included, as the summary keeps it: a run that leaves an option out makes
    the same output as one that gives its default."""
    values = {}
    for o in passed_on_options():
        if o["keyword"] in SPEED_OPTIONS:
            continue
        given = options.get(o["keyword"])
        values[o["keyword"]] = o["default"] if given is None else given
    return json.dumps(values, sort_keys=True)


def previous_options(summary):
    """The options each input's output was made with, from an earlier run's
    summary; an input it does not list, or lists as failed, has none."""
    if not os.path.exists(summary):
        return {}
    with open(summary, newline="") as file:
        return {row["input"]: row.get("options") for row in csv.DictReader(file)
                if row.get("status") != "failed"}


def is_complete(output, motion, made_with, options):
    """Whether a file's output and table are there, made with these options."""
    return made_with == options and os.path.exists(output) and os.path.exists(motion)


def _reader(keyword):
    """Reads an option's text as regviafft-stabilize does, into its typed value."""
    def read(text):
        try:
            return _parse_option(keyword, text)
        except ValueError as error:
            raise argparse.ArgumentTypeError(str(error))
    return read


def share_of_cores(options, workers, cores=None):
    """The options with each task's share of the cores for its encoder.

    Tasks on a local cluster run side by side, and an encoder left to its
    default takes every core, so that they fight over them: each gets
    cores // workers threads (at least one), unless --encoder-threads is set.
    """
    if options.get("encoder_threads") is not None:
        return options
    cores = cores or os.cpu_count() or 1
    return dict(options, encoder_threads=max(1, cores // max(1, workers)))


def _client(scheduler, workers):
    from distributed import Client, LocalCluster

    if scheduler:
        return Client(scheduler)
    cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                           dashboard_address=None)
    return Client(cluster)


def write_summary(path, results):
    with open(path, "w", newline="") as file:
        writer = csv.DictWriter(file, fieldnames=SUMMARY_COLUMNS, extrasaction="ignore")
        writer.writeheader()
        for result in results:
            writer.writerow({k: (f"{v:.4f}" if isinstance(v, float) else v)
                             for k, v in result.items()})


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m regviafft.batch", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("inputs", nargs="+", metavar="INPUT")
    parser.add_argument("--out", required=True, metavar="DIR", help="folder for the outputs")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="an existing Dask scheduler, e.g. tcp://host:8786 (default: a local cluster)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="worker processes of the local cluster (default: one per core)")
    for o in BATCH_OPTIONS:
        parser.add_argument("--" + o["keyword"].replace("_", "-"), action="store_true", help=o["help"])
    passed_on = parser.add_argument_group("for every file, as regviafft-stabilize takes them")
    for o in passed_on_options():
        flag = "--" + o["keyword"].replace("_", "-")
        if o["type"] == "bool":
            passed_on.add_argument(flag, action="store_true", default=None, help=o["help"])
        else:
            passed_on.add_argument(flag, type=_reader(o["keyword"]), metavar="VALUE", help=o["help"])
    arguments = parser.parse_args(argv)
    options = {o["keyword"]: getattr(arguments, o["keyword"]) for o in passed_on_options()}
    made_with = options_made_with(options)
    if not arguments.scheduler:
        options = share_of_cores(options, arguments.workers)

    # Absolute paths: the workers may run in another folder.
    inputs = [os.path.abspath(path) for path in expand_inputs(arguments.inputs)]
    if not inputs:
        raise SystemExit("regviafft.batch: no input files")
    out = os.path.abspath(arguments.out)
    os.makedirs(out, exist_ok=True)
    pairs = output_names(inputs, out)

    summary = os.path.join(out, "summary.csv")
    before = {} if arguments.force else previous_options(summary)

    from distributed import as_completed

    started = time.monotonic()
    with _client(arguments.scheduler, arguments.workers) as client:
        futures = [client.submit(stabilize_one, path, output, motion, options,
                                 is_complete(output, motion, before.get(path), made_with), pure=False)
                   for path, (output, motion) in zip(inputs, pairs)]
        results = {}
        for done, (_, result) in enumerate(as_completed(futures, with_results=True), start=1):
            result["options"] = made_with
            results[result["input"]] = result
            print(f"[{done}/{len(futures)}] {result['input']}: {result['status']}"
                  + (f" ({result['error']})" if result["error"] else ""), file=sys.stderr)
    ordered = [results[path] for path in inputs]
    write_summary(summary, ordered)
    failed = sum(r["status"] == "failed" for r in ordered)
    print(f"{len(ordered) - failed} of {len(ordered)} files stabilised or already complete "
          f"in {time.monotonic() - started:.1f} s; summary in {summary}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
