#!/bin/bash
# Writes what vistrel-cli prints for a folder of pictures, and the md5 sum of each output, so that
# two builds can be shown to give the very same bytes: a test with its saved repository, a test
# of turned copies at a lax threshold in JSON, a keep plan, and the warnings.
# Usage: bench/cli-outputs.sh VISTREL_CLI CORPUS OUTDIR   (CORPUS as make-corpus makes it)
set -euo pipefail
cli="$1"
pictures="$2/pictures"
out="$3"
mkdir -p "$out"
# The signature cache is left out, so that every picture is decoded by the build under test.
"$cli" test --quiet --no-cache --save "$out/test.qrx" "$pictures" >"$out/test.txt" 2>"$out/warnings"
"$cli" test --quiet --no-cache --turned --threshold 10 --json "$pictures" >"$out/turned.json" \
  2>>"$out/warnings"
"$cli" keep --quiet --no-cache "$pictures" >"$out/keep.txt" 2>>"$out/warnings"
(cd "$out" && md5sum test.txt test.qrx turned.json keep.txt warnings)
