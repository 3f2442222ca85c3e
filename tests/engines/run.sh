#!/usr/bin/env bash
# Makes atlases of the demo archive with qxa and loads them with the engines' loaders.
# Usage: run.sh QXA DEMO_ARCHIVE. Exits 77 (skipped) when the engines are not installed, which
# happens only when ./test.sh could not reach npm's registry to run `npm ci` here.
set -euo pipefail
qxa=$1
archive=$2
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -d "$here/node_modules/phaser" ] || [ ! -d "$here/node_modules/pixi.js" ]; then
    echo "SKIPPED: engine packages not installed (run npm ci in tests/engines)"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$qxa" atlas "$archive" -o "$work" --name plain >/dev/null
"$qxa" atlas "$archive" -o "$work" --name trimmed --trim --padding 2 --extrude 1 --fps 12 >/dev/null
"$qxa" atlas "$archive" -o "$work" --name paged --max-size 128x128 >/dev/null
cd "$here"
ATLAS_DIR=$work node --test atlas.test.mjs
