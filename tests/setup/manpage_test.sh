#!/usr/bin/env bash
# The manual page renders without a warning and has a section for every command the tool has.
# Usage: manpage_test.sh MANPAGE QXA_BINARY
set -uo pipefail
page=$1 qxa=$2 failed=0
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[[ -z $warnings ]] || { echo "FAIL man warns:"; echo "$warnings"; failed=1; }
commands=$("$qxa" --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF { print $1 }')
[[ -n $commands ]] || { echo "FAIL no commands in qxa --help"; failed=1; }
for c in $commands; do
    grep -qxF ".SS ${c//-/\\-}" "$page" || { echo "FAIL no section for '$c'"; failed=1; }
done
echo "manual page: $(wc -w <<<"$commands") commands documented, $([[ $failed == 0 ]] && echo passed || echo FAILED)"
exit $failed
