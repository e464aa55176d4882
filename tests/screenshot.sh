#!/usr/bin/env bash
# Takes a screenshot of a test's window on a virtual X display.
#
#   tests/screenshot.sh <test-target | path/to/test-binary> <test-function> <out.png> [args...]
#
# A target name (app_tst_msgbox) is built first in $NORVALIS_BUILD_DIR (default build/screenshot);
# a path to an executable is run as it is. The test function runs under xvfb-run with the xcb
# platform and NORVALIS_SCREENSHOT set to the absolute path of out.png; it shows its window, saves
# QWidget::grab() there and closes the window (it skips itself when the variable is not set).
# Further arguments go to the test binary.
set -euo pipefail
if [ $# -lt 3 ]; then
    sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
target=$1 function=$2 out=$3
shift 3

if [ -x "$target" ] && [ -f "$target" ]; then
    binary=$(cd "$(dirname "$target")" && pwd)/$(basename "$target")
else
    build=${NORVALIS_BUILD_DIR:-$root/build/screenshot}
    "$root/scripts/setup"
    [ -f "$build/build.ninja" ] ||
        cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$build" --target "$target" -j4 >/dev/null
    binary=$build/tests/bin/$target
fi

mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
rm -f "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/config" "$tmp/data" "$tmp/runtime"
chmod 700 "$tmp/runtime"

# 96 DPI, so that twips map to whole pixels (15 to the pixel) as on a classic desktop.
XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" XDG_RUNTIME_DIR="$tmp/runtime" \
    NORVALIS_APPDIR="$tmp/data/" QT_QPA_PLATFORM=xcb NORVALIS_SCREENSHOT="$out" \
    xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" "$binary" "$function" "$@" >"$tmp/log" 2>&1 ||
    { cat "$tmp/log" >&2; exit 1; }
if [ ! -s "$out" ]; then
    cat "$tmp/log" >&2
    echo "screenshot: $function saved no picture (does it read NORVALIS_SCREENSHOT?)" >&2
    exit 1
fi
echo "$out"
