#!/usr/bin/env python3
"""Pairs a test leaves out, checked on a corpus made by make-corpus. Runs vistrel-cli test on the
whole corpus, then with every folder but a few under --reference, then with --skip-same-folder,
and checks that each reduced run finds exactly the full run's pairs that it should (those with
a picture outside the reference folders; those of pictures in different folders) and counts
exactly the pairs it should compare. Prints the comparison times and their ratios (the fastest
of REPEAT runs each, the three runs taken in turn so that a busy machine slows all alike).
Usage: scope-check.py VISTREL_CLI CORPUS [--repeat N] [--keep FOLDER]... [-- TEST_OPTION...]
FOLDER is relative to CORPUS/pictures; by default the three folders that hold 1,000 of the
10,000 corpus' pictures."""
import math
import os
import re
import subprocess
import sys

DEFAULT_KEEP = ["2016/2016-05 Hochzeit Anna & Jörg", "Backup 2020/old laptop/Pictures",
                "Phone/WhatsApp/Media/WhatsApp Images"]
# The extensions a scan takes with the default formats.
EXTENSIONS = {"bmp", "dib", "gif", "jpg", "jpeg", "jpe", "jfif", "png", "tif", "tiff", "webp",
              "heic", "heif", "avif"}
SUMMARY = re.compile(r"(\d+) pictures .* comparison ([\d:.]+)( s)? \((\d+) pairs\)")


def seconds(text):
    value = 0.0
    for part in text.split(":"):
        value = value * 60 + float(part)
    return value


def run_test(cli, arguments):
    """The pairs found (factor, a, b and, with --turned, the orientation), the pictures, the
    pairs compared and the time."""
    done = subprocess.run([cli, "test", "-0", *arguments], capture_output=True, check=True)
    summary = SUMMARY.search(done.stderr.decode().splitlines()[-1])
    fields = [field.decode() for field in done.stdout.split(b"\0")[:-1]]
    width = 4 if "--turned" in arguments else 3
    found = [tuple(fields[k:k + width]) for k in range(0, len(fields), width)]
    return found, int(summary.group(1)), int(summary.group(4)), seconds(summary.group(2))


def run_all(cli, runs, repeat):
    """run_test of each list of arguments, REPEAT times in turn, with the fastest time."""
    results = [None] * len(runs)
    for _ in range(repeat):
        for k, arguments in enumerate(runs):
            result = run_test(cli, arguments)
            if results[k] is None or result[3] < results[k][3]:
                results[k] = result
    return results


def entries(pictures):
    """The paths a scan of `pictures` adds: picture extensions, no name beginning with a dot."""
    paths = []
    for folder, subfolders, files in os.walk(pictures):
        subfolders[:] = [name for name in subfolders if not name.startswith(".")]
        paths += [os.path.join(folder, name) for name in files
                  if not name.startswith(".") and name.rsplit(".", 1)[-1].lower() in EXTENSIONS]
    return paths


def reference_folders(pictures, keep):
    """The largest folders that hold none of `keep`: everything else then lies under one."""
    keep = {os.path.join(pictures, folder) for folder in keep}
    folders = []

    def walk(folder):
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if name.startswith(".") or not os.path.isdir(path):
                continue
            if path in keep or any(k.startswith(path + "/") for k in keep):
                walk(path)
            else:
                folders.append(path)
    walk(pictures)
    return folders


def under(path, folders):
    return any(path.startswith(folder + "/") for folder in folders)


def check(name, found, expected, pairs, expected_pairs):
    same = found == expected
    print(f"{name}: {len(found)} similar pairs, {len(expected)} expected: "
          f"{'same pairs in the same order' if same else 'DIFFERENT'}; "
          f"{pairs} pairs compared, {expected_pairs} expected: "
          f"{'ok' if pairs == expected_pairs else 'WRONG'}")
    return same and pairs == expected_pairs


def main():
    arguments = sys.argv[1:]
    options = []
    if "--" in arguments:
        options = arguments[arguments.index("--") + 1:]
        arguments = arguments[:arguments.index("--")]
    cli, corpus = arguments[0], arguments[1]
    repeat, keep, rest = 1, [], arguments[2:]
    while rest:
        if rest[0] == "--repeat":
            repeat = int(rest[1])
        elif rest[0] == "--keep":
            keep.append(rest[1])
        rest = rest[2:]
    keep = keep or DEFAULT_KEEP
    pictures = os.path.abspath(os.path.join(corpus, "pictures"))
    paths = entries(pictures)
    reference = reference_folders(pictures, keep)
    protected = sum(1 for path in paths if under(path, reference))
    folders = {}
    for path in paths:
        folders[os.path.dirname(path)] = folders.get(os.path.dirname(path), 0) + 1

    flags = [argument for folder in reference for argument in ("--reference", folder)]
    results = run_all(cli, [[*options, pictures], [*options, *flags, pictures],
                            [*options, "--skip-same-folder", pictures]], repeat)
    full, pictures_found, full_pairs, full_time = results[0]
    n = len(paths)
    if pictures_found != n:
        print(f"the scan found {pictures_found} pictures, this script {n}: counts not checked")
    print(f"full: {len(full)} similar pairs, {full_pairs} pairs compared, comparison {full_time} s")
    ok = True

    found, _, pairs, time = results[1]
    expected = [pair for pair in full
                if not (under(pair[1], reference) and under(pair[2], reference))]
    ok &= check(f"reference ({len(reference)} folders, {n - protected} pictures outside)", found,
                expected, pairs, n * (n - 1) // 2 - protected * (protected - 1) // 2)
    print(f"  comparison {time} s, {time / full_time if full_time else math.nan:.3f} of the full run")

    found, _, pairs, time = results[2]
    expected = [pair for pair in full if os.path.dirname(pair[1]) != os.path.dirname(pair[2])]
    ok &= check(f"skip same folder ({len(folders)} folders)", found, expected, pairs,
                n * (n - 1) // 2 - sum(c * (c - 1) // 2 for c in folders.values()))
    print(f"  comparison {time} s, {time / full_time if full_time else math.nan:.3f} of the full run")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
