#!/usr/bin/env bash
# Retakes docs/screenshot.png and docs/check-result.png, the README's pictures of the main
# window and of a check's result window, from the display test:
# the real program on its own X server under openbox, frame and title bar included. Needs
# Xvfb, openbox, xdotool and x11-utils (scripts/debian-packages.txt). Builds nothing: give it
# a build directory configured with tests on (the default), e.g.
#   cmake -S . -B build && cmake --build build -j2 && scripts/screenshot.sh build
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?"usage: $0 BUILD_DIR [OUTPUT_DIR]"}
output=${2:-"$root/docs"}
pictures=(screenshot.png check-result.png)
if [ ! -f "$build/tests/display/CTestTestfile.cmake" ]; then
    echo "$0: $build has no display test; configure and build it with BUILD_TESTING on" >&2
    exit 1
fi
for picture in "${pictures[@]}"; do
    rm -f "$build/tests/display/$picture"
done
ctest --test-dir "$build" -L display --output-on-failure
mkdir -p "$output"
for picture in "${pictures[@]}"; do
    if [ ! -f "$build/tests/display/$picture" ]; then
        echo "$0: the display test took no $picture (skipped? see above)" >&2
        exit 1
    fi
    cp "$build/tests/display/$picture" "$output/$picture"
    echo "$output/$picture"
done
