#!/bin/sh
# Takes the README's picture of the window: the real program on examples/sample.ics, shown on a
# bare X server (Xvfb), with settings of its own so that the user's are neither read nor changed.
#
# Usage: scripts/screenshot.sh [BUILD_DIR [OUT.png]]   (defaults: build, docs/screenshot.png)
# TIDEWELL=PROGRAM takes another program than BUILD_DIR's, an installed one for instance.
# Needs a built tree (make build) and the packages xvfb and xauth.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/screenshot.png}
app=${TIDEWELL:-$build/src/app/tidewell}
tool=$build/share/tidewell-imagetool
if [ ! -x "$app" ] || [ ! -x "$tool" ]; then
    echo "screenshot.sh: $app or $tool is missing (make build first)" >&2
    exit 2
fi

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config/Quenlor" "$home/cache" "$home/runtime"
chmod 700 "$home/runtime"
# No version check over the network; the default date formats (month/day/year).
printf '[General]\nversionCheck=1\n' >"$home/config/Quenlor/Tidewell.conf"
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime"
export TZ=Europe/Paris LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb
unset DBUS_SESSION_BUS_ADDRESS

# -br: a black background, which the grab cuts away around the window.
xvfb-run -a -s "-screen 0 1280x800x24 -br" sh -c '
    "$1" --separate examples/sample.ics &
    app=$!
    status=0
    "$2" grab "$3" || status=$?
    kill "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    exit $status
' sh "$app" "$tool" "$out"
