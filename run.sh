#!/usr/bin/env bash
# Builds the program and runs it on the demo archive (or the archive named).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
archive="${1:-$here/samples/demo.qxa}"
cd "$here"
./scripts/bootstrap.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null

if [ -x build/release/src/viewer/pixhaul ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    exec build/release/src/viewer/pixhaul "$archive"
fi

build/release/qxa list "$archive"
build/release/qxa extract "$archive" -o out
echo "Images written to $(pwd)/out"
