#!/usr/bin/env python3
"""What many marks of pairs as not similar cost a test. Marks the first similar pairs that
vistrel-cli test finds in CORPUS (REAL of them, with `vistrel-cli marks --add`), fills the marks
database up to COUNT marks with pairs of random digests, then runs the test REPEAT times with
the marks and without (in turn, so that a busy machine slows both alike) and prints the median
whole-process times, the pairs each run reported, what the marks left out and the size of the
database. Each run uses a
private XDG_DATA_HOME; the signature cache is the user's own, so run the test once before to
time the comparison rather than the decoding.
Usage: marks-load.py VISTREL_CLI CORPUS [--count COUNT] [--real REAL] [--repeat REPEAT]"""
import argparse
import os
import secrets
import sqlite3
import statistics
import subprocess
import tempfile
import time


def run_test(cli, pictures, data_home):
    env = dict(os.environ, XDG_DATA_HOME=data_home)
    start = time.monotonic()
    done = subprocess.run([cli, "test", "-0", "--quiet", pictures], env=env,
                          capture_output=True, check=True)
    seconds = time.monotonic() - start
    fields = done.stdout.split(b"\0")[:-1]
    return seconds, [tuple(fields[k:k + 3]) for k in range(0, len(fields), 3)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("corpus")
    parser.add_argument("--count", type=int, default=10000)
    parser.add_argument("--real", type=int, default=10)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    pictures = os.path.join(args.corpus, "pictures")
    if not os.path.isdir(pictures):
        pictures = args.corpus
    with tempfile.TemporaryDirectory() as empty, tempfile.TemporaryDirectory() as marked:
        _, full = run_test(args.cli, pictures, empty)
        env = dict(os.environ, XDG_DATA_HOME=marked)
        real = full[:args.real]
        for _, a, b in real:
            subprocess.run([args.cli, "marks", "--add", a, b], env=env, check=True,
                           capture_output=True)
        database = os.path.join(marked, "vistrel", "marks.sqlite")
        with sqlite3.connect(database) as db:
            db.executemany(
                "INSERT OR IGNORE INTO marks(first, second, first_path, second_path, marked_ns) "
                "VALUES (?, ?, ?, ?, 0)",
                [tuple(sorted((secrets.token_bytes(16), secrets.token_bytes(16)))) +
                 (b"/nowhere/a.jpg", b"/nowhere/b.jpg") for _ in range(args.count - len(real))])
            marks = db.execute("SELECT count(*) FROM marks").fetchone()[0]
        times = {"without marks": [], "with marks": []}
        found = {}
        for _ in range(args.repeat):
            for name, home in (("without marks", empty), ("with marks", marked)):
                seconds, pairs = run_test(args.cli, pictures, home)
                times[name].append(seconds)
                found[name] = pairs
        size = sum(os.path.getsize(os.path.join(marked, "vistrel", f))
                   for f in os.listdir(os.path.join(marked, "vistrel")))
        for name, values in times.items():
            print(f"{name}: median {statistics.median(values):.3f} s "
                  f"(of {len(values)}: {min(values):.3f} to {max(values):.3f} s), "
                  f"{len(found[name])} pairs")
        left_out = set(full) - set(found["with marks"])
        marked_pairs = set(real)
        # A mark holds for the pictures' content: a pair of a marked picture's exact copy goes too.
        others = len(left_out - marked_pairs)
        print(f"{marks} marks; the marked run left out {len(left_out)} pairs: "
              f"{'every marked pair' if marked_pairs <= left_out else 'NOT every marked pair'}"
              f" and {others} pairs of the same pictures under other names; "
              f"database and its log: {size / 1e6:.2f} MB")


if __name__ == "__main__":
    main()
