#!/usr/bin/env bash
# The decoding figures against their baseline: bench_decode's six decodes and its in-cache
# memcpy, their repetitions interleaved at random in one process, so that a slow stretch of the
# host falls on decodes and baseline alike instead of on whichever ran in it. Prints each one's
# min/median/max in ms and, for the decodes, the ratios memcpy / decode of the minimums and of
# the medians (the figure the targets name: run-heavy at least 0.45, literal-heavy at least 0.2).
# Usage: scripts/bench_decode.sh [REPETITIONS]   (default 9)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
reps=${1:-9}
bench=$here/build/release/bench_decode
[ -x "$bench" ] || { echo "$bench is missing: build the release preset first" >&2; exit 1; }
"$bench" --benchmark_filter='MemcpyBaseline|Decode/' \
    --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=false 2>/dev/null |
    awk '$1 ~ /^(MemcpyBaseline|Decode\/)/ && $1 !~ /_(mean|median|stddev|cv)$/ && $3 == "ms" {
        times[$1] = times[$1] " " $2
    }
    function sorted(list, v,   n, i, j, t) {
        n = split(list, v, " ")
        for (i = 2; i <= n; ++i) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; --j) {
            t = v[j]; v[j] = v[j - 1]; v[j - 1] = t
        }
        return n
    }
    END {
        n = sorted(times["MemcpyBaseline"], m)
        baseMin = m[1]; baseMedian = m[int((n + 1) / 2)]
        printf "%-30s %s / %s / %s ms\n", "MemcpyBaseline", m[1], baseMedian, m[n]
        for (name in times) {
            if (name == "MemcpyBaseline") continue
            n = sorted(times[name], d)
            printf "%-30s %s / %s / %s ms  ratio %.3f (medians %.3f)\n", name, d[1],
                   d[int((n + 1) / 2)], d[n], baseMin / d[1], baseMedian / d[int((n + 1) / 2)]
        }
    }' | sort
grep -m1 'model name' /proc/cpuinfo
