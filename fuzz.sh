#!/usr/bin/env bash
# Builds the libFuzzer targets of the core (the "fuzz" preset: clang, address and undefined-
# behaviour sanitizers) and runs every target for SECONDS (default 60) on its corpus, one after
# the other, printing libFuzzer's final stats. Exits non-zero when any target finds a crash.
#
#   ./fuzz.sh [SECONDS]          PIXHAUL_FUZZ_TARGETS="loader render" ./fuzz.sh 600
#
# Corpora live in build/fuzz/corpus/<target>/ (seeded by make_fuzz_seeds, grown by every run and
# kept between runs); inputs that crash go to build/fuzz/artifacts/, each run's log to
# build/fuzz/logs/. Nothing is written into the sources.
set -euo pipefail
cd "$(dirname "$0")"

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: ./fuzz.sh [SECONDS]" >&2
    exit 2
fi

./scripts/bootstrap.sh
# clang and its runtimes (libFuzzer, sanitizers): present on the build machines, installed once
# elsewhere, with one dpkg-query for both.
packages=(clang-14 libclang-rt-14-dev)
installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null \
    | awk '$2 == "installed" {print $1}')
need=()
for p in "${packages[@]}"; do
    grep -qx "$p" <<<"$installed" || need+=("$p")
done
if ((${#need[@]})); then
    if [ "$(id -u)" -ne 0 ]; then
        echo "fuzz.sh: these packages are missing and installing them needs root: ${need[*]}" >&2
        exit 1
    fi
    echo "Installing: ${need[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${PIXHAUL_FUZZ_JOBS:-$(nproc)}"

build=build/fuzz
bin=$build/fuzz
rm -rf "$build/seeds"
"$bin/make_fuzz_seeds" "$build/seeds"
mkdir -p "$build/corpus" "$build/artifacts" "$build/logs"

targets=(${PIXHAUL_FUZZ_TARGETS:-loader render sif_reader huffman_decode huffman_roundtrip export})
failed=()
summary=()
for t in "${targets[@]}"; do
    corpus=$build/corpus/$t
    log=$build/logs/$t.log
    mkdir -p "$corpus"
    if [ -d "$build/seeds/$t" ]; then cp "$build/seeds/$t/"* "$corpus/"; fi
    echo "== $t: ${seconds} s on $(ls "$corpus" | wc -l) inputs"
    status=0
    "$bin/${t}_fuzzer" "$corpus" -max_total_time="$seconds" -print_final_stats=1 -timeout=25 \
        -rss_limit_mb=2048 -artifact_prefix="$build/artifacts/$t-" >"$log" 2>&1 || status=$?
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
    [ -n "$done_line" ] || done_line=$(grep -E '^#[0-9]+[[:space:]]' "$log" | tail -1 || true)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' <<<"$done_line" || true)
    echo "   $done_line"
    grep -E '^stat::' "$log" | sed 's/^/   /' || true
    if [ "$status" -ne 0 ]; then
        failed+=("$t")
        echo "   FAILED (exit $status); the end of $log:"
        grep -E '^(==[0-9]+==|SUMMARY|[a-z_]+: |artifact_prefix|Test unit written)' "$log" \
            | tail -20 | sed 's/^/   /' || true
        tail -n 15 "$log" | sed 's/^/   | /'
    fi
    summary+=("$(printf '%-18s executions %-10s exec/s %-7s %s%s' "$t" "${execs:-?}" \
        "${rate:-?}" "${cov:-cov: ?}" "$([ "$status" -ne 0 ] && echo '  CRASH' || true)")")
done

echo "== summary (${seconds} s per target)"
printf '   %s\n' "${summary[@]}"
if ((${#failed[@]})); then
    echo "fuzz.sh: crashes found by: ${failed[*]} (inputs in $build/artifacts/)" >&2
    exit 1
fi
