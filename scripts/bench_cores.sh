#!/usr/bin/env bash
# Whether both cores are used, measured on whole runs with same-run baselines, runs alternated:
#   1. qxa extract --format png of 3,000 sprites of 256 x 256: every core against -j 1;
#   2. qxa extract --format bmp of 10,000 sprites of 32 x 32 against `cp -r` of the files written;
#   3. a PNG sheet of PIXHAUL_BENCH_SHEET_MIB MiB (2048 unless set), levels 6 and 1: every core
#      against one thread, and one plain zlib stream (bench_png);
#   4. qxa batch -j 2 against -j 1 over 200 demo archives, 5 of them damaged (bench_batch.sh).
# Prints min / median / max of wall seconds (and user + system CPU seconds for whole commands),
# the ratios of the medians, the CPU and the load average before and after.
# Usage: scripts/bench_cores.sh [REPETITIONS] [SHRINK]   (SHRINK divides the image counts)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build/release
qxa=$build/qxa
reps=${1:-3}
shrink=${2:-1}
sheetMib=${PIXHAUL_BENCH_SHEET_MIB:-2048}
unset PIXHAUL_THREADS
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
grep -m1 'model name' /proc/cpuinfo
echo "cores: $(nproc); before: $(uptime)"

# stats NAME VALUES...: sets STATS to "min / median / max" and median[NAME] to the median.
declare -A median
stats() {
    local name=$1 line
    shift
    line=$(printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {printf "%.3f %.3f %.3f", a[1], a[int((NR+1)/2)], a[NR]}')
    median[$name]=$(echo "$line" | cut -d' ' -f2)
    STATS=$(echo "$line" | awk '{printf "%s / %s / %s", $1, $2, $3}')
}
ratio() { awk -v a="${median[$1]}" -v b="${median[$2]}" 'BEGIN {printf "%.3f", a / b}'; }

# timed NAME COMMAND...: runs it, appends wall and user+system seconds to NAME_wall, NAME_cpu.
declare -A walls cpus
timed() {
    local name=$1
    shift
    /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" > /dev/null 2>&1 || true
    # The last line: an exit status other than 0 (a damaged archive) adds a line before it.
    read -r wall user sys < <(tail -n 1 "$work/time")
    walls[$name]+="$wall "
    cpus[$name]+="$(awk -v u="$user" -v s="$sys" 'BEGIN {print u + s}') "
}
report() {  # NAME LABEL
    local wall
    # shellcheck disable=SC2086 # the lists are meant to split
    stats "$1" ${walls[$1]}
    wall=$STATS
    # shellcheck disable=SC2086
    stats "$1_cpu" ${cpus[$1]}
    echo "$2: wall $wall s; CPU $STATS s"
}
same() {  # FOLDER FOLDER
    if diff -r "$1" "$2" > /dev/null; then
        echo "outputs identical ($(find "$2" -type f | wc -l) files)"
    else
        echo "OUTPUTS DIFFER: $1 $2"
    fi
}

PIXHAUL_BENCH_SHRINK=$shrink PIXHAUL_BENCH_KEEP_ARCHIVES=$work "$build/bench_extract" \
    --benchmark_filter=BM_MakeArchive > /dev/null 2>&1
pngArchive=$(echo "$work"/images-*-256.qxa)
bmpArchive=$(echo "$work"/images-*-32.qxa)

echo "== 1. extract --format png, $(basename "$pngArchive")"
for _ in $(seq 1 "$reps"); do
    rm -rf "$work/p1" "$work/pn"
    timed png1 "$qxa" extract "$pngArchive" -o "$work/p1" -j 1
    timed pngn "$qxa" extract "$pngArchive" -o "$work/pn"
done
same "$work/p1" "$work/pn"
report pngn "every core"
report png1 "-j 1"
echo "ratio of medians: $(ratio pngn png1) (target 0.55)"
rm -rf "$work/p1" "$work/pn"

echo "== 2. extract --format bmp, $(basename "$bmpArchive")"
rm -rf "$work/b"
"$qxa" extract "$bmpArchive" -o "$work/b" --format bmp > /dev/null 2>&1 || true
for _ in $(seq 1 "$reps"); do
    rm -rf "$work/bn" "$work/copy"
    timed bmpn "$qxa" extract "$bmpArchive" -o "$work/bn" --format bmp
    timed copy cp -r "$work/b" "$work/copy"
done
same "$work/b" "$work/bn"
report bmpn "extract"
report copy "cp -r"
echo "ratio of medians: $(ratio bmpn copy) (target 1.4)"
rm -rf "$work/b" "$work/bn" "$work/copy"

echo "== 3. PNG sheet of $sheetMib MiB (4096 pixels wide), $(df -h --output=avail "$work" | tail -1) free"
(cd "$work" && PIXHAUL_BENCH_SHEET_MIB=$sheetMib "$build/bench_png" \
    --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_out="$work/png.json" --benchmark_out_format=json > /dev/null 2>&1)
python3 - "$work/png.json" <<'PY'
import json, statistics, sys
runs = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "iteration":
        runs.setdefault(b["run_name"], []).append(b["real_time"] / 1000)
med = {}
for name, times in sorted(runs.items()):
    med[name] = statistics.median(times)
    print(f"{name}: {min(times):.3f} / {med[name]:.3f} / {max(times):.3f} s")
for level in (6, 1):
    every = med[f"BM_PngSheet/level:{level}/threads:0/real_time"]
    one = med[f"BM_PngSheet/level:{level}/threads:1/real_time"]
    print(f"level {level}: every core / one thread = {every / one:.3f}" + (" (target 0.6)" if level == 6 else ""))
print("level 1 / level 6, one thread = %.3f" % (med["BM_PngSheet/level:1/threads:1/real_time"] / med["BM_PngSheet/level:6/threads:1/real_time"]))
PY

echo "== 4. batch over 200 archives"
"$here/scripts/bench_batch.sh" "$qxa" "$reps" | grep -v 'model name\|load average'
echo "(target 0.6)"
echo "after: $(uptime)"
