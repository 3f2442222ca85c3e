#!/usr/bin/env bash
# `qxa sif` against `qxa sheet --format bmp` of the same object (CPU, perf's task clock), and
# `qxa sif-decode` to BMP against `cp` of that BMP (wall and CPU), as whole processes with the
# files in the page cache, alternating each pair; and against `cp` followed by `sync` of the copy,
# since sif-decode flushes its file to the disk before it names it (a cp does not); then the peak resident memory of sif-decode
# (/usr/bin/time -v) for a small and a large sheet. Prints min/median/max and the ratios of the
# medians and of the minimums.
# Usage: scripts/bench_sif.sh [DIRECTIONS] [REPETITIONS] [LARGE_DIRECTIONS]
#   a direction is 1.2 MB of sheet (3200 x 128 pixels); defaults 210 (258 MB), 3, 830 (1 GB)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
qxa=$here/build/release/qxa
directions=${1:-210}
reps=${2:-3}
large=${3:-830}
work=$(mktemp -d "${TMPDIR:-/tmp}/bench_sif.XXXXXX")
trap 'rm -rf "$work"' EXIT
make_archive() {  # directions path
    PIXHAUL_BENCH_SIF_ARCHIVE=$2 PIXHAUL_BENCH_SIF_DIRECTIONS=$1 \
        "$here/build/release/bench_sif_export" --benchmark_filter=NONE > /dev/null 2>&1 || true
}
make_archive "$directions" "$work/a.qxa"
cd "$work"
export_args=(a.qxa --object 0 --keep-duplicates --force)
"$qxa" sif "${export_args[@]}" --name a > /dev/null
"$qxa" sheet "${export_args[@]}" --no-dat --name a > /dev/null
# Every timed command starts with nothing left to write back: the flushing of an earlier
# command's files (a sif-decode leaves 258 MB) would otherwise land in a later one's time.
cpu() {  # command... -> task-clock ms
    sync
    perf stat -x, -e task-clock -o "$work/t" "$@" > /dev/null
    awk -F, '/task-clock/ {printf "%.1f\n", $1}' "$work/t"
}
wall() {  # command... -> wall ms
    local start end
    sync
    start=$(date +%s%N); "$@" > /dev/null; end=$(date +%s%N)
    echo "$(( (end - start) / 1000 ))" | awk '{printf "%.1f\n", $1 / 1000}'
}
declare -a sifCpu bmpCpu decCpu decWall cpCpu cpWall syncCpu syncWall oneCpu oneWall
# The two exports alternate in a loop of their own, after one untimed run of each: in a virtual
# machine, memory just given back (a 258 MB file deleted) can be slow to take again, and the
# decoding below deletes such files after every run.
"$qxa" sif "${export_args[@]}" --name t > /dev/null; rm -f t.sif
"$qxa" sheet "${export_args[@]}" --no-dat --name t > /dev/null; rm -f t.bmp
for r in $(seq 1 "$reps"); do
    # Each export makes a new file: replacing the one before would add the freeing of its
    # pages (258 MB for the BMP) to the export's time.
    sifCpu+=("$(cpu "$qxa" sif "${export_args[@]}" --name t)"); rm -f t.sif
    bmpCpu+=("$(cpu "$qxa" sheet "${export_args[@]}" --no-dat --name t)"); rm -f t.bmp
done
for r in $(seq 1 "$reps"); do
    rm -f b.bmp c.bmp
    cpCpu+=("$(cpu cp a.bmp c.bmp)"); rm -f c.bmp
    decCpu+=("$(cpu "$qxa" sif-decode a.sif -o b.bmp)"); rm -f b.bmp
    cpWall+=("$(wall cp a.bmp c.bmp)"); rm -f c.bmp
    syncCpu+=("$(cpu sh -c 'cp a.bmp c.bmp && sync c.bmp')"); rm -f c.bmp
    syncWall+=("$(wall sh -c 'cp a.bmp c.bmp && sync c.bmp')"); rm -f c.bmp
    decWall+=("$(wall "$qxa" sif-decode a.sif -o b.bmp)"); rm -f b.bmp
    oneCpu+=("$(PIXHAUL_THREADS=1 cpu "$qxa" sif-decode a.sif -o b.bmp)"); rm -f b.bmp
    oneWall+=("$(PIXHAUL_THREADS=1 wall "$qxa" sif-decode a.sif -o b.bmp)")
done
cmp a.bmp b.bmp
stats() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {printf "min %.1f median %.1f max %.1f", a[1], a[int((NR+1)/2)], a[NR]}'; }
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( (reps + 1) / 2 ))p"; }
least() { printf '%s\n' "$@" | sort -g | head -1; }
# "medians X, minimums Y" for two series: the ratio of their medians and of their minimums.
ratios() {  # name-of-first-array name-of-second-array
    local -n a=$1 b=$2
    echo "medians $(echo "scale=2; $(median "${a[@]}") / $(median "${b[@]}")" | bc)," \
         "minimums $(echo "scale=2; $(least "${a[@]}") / $(least "${b[@]}")" | bc)"
}
echo "sheet: $(stat -c %s a.bmp) bytes of BMP, SIF $(stat -c %s a.sif) bytes"
echo "qxa sif CPU:           $(stats "${sifCpu[@]}") ms"
echo "qxa sheet bmp CPU:     $(stats "${bmpCpu[@]}") ms"
echo "  sif / bmp: $(ratios sifCpu bmpCpu)"
echo "qxa sif-decode CPU:    $(stats "${decCpu[@]}") ms; wall: $(stats "${decWall[@]}") ms"
echo "  on one thread:       CPU $(stats "${oneCpu[@]}") ms; wall: $(stats "${oneWall[@]}") ms"
echo "cp of the BMP CPU:     $(stats "${cpCpu[@]}") ms; wall: $(stats "${cpWall[@]}") ms"
echo "  decode / cp: CPU $(ratios decCpu cpCpu); wall $(ratios decWall cpWall)"
echo "cp + sync CPU:         $(stats "${syncCpu[@]}") ms; wall: $(stats "${syncWall[@]}") ms"
echo "  decode / cp + sync: CPU $(ratios decCpu syncCpu); wall $(ratios decWall syncWall)"
rss() {  # sif file -> max RSS in MiB of sif-decode to BMP
    /usr/bin/time -v "$qxa" sif-decode "$1" -o rss.bmp 2> "$work/v" > /dev/null
    rm -f rss.bmp
    awk -F: '/Maximum resident/ {printf "%.1f", $2 / 1024}' "$work/v"
}
echo "sif-decode peak RSS: $(rss a.sif) MiB for the $(stat -c %s a.bmp)-byte sheet"
rm -f a.bmp b.bmp
if [ "$large" -gt 0 ]; then
    make_archive "$large" "$work/l.qxa"
    "$qxa" sif l.qxa --object 0 --keep-duplicates --force --name l > /dev/null
    rm -f l.qxa
    echo "sif-decode peak RSS: $(rss l.sif) MiB for the $(( large * 3200 * 128 * 3 ))-byte sheet"
fi
grep -m1 'model name' /proc/cpuinfo
uptime
