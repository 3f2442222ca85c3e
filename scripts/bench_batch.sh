#!/usr/bin/env bash
# qxa batch -j 2 against -j 1 over 200 archives made from the demo archive (5 of them cut short,
# so damaged), alternating the two runs; prints min/median/max wall seconds of each and the ratio,
# and checks that both runs wrote the same files. The command defaults to a PNG sheet of every
# object (small enough to be one thread's work, so the figures are batch's workers alone).
# Usage: scripts/bench_batch.sh [QXA] [REPETITIONS] [COMMAND...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
qxa=${1:-$here/build/release/qxa}
reps=${2:-3}
shift $(( $# < 2 ? $# : 2 ))
command="${*:-sheet --format png}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in"
for i in $(seq -w 1 200); do cp "$here/samples/demo.qxa" "$work/in/a$i.qxa"; done
for i in 001 050 100 150 200; do head -c -20 "$here/samples/demo.qxa" > "$work/in/a$i.qxa"; done
run() {  # jobs, output -> seconds
    local start end
    start=$(date +%s.%N)
    # shellcheck disable=SC2086 # the command's words are meant to split
    "$qxa" batch "$work/in" -o "$2" -j "$1" -- ${command} > "$2.json" || true
    end=$(date +%s.%N)
    echo "$end - $start" | bc
}
declare -a one two
for _ in $(seq 1 "$reps"); do
    rm -rf "$work/o1" "$work/o2"
    one+=("$(run 1 "$work/o1")")
    two+=("$(run 2 "$work/o2")")
done
diff -r "$work/o1" "$work/o2" > /dev/null && echo "outputs identical"
echo "damaged reported: $(grep -c '"status":"damaged"' "$work/o2.json")"
stats() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {printf "min %.3f median %.3f max %.3f", a[1], a[int((NR+1)/2)], a[NR]}'; }
echo "-j 1: $(stats "${one[@]}") s"
echo "-j 2: $(stats "${two[@]}") s"
m1=$(printf '%s\n' "${one[@]}" | sort -g | sed -n "$(( (reps + 1) / 2 ))p")
m2=$(printf '%s\n' "${two[@]}" | sort -g | sed -n "$(( (reps + 1) / 2 ))p")
echo "ratio of medians (-j 2 / -j 1): $(echo "scale=3; $m2 / $m1" | bc)"
grep -m1 'model name' /proc/cpuinfo
uptime
