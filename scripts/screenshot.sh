#!/usr/bin/env bash
# Makes docs/window.png: the viewer on the demo archive, photographed under a virtual X server
# (Xvfb), with a frame of the walking figure chosen in the lists and zoomed in.
# Usage: scripts/screenshot.sh [OUTPUT.png]
# Installs ImageMagick and xdotool with apt-get when they are missing (as root); the build and
# the tests do not need them, so the bootstrap leaves them out.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$here/docs/window.png}")
say() { echo "screenshot: $*" >&2; }

if ! command -v import >/dev/null || ! command -v xdotool >/dev/null; then
    say "installing imagemagick xdotool"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends imagemagick xdotool ||
        { say "could not install imagemagick xdotool; install them and run this again" && exit 1; }
fi
"$here/scripts/bootstrap.sh"
viewer=$here/build/release/src/viewer/pixhaul
if [ ! -x "$viewer" ]; then
    (cd "$here" && cmake --preset release >/dev/null && cmake --build --preset release --target pixhaul)
fi

export VIEWER=$viewer ARCHIVE=$here/samples/demo.qxa OUT=$out
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
xvfb-run -a -s "-screen 0 1024x768x24" bash -euo pipefail -c '
    "$VIEWER" "$ARCHIVE" 2>/dev/null &
    viewer=$!
    trap "kill $viewer 2>/dev/null || true" EXIT
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "^Pixhaul" | head -1)
    xdotool windowmove "$window" 0 0 windowsize "$window" 900 600
    sleep 1
    # Object 0, action "Walk", direction 2, frame 3 (Tab walks the lists in order; Alt+Down
    # opens a list on its first item; Up and Down alone step frames), then zoom 3x with the
    # keypad plus.
    xdotool windowfocus --sync "$window"
    sleep 0.5
    for keys in "alt+Down Return" "Tab alt+Down Down Return" "Tab alt+Down Down Down Return" \
        "Tab alt+Down Down Down Down Return" "KP_Add KP_Add KP_Add KP_Add"; do
        xdotool key --delay 150 $keys
        sleep 0.3
    done
    sleep 1
    import -window "$window" "$OUT"
'
say "wrote $out"
