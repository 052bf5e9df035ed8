#!/usr/bin/env bash
# Redraws resources/icons/TarskCjs.png and resources/windows/TarskCjs.ico from
# resources/tools/drawicon.cpp. Takes a configured build directory (default: build).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-"$root/build"}
cmake --build "$build" --target tarskcjs_drawicon -j2
QT_QPA_PLATFORM=offscreen "$build/ui/tarskcjs_drawicon" \
    "$root/resources/icons/TarskCjs.png" "$root/resources/windows/TarskCjs.ico"
