#!/usr/bin/env bash
# Installs the Debian packages listed in debian-packages.txt (Debian 12).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
mapfile -t packages < <(grep -v -e '^#' -e '^[[:space:]]*$' "$here/debian-packages.txt")
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${packages[@]}"

# The second locale that the package check builds in (see scripts/check-debian-packages.sh).
if ! locale -a | grep -qix 'fr_CH.utf-\?8'; then
    $sudo localedef -i fr_CH -f UTF-8 fr_CH.UTF-8
fi
