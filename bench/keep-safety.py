#!/usr/bin/env python3
"""Keep One of Each Group on a corpus made by make-corpus: how many distinct photos would lose
every copy at each threshold, with the plan vistrel-cli keep makes, and with the older rule that
kept one picture of each whole group. Usage: keep-safety.py CORPUS VISTREL_CLI THRESHOLD..."""
import collections
import csv
import os
import subprocess
import sys


def fields(cli, *arguments):
    output = subprocess.run([cli, *arguments, "-0", "--quiet"], capture_output=True,
                            check=True).stdout
    return [field.decode() for field in output.split(b"\0")[:-1]]


def main():
    corpus, cli, thresholds = sys.argv[1], sys.argv[2], sys.argv[3:]
    pictures = os.path.join(corpus, "pictures")
    files = {}
    with open(os.path.join(corpus, "files.tsv")) as table:
        for row in csv.DictReader(table, delimiter="\t"):
            files[os.path.join(pictures, row["path"])] = row
    # The copies a scan sees, by the photo they show (the group column).
    photos = collections.defaultdict(list)
    for path, row in files.items():
        if row["role"] not in ("junk", "hidden"):
            photos[row["group"]].append(path)

    def photos_lost(trashed):
        return sum(1 for paths in photos.values() if all(p in trashed for p in paths))

    def pixels(path):
        row = files.get(path)
        return int(row["width"]) * int(row["height"]) if row else 0

    for threshold in thresholds:
        plan = fields(cli, "keep", "--threshold", threshold, pictures)
        trashed, groups, i = set(), 0, 0
        while i < len(plan):
            if plan[i].startswith("#"):
                groups += 1
                i += 1
                continue
            if plan[i] == "trash":
                trashed.add(plan[i + 1])
            i += 2
        # The older rule: every picture of a group joined by links but the one with most pixels.
        pairs = fields(cli, "test", "--threshold", threshold, pictures)
        parent = {}

        def find(x):
            while parent.setdefault(x, x) != x:
                parent[x] = parent[parent[x]]
                x = parent[x]
            return x

        for k in range(0, len(pairs), 3):
            parent[find(pairs[k + 1])] = find(pairs[k + 2])
        members = collections.defaultdict(list)
        for path in list(parent):
            members[find(path)].append(path)
        old = set()
        for group in members.values():
            kept = max(group, key=pixels)
            old.update(path for path in group if path != kept)
        print(f"threshold {threshold}: {groups} groups; keep plans {len(trashed)} files for the "
              f"trash, photos left without a copy: {photos_lost(trashed)}; one per whole group: "
              f"{len(old)} files, photos left without a copy: {photos_lost(old)}")


if __name__ == "__main__":
    main()
