#!/usr/bin/env bash
# `qxa info` of a 200 MB archive of 100,000 images against `cat` of the same file to /dev/null,
# both as whole processes with the file in the page cache, alternating the two; prints
# min/median/max of CPU milliseconds (perf's task clock) and of wall milliseconds (a second run),
# and the ratios of the medians and of the minimums. Twice: the archive as the benchmark wrote
# it (in one go, which the page cache keeps in large pages), and a copy written by `cat`
# 128 KiB at a time (kept in 4 KiB pages, as most copies are), which a mapped read pays for.
# Usage: scripts/bench_info.sh [QXA] [REPETITIONS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
qxa=${1:-$here/build/release/qxa}
reps=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
archive=$work/large.qxa
PIXHAUL_BENCH_KEEP_ARCHIVE=$archive "$here/build/release/bench_load" \
    --benchmark_filter=BM_ReadWholeFile --benchmark_min_time=0.01 > /dev/null
copy=$work/copied.qxa
cat "$archive" > "$copy"
run() {  # command... -> "cpu-ms wall-ms": task clock from perf stat, elapsed time of a second run
    perf stat -x, -e task-clock -o "$work/t" "$@" > /dev/null
    local start end
    awk -F, '/task-clock/ {printf "%.1f ", $1}' "$work/t"
    start=$(date +%s%N); "$@" > /dev/null; end=$(date +%s%N)
    echo "$(( (end - start) / 1000 ))" | awk '{printf "%.1f\n", $1 / 1000}'
}
stats() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {printf "min %.1f median %.1f max %.1f", a[1], a[int((NR+1)/2)], a[NR]}'; }
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( (reps + 1) / 2 ))p"; }
least() { printf '%s\n' "$@" | sort -g | head -1; }
for file in "$archive" "$copy"; do
    echo "== $(basename "$file")"
    catCpu=() catWall=() infoCpu=() infoWall=()
    for r in $(seq 1 "$reps"); do
        read -r c w < <(run cat "$file"); catCpu+=("$c"); catWall+=("$w")
        read -r c w < <(run "$qxa" info "$file"); infoCpu+=("$c"); infoWall+=("$w")
    done
    echo "archive: $(stat -c %s "$file") bytes"
    echo "cat  CPU: $(stats "${catCpu[@]}") ms; wall: $(stats "${catWall[@]}") ms"
    echo "info CPU: $(stats "${infoCpu[@]}") ms; wall: $(stats "${infoWall[@]}") ms"
    echo "ratio of medians, info / cat: CPU $(echo "scale=2; $(median "${infoCpu[@]}") / $(median "${catCpu[@]}")" | bc)," \
         "wall $(echo "scale=2; $(median "${infoWall[@]}") / $(median "${catWall[@]}")" | bc)"
    echo "ratio of minimums, info / cat: CPU $(echo "scale=2; $(least "${infoCpu[@]}") / $(least "${catCpu[@]}")" | bc)," \
         "wall $(echo "scale=2; $(least "${infoWall[@]}") / $(least "${catWall[@]}")" | bc)"
done
grep -m1 'model name' /proc/cpuinfo
uptime
