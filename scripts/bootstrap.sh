#!/usr/bin/env bash
# Installs the Debian packages the build needs, once. One dpkg-query for all of them, so a
# machine that has everything costs nothing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkgconf
    libgtest-dev libgmock-dev libbenchmark-dev
    libpng-dev zlib1g-dev libcli11-dev nlohmann-json3-dev
    qt6-base-dev fonts-dejavu-core
    xvfb xauth
)

installed=$(dpkg-query -W -f='${Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null \
    | awk '$2 == "installed" {print $1}' | sort)
need=()
for p in "${packages[@]}"; do
    grep -qx "$p" <<<"$installed" || need+=("$p")
done

if ((${#need[@]})); then
    echo "Installing: ${need[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "bootstrap: these packages are missing and installing them needs root: ${need[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
