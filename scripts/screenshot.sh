#!/usr/bin/env bash
# Redraws docs/screenshot.png, the README's picture of the main window, without a display.
# Builds nothing: give it a build directory configured with tests on (the default), e.g.
#   cmake -S . -B build && cmake --build build -j2 && scripts/screenshot.sh build
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?"usage: $0 BUILD_DIR [OUTPUT_PNG]"}
output=${2:-"$root/docs/screenshot.png"}
tool="$build/tests/ui/tarskcjs_screenshot"
if [ ! -x "$tool" ]; then
    echo "$0: $tool not found; build the project with BUILD_TESTING on first" >&2
    exit 1
fi
mkdir -p "$(dirname "$output")"
QT_QPA_PLATFORM=offscreen "$tool" "$output"
echo "$output"
