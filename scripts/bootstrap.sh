#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, once.
#
# One dpkg-query for all of them, so a machine that has everything costs a fraction of a second.
# On a machine that lacks some: one `apt-get update`, then one `apt-get install` of exactly the
# missing packages. Any failure names the packages that could not be installed.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkgconf dpkg-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libpng-dev zlib1g-dev libcli11-dev nlohmann-json3-dev libwebp-dev libgif-dev
    qt6-base-dev fonts-dejavu-core
    xvfb xauth
    clang-14 libclang-rt-14-dev clang-format-14
    man-db ccache python3-pil
)

say() { echo "bootstrap: $*" >&2; }

# dpkg-query exits 1 when it has never heard of one of the names (a fresh machine), yet still
# prints what it knows of the others; its verdict on the whole call does not matter here.
status=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null || true)
installed=$(awk '$2 == "installed" { sub(/:.*/, "", $1); print $1 }' <<<"$status" | sort -u)

missing=()
for p in "${packages[@]}"; do
    grep -qxF "$p" <<<"$installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0

say "installing missing packages: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    say "installing needs root; run this as root, or install them yourself: ${missing[*]}"
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if ! apt-get update -qq; then
    say "apt-get update failed (is a package archive reachable?); not installed: ${missing[*]}"
    exit 1
fi
if ! apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    say "apt-get install failed (see its message above); not installed: ${missing[*]}"
    exit 1
fi
say "installed: ${missing[*]}"
