#!/usr/bin/env bash
# Runs the package bootstrap against stand-ins for dpkg-query, apt-get and id, one machine per
# row, and checks the commands it issues, its exit status and what it tells the user.
# Usage: bootstrap_test.sh [BOOTSTRAP_SCRIPT]   (default: scripts/bootstrap.sh of this tree)
set -uo pipefail
script=$(realpath "${1:-$(dirname "$0")/../../scripts/bootstrap.sh}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"

# dpkg-query knows the packages in $FAKE_INSTALLED ("*": all); like the real one it exits 1
# when it has never heard of a name.
cat >"$scratch/bin/dpkg-query" <<'STUB'
#!/usr/bin/env bash
echo dpkg-query >>"$FAKE_LOG"
rc=0
for name; do
    [[ $name == -* ]] && continue
    echo "$name" >>"$FAKE_LOG.asked"
    if [[ $FAKE_INSTALLED == '*' || " $FAKE_INSTALLED " == *" $name "* ]]; then
        echo "$name installed"
    else
        echo "dpkg-query: no packages found matching $name" >&2 && rc=1
    fi
done
exit $rc
STUB
# apt-get logs its command without options, package names sorted; $FAKE_APT_FAILS names the
# command that fails.
cat >"$scratch/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
words=()
for a; do [[ $a == -* ]] || words+=("$a"); done
echo "apt-get ${words[0]} $(printf '%s\n' "${words[@]:1}" | sort | xargs)" | sed 's/ *$//' >>"$FAKE_LOG"
[[ ${words[0]} == "$FAKE_APT_FAILS" ]] || exit 0
echo "E: failing on purpose" >&2 && exit 100
STUB
printf '#!/bin/sh\necho "$FAKE_UID"\n' >"$scratch/bin/id"
chmod +x "$scratch/bin/"*

# name | installed | uid | failing apt-get command | exit | commands (MISSING: the packages asked
# about that are not installed) | what stderr must say besides every missing name ("": nothing)
cases='nothing installed|||0|0|dpkg-query;apt-get update;apt-get install MISSING|installing
everything installed|*|0||0|dpkg-query|
some installed|g++ cmake qt6-base-dev xvfb|0||0|dpkg-query;apt-get update;apt-get install MISSING|installing
apt-get update fails||0|update|1|dpkg-query;apt-get update|update failed
unknown package||0|install|1|dpkg-query;apt-get update;apt-get install MISSING|install failed
not root||1000||1|dpkg-query|root'

passed=0 failed=0
fail() { echo "FAIL $name: $*" && ok=0; }
while IFS='|' read -r name installed uid apt_fails want_rc want_commands want_message; do
    export FAKE_LOG=$scratch/log FAKE_INSTALLED=$installed FAKE_UID=$uid FAKE_APT_FAILS=$apt_fails
    rm -f "$FAKE_LOG" "$FAKE_LOG.asked" && touch "$FAKE_LOG" "$FAKE_LOG.asked"
    PATH="$scratch/bin:$PATH" "$script" >"$scratch/out" 2>"$scratch/err" </dev/null
    rc=$?
    missing=$(sort -u "$FAKE_LOG.asked" | grep -vxF -f <(tr ' ' '\n' <<<"${installed:-none}") | xargs)
    [[ $installed == '*' ]] && missing=''
    ok=1
    [[ $rc == "$want_rc" ]] || fail "exit status $rc, expected $want_rc"
    commands=$(paste -sd';' "$FAKE_LOG")
    [[ $commands == "${want_commands//MISSING/$missing}" ]] ||
        fail "commands [$commands], expected [${want_commands//MISSING/$missing}]"
    unnamed=$(for p in $missing; do grep -qwF -- "$p" "$scratch/err" || echo "$p"; done | xargs)
    [[ -z $unnamed ]] || fail "message does not name: $unnamed"
    if [[ -z $want_message ]]; then
        [[ ! -s $scratch/err ]] || fail "unexpected message: $(cat "$scratch/err")"
    else
        grep -qi -- "$want_message" "$scratch/err" || fail "message lacks '$want_message'"
    fi
    [[ $installed == '*' ]] || for p in qt6-base-dev libcli11-dev nlohmann-json3-dev xvfb; do
        grep -qxF "$p" "$FAKE_LOG.asked" || fail "never asks about $p"
    done
    if ((ok)); then
        passed=$((passed + 1)) && echo "ok   $name"
    else
        failed=$((failed + 1)) && sed 's/^/     stderr: /' "$scratch/err"
    fi
done <<<"$cases"
echo "bootstrap: $passed passed, $failed failed"
((failed == 0))
