#!/bin/bash
# How many slightly cropped copies a threshold finds: every 50th JPEG of a corpus is cropped by
# 2, 5 and 10 % of each side's length, once around the centre and once from one corner
# (ImageMagick), and each copy's factor against its original is read from vistrel-cli (on the
# threshold's scale). Prints, for each crop, how many of the copies fall under thresholds 4
# (the default), 6, 8, 10, 15 and 20.
# Usage: bench/crop-check.sh VISTREL_CLI CORPUS WORKDIR   (CORPUS as make-corpus makes it)
set -euo pipefail
cli="$1"
pictures="$2/pictures"
work="$3"
rm -rf "$work" && mkdir -p "$work/orig"
count=0
find "$pictures" -path '*/.*' -prune -o -iname '*.jpg' -print | sort | awk 'NR % 50 == 1' |
  while read -r file; do
    count=$((count + 1))
    name=$(printf '%04d.jpg' "$count")
    cp "$file" "$work/orig/$name"
    for cut in 2 5 10; do
      mkdir -p "$work/centre$cut" "$work/corner$cut"
      convert "$file" -gravity center -crop $((100 - cut))%x$((100 - cut))%+0+0 +repage \
        -quality 92 "$work/centre$cut/$name"
      convert "$file" -gravity northwest -crop $((100 - cut))%x$((100 - cut))%+0+0 +repage \
        -quality 92 "$work/corner$cut/$name"
    done
  done
for crop in centre2 centre5 centre10 corner2 corner5 corner10; do
  # Threshold 100 reports every pair; only each copy with its own original counts.
  "$cli" test --quiet --no-cache --threshold 100 "$work/orig" "$work/$crop" | python3 -c "
import sys
factors = []
for line in sys.stdin:
    factor, a, b = line.rstrip('\n').split('\t')[:3]
    if a.rsplit('/', 1)[1] == b.rsplit('/', 1)[1]:
        factors.append(float(factor))
found = ' '.join(f'{t}:{sum(f < t for f in factors)}' for t in (4, 6, 8, 10, 15, 20))
print(f'$crop: {len(factors)} copies, found under {found}')
"
done
