#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree, checks what it holds and what it
# declares, unpacks it and runs the programs from there.
# Usage: package_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2
source_dir=$(realpath "$(dirname "$0")/../..")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
deb=$scratch/pixhaul_${version}_amd64.deb
passed=0 failed=0
check() { # NAME COMMAND...
    local name=$1 && shift
    if "$@"; then passed=$((passed + 1)); else echo "FAIL $name" && failed=$((failed + 1)); fi
}
finish() { echo "package: $passed passed, $failed failed" && exit $((failed > 0)); }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" && check "cpack builds the package" false && finish; }
check "package named pixhaul_${version}_amd64.deb" test -f "$deb"
[[ -f $deb ]] || finish

contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for path in usr/bin/qxa usr/bin/pixhaul usr/share/applications/pixhaul.desktop \
    usr/share/mime/packages/pixhaul-qxa.xml usr/share/icons/hicolor/scalable/apps/pixhaul.svg \
    usr/share/man/man1/qxa.1; do
    check "package holds /$path" grep -qxF "./$path" <<<"$contents"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 zlib1g libstdc++6; do
    check "depends on $library" grep -qw "$library" <<<"$depends"
done

dpkg-deb -x "$deb" "$scratch/root"
bin=$scratch/root/usr/bin
check "qxa --version" test "$("$bin/qxa" --version)" == "qxa $version"
check "pixhaul --version" test "$("$bin/pixhaul" --version)" == "pixhaul $version"
check "qxa info on the demo archive" grep -q '^Images: *[1-9]' \
    <<<"$("$bin/qxa" info "$source_dir/samples/demo.qxa")"
finish
