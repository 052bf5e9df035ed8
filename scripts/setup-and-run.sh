#!/usr/bin/env bash
# Installs what is missing, builds TarskCjs from scratch and starts the desktop program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-dependencies.sh"
rm -rf "$root/build/app"
cmake -S "$root" -B "$root/build/app" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$root/build/app" -j2
exec "$root/build/app/ui/tarskcjs" "$@"
