#!/usr/bin/env bash
# Retakes docs/screenshot.png, the README's picture of the main window, from the display test:
# the real program on its own X server under openbox, frame and title bar included. Needs
# Xvfb, openbox, xdotool and x11-utils (scripts/debian-packages.txt). Builds nothing: give it
# a build directory configured with tests on (the default), e.g.
#   cmake -S . -B build && cmake --build build -j2 && scripts/screenshot.sh build
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?"usage: $0 BUILD_DIR [OUTPUT_PNG]"}
output=${2:-"$root/docs/screenshot.png"}
picture="$build/tests/display/screenshot.png"
if [ ! -f "$build/tests/display/CTestTestfile.cmake" ]; then
    echo "$0: $build has no display test; configure and build it with BUILD_TESTING on" >&2
    exit 1
fi
rm -f "$picture"
ctest --test-dir "$build" -L display --output-on-failure
if [ ! -f "$picture" ]; then
    echo "$0: the display test took no picture (skipped? see above)" >&2
    exit 1
fi
mkdir -p "$(dirname "$output")"
cp "$picture" "$output"
echo "$output"
