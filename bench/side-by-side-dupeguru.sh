#!/bin/bash
# Times a cold scan of one folder by dupeGuru (its picture mode, default preferences, its picture
# cache emptied: bench/dupeguru-scan.py) and by `vistrel-cli test --threshold 4` (an empty
# signature cache), each ROUNDS times, alternately (the order turns every round), and prints the
# wall and CPU time (user + sys of the whole process and its children) of every run, the median,
# minimum and maximum of each program, the ratios of the medians, Vistrel's CPU per picture, and
# how many pictures, pairs and groups each found.
#
# Usage: bench/side-by-side-dupeguru.sh VISTREL_CLI FOLDER [ROUNDS] [SCRATCH]
#   ROUNDS   timed rounds (default 3), after one untimed round that checks both programs run
#   SCRATCH  a folder to work in (made if missing; it must be empty); default: a new one under
#            ${TMPDIR:-/tmp}, removed at the end. Every file either program writes (caches,
#            settings, results) goes there: HOME and the XDG folders point into it.
# Needs Debian's dupeguru package and GNU time (/usr/bin/time). Every file of FOLDER is read once
# first, so that both programs find the pictures in the page cache: the runs are cold in their
# own caches only, which is fair to both. Run it on an otherwise idle machine where possible, and
# look at the load it prints.
set -euo pipefail

