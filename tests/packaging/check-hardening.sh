#!/usr/bin/env bash
# Builds a small program with cmake/Hardening.cmake in a Release configuration and checks with
# readelf that it comes out hardened as Debian builds its packages. The module is checked on
# its own, so that every test run covers it: the package build's (CMAKE_BUILD_TYPE=None, with
# dpkg's flags instead) and the sanitizer builds (where it stays out) included. The flags of
# the caller's environment are dropped, since dpkg's would harden the program by themselves.
# Usage: check-hardening.sh CMAKE CXX_COMPILER HARDENING_MODULE
source "$(dirname "$0")/common.sh"
cmake=$1
compiler=$2
module=$3

need_tool readelf binutils
make_scratch
cat >"$scratch/CMakeLists.txt" <<EOF_PROJECT
cmake_minimum_required(VERSION 3.22)
project(hardening_probe LANGUAGES CXX)
include("$module")
add_executable(probe probe.cpp)
EOF_PROJECT
# A local array that a call writes into: the stack protector guards such a frame.
cat >"$scratch/probe.cpp" <<'EOF_SOURCE'
#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    char text[64];
    std::snprintf(text, sizeof text, "%s", argc > 1 ? argv[1] : "probe");
    std::puts(text);
    return std::strlen(text) > 60 ? 1 : 0;
}
EOF_SOURCE

if ! env -u CXXFLAGS -u CPPFLAGS -u LDFLAGS "$cmake" -S "$scratch" -B "$scratch/build" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$compiler" >"$scratch/log" 2>&1 ||
    ! env -u CXXFLAGS -u CPPFLAGS -u LDFLAGS "$cmake" --build "$scratch/build" \
        >>"$scratch/log" 2>&1; then
    cat "$scratch/log" >&2
    fail "the probe does not build with $module"
fi
"$scratch/build/probe" >/dev/null || fail "the probe does not run"
expect_hardened "$scratch/build/probe"
echo "hardening: a Release build with $(basename "$module") is PIE, with RELRO, BIND_NOW" \
    "and the stack protector"
