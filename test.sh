#!/usr/bin/env bash
# Builds everything and runs every test: the Release build (core, tool, viewer tests) and the
# core tests again under address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/bootstrap.sh
# Every C++ file as .clang-format lays it out.
./scripts/check-format.sh

jobs=$(nproc)
# The three builds below share compiled objects through ccache (paths taken relative to here, so
# another clone of the project shares them too).
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"

# The engines' loaders for tests/engines, at the versions package-lock.json pins. Without npm's
# registry those tests are skipped, and say so.
if npm ping >/dev/null 2>&1; then
    (cd tests/engines && npm ci --no-audit --no-fund >/dev/null)
else
    echo "npm's registry cannot be reached: the engine tests (tests/engines) will be skipped"
fi

cmake --preset release >/dev/null
cmake --build --preset release -j "$jobs"
ctest --preset release -j "$jobs"

if [ "${PIXHAUL_SKIP_ASAN:-0}" != 1 ]; then
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$jobs" --target core_tests
    ctest --preset asan -j "$jobs" --no-tests=error
fi

# Every fuzz target for 30 seconds (clang, libFuzzer); a crash fails the run.
if [ "${PIXHAUL_SKIP_FUZZ:-0}" != 1 ]; then
    ./fuzz.sh 30
fi