if [[ $# -lt 2 || $# -gt 4 ]]; then
  sed -n '9,13p' "$0" >&2
  exit 1
fi
cli=$(realpath "$1")
folder=$(realpath "$2")
rounds=${3:-3}
here=$(dirname "$(realpath "$0")")
[[ -x "$cli" ]] || { echo "not a program: $cli" >&2; exit 1; }
[[ -d "$folder" ]] || { echo "not a folder: $folder" >&2; exit 1; }
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || { echo "ROUNDS must be a positive number" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "needs GNU time (/usr/bin/time)" >&2; exit 1; }
[[ -d /usr/share/dupeguru/core ]] || { echo "needs the dupeguru package" >&2; exit 1; }

if [[ $# -eq 4 ]]; then
  scratch="$4"
  mkdir -p "$scratch"
  [[ -z "$(ls -A "$scratch")" ]] || { echo "the scratch folder must be empty: $scratch" >&2; exit 1; }
  scratch=$(realpath "$scratch")
else
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/side-by-side.XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
fi
times="$scratch/times.tsv"
: >"$times"

# One run in fresh folders of its own: HOME and every XDG folder inside RUN, so that neither
# program can find or touch the user's caches and settings.
run_env() {
  local run="$1"
  mkdir -p "$run/home" "$run/cache" "$run/data" "$run/config"
  mkdir -m 700 -p "$run/runtime"
  echo HOME="$run/home" XDG_CACHE_HOME="$run/cache" XDG_DATA_HOME="$run/data" \
    XDG_CONFIG_HOME="$run/config" XDG_RUNTIME_DIR="$run/runtime" QT_QPA_PLATFORM=offscreen
}

# Runs a command with its output in RUN.out and RUN.err and GNU time's figures for the whole
# process and its children in RUN.time; sets wall, user and sys; returns the command's status.
timed() {
  local run="$1"
  shift
  local status=0
  /usr/bin/time -f '%e %U %S' -o "$run.time" "$@" >"$run.out" 2>"$run.err" || status=$?
  # GNU time puts a line about a non-zero exit status before its figures.
  read -r wall user sys < <(tail -n 1 "$run.time")
  return "$status"
}

run_dupeguru() {
  local round="$1" run="$scratch/dupeguru-$1"
  # shellcheck disable=SC2046
  timed "$run" env $(run_env "$run") /usr/bin/python3 "$here/dupeguru-scan.py" "$folder" ||
    { echo "dupeGuru failed:" >&2; cat "$run.err" >&2; exit 1; }
  local line files groups grouped matches
  line=$(cat "$run.out")
  files=$(sed -n 's/.* files=\([0-9?]*\).*/\1/p' <<<"$line")
  groups=$(sed -n 's/.* groups=\([0-9]*\).*/\1/p' <<<"$line")
  grouped=$(sed -n 's/.* grouped=\([0-9]*\).*/\1/p' <<<"$line")
  matches=$(sed -n 's/.* matches=\([0-9]*\).*/\1/p' <<<"$line")
  printf 'dupeGuru\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$round" "$wall" "$user" "$sys" "$files" \
    "$matches" "$groups" "$grouped" | tee -a "$times"
  echo "# $line"
  rm -rf "$run"
}

run_vistrel() {
  local round="$1" run="$scratch/vistrel-$1"
  local status=0
  # shellcheck disable=SC2046
  timed "$run" env $(run_env "$run") "$cli" test --threshold 4 --json "$folder" || status=$?
  # Status 2 only says that some file could not be read (a broken picture): still a whole run.
  [[ $status -eq 0 || $status -eq 2 ]] ||
    { echo "vistrel-cli failed ($status):" >&2; cat "$run.err" >&2; exit 1; }
  local counts
  counts=$(/usr/bin/python3 - "$run.out" <<'EOF'
import json, sys
found = json.load(open(sys.argv[1]))
parent = {}
def root(a):
    while parent.setdefault(a, a) != a:
        parent[a] = parent[parent[a]]
        a = parent[a]
    return a
for pair in found["pairs"]:
    parent[root(pair["a"])] = root(pair["b"])
read = sum(not p["loadError"] for p in found["pictures"])
print(read, len(found["pairs"]), len({root(a) for a in parent}), len(parent))
EOF
  )
  read -r files pairs groups grouped <<<"$counts"
  printf 'Vistrel\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$round" "$wall" "$user" "$sys" "$files" \
    "$pairs" "$groups" "$grouped" | tee -a "$times"
  echo "# $(tail -n 1 "$run.err")"
  rm -rf "$run"
}

echo "dupeGuru $(sed -n 's/__version__ = "\(.*\)"/\1/p' /usr/share/dupeguru/core/__init__.py)," \
  "$("$cli" --version)," "$(nproc) cores, folder $folder"
echo "reading every file once (page cache)"
find "$folder" -type f -exec cat {} + >/dev/null
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf 'program\tround\twall_s\tuser_s\tsys_s\tpictures\tpairs\tgroups\tin_groups\n'
for ((round = 0; round <= rounds; ++round)); do
  if ((round % 2 == 1)); then
    run_vistrel "$round"
    run_dupeguru "$round"
  else
    run_dupeguru "$round"
    run_vistrel "$round"
  fi
  echo "load after round $round: $(cut -d' ' -f1-3 /proc/loadavg)"
done

# Round 0 only checked that both programs run; the summary is of the timed rounds.
/usr/bin/python3 - "$times" <<'EOF'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, rnd, wall, user, sys_, files, *_ = line.rstrip("\n").split("\t")
    if rnd != "0":
        runs.setdefault(name, []).append((float(wall), float(user) + float(sys_), files))
def stats(values):
    return statistics.median(values), min(values), max(values)
summary = {}
for name in ("dupeGuru", "Vistrel"):
    walls = [r[0] for r in runs[name]]
    cpus = [r[1] for r in runs[name]]
    summary[name] = (stats(walls), stats(cpus))
    print("%-8s wall median %.2f s (min %.2f, max %.2f); CPU median %.2f s (min %.2f, max %.2f)"
          % ((name,) + summary[name][0] + summary[name][1]))
dg, vi = summary["dupeGuru"], summary["Vistrel"]
print("dupeGuru / Vistrel: wall %.1f x, CPU %.1f x (medians)" % (dg[0][0] / vi[0][0], dg[1][0] / vi[1][0]))
# The two runs of a round ran close in time, under much the same load: their ratio is the
# steadier figure on a busy machine.
rounds = [d[0] / v[0] for d, v in zip(runs["dupeGuru"], runs["Vistrel"])]
print("dupeGuru / Vistrel wall, round by round: median %.1f x (min %.1f, max %.1f)" % stats(rounds))
pictures = runs["Vistrel"][0][2]
if pictures.isdigit():
    print("Vistrel CPU per picture: %.2f ms (%s pictures)" % (1000 * vi[1][0] / int(pictures), pictures))
EOF
