#!/usr/bin/env bash
# Installs what is missing, builds TarskCjs from scratch and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-dependencies.sh"

# The Debian packages, built as Debian builds them, with the whole suite run in the build
# (offscreen; packaging_hardening builds a program with cmake/Hardening.cmake, which the
# package build itself does not use) and the display test in their autopkgtest against the
# installed programs; lintian judges them, and a second build from the source package must
# give the same bytes.
"$root/scripts/check-debian-packages.sh"

# The whole suite once more with AddressSanitizer and UndefinedBehaviorSanitizer: any finding,
# a leak included, fails the test that meets it.
asan="$root/build/asan"
rm -rf "$asan"
cmake -S "$root" -B "$asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARSKCJS_SANITIZE=ON
cmake --build "$asan" -j2
# Not the display test: on a real X server LeakSanitizer reports what libdbus keeps until exit.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
    ctest --test-dir "$asan" --output-on-failure -j2 -LE "fuzz|display"

# The model's tests and the writer's fault sweep once more with ThreadSanitizer: the writer
# generates text on a helper thread while the calling thread writes it, and the first race
# fails the test that meets it. Only the targets of those tests are built. Qt's libraries are
# not instrumented; tests/threadsanitizer.supp lists the reports that come from there. The
# sanitizer slows the sweep down many times, past QtTest's five minutes for a test function.
tsan="$root/build/tsan"
rm -rf "$tsan"
cmake -S "$root" -B "$tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARSKCJS_THREAD_SANITIZE=ON
mapfile -t threads_tests < <(ctest --test-dir "$tsan" -N -L threads | sed -n 's/^ *Test *#[0-9]*: //p')
if [ "${#threads_tests[@]}" -eq 0 ]; then
    echo "no test carries the label threads" >&2
    exit 1
fi
cmake --build "$tsan" -j2 --target "${threads_tests[@]}"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/threadsanitizer.supp" \
    QTEST_FUNCTION_TIMEOUT=3600000 QT_QPA_PLATFORM=offscreen \
    ctest --test-dir "$tsan" --output-on-failure -j2 -L threads --timeout 3600

# On CI also a short run of each fuzz target (clang and libFuzzer, about a minute each).
if [ -n "${CI:-}" ]; then
    fuzz="$root/build/fuzz"
    rm -rf "$fuzz"
    cmake -S "$root" -B "$fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DTARSKCJS_FUZZ=ON
    cmake --build "$fuzz" -j2 --target tarskcjs_fuzzers
    ctest --test-dir "$fuzz" --output-on-failure -j2 -L fuzz
fi

# Tests write to devices made for them; none may ever replace a real one.
if [ ! -c /dev/null ]; then
    echo "/dev/null is no longer a character device after the tests" >&2
    exit 1
fi
