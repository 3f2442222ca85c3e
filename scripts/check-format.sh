#!/usr/bin/env bash
# Fails when a C++ file in the repository drifts from .clang-format. With --fix, reformats them.
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format)
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    "$format" -i "${files[@]}"
    exit 0
fi
if ! "$format" --dry-run --Werror "${files[@]}" 2>/tmp/pixhaul-format.$$; then
    grep -o '^[^:]*\.\(cpp\|h\)' /tmp/pixhaul-format.$$ | sort -u | sed 's/^/format drift: /' >&2
    rm -f /tmp/pixhaul-format.$$
    echo "run scripts/check-format.sh --fix" >&2
    exit 1
fi
rm -f /tmp/pixhaul-format.$$
echo "format: ${#files[@]} files match .clang-format"
