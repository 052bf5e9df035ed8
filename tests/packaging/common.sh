# Helpers of the packaging checks; each check sources this file.
set -euo pipefail

fail() {
    printf 'FAIL: %s\n' "$*" >&2
    exit 1
}

# Skips the check (CTest's SKIP_RETURN_CODE 77) when a tool is missing, except in CI, where
# the set-up script installs it and its absence is a fault.
need_tool() {
    local tool=$1 package=$2
    command -v "$tool" >/dev/null 2>&1 && return 0
    if [ "${CI:-}" = true ]; then
        fail "$tool is missing: install the Debian package $package"
    fi
    echo "SKIP: $tool is missing: install the Debian package $package to run this check"
    exit 77
}

# Creates $scratch, removed when the check ends.
make_scratch() {
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarskcjs-packaging.XXXXXX")
    trap 'rm -rf "$scratch"' EXIT
}

# Every file an installation holds, relative to its prefix, sorted.
# Arguments: bin directory, data directory, man directory, application id.
expected_files() {
    local bin=$1 data=$2 man=$3 app_id=$4
    printf '%s\n' \
        "$bin/tarskcjs" \
        "$bin/tarskcjs-cli" \
        "$data/applications/$app_id.desktop" \
        "$data/doc/tarskcjs/changelog.gz" \
        "$data/doc/tarskcjs/copyright" \
        "$data/icons/hicolor/128x128/apps/$app_id.png" \
        "$data/metainfo/$app_id.metainfo.xml" \
        "$man/man1/tarskcjs-cli.1.gz" \
        "$man/man1/tarskcjs.1.gz" |
        LC_ALL=C sort
}

# Fails unless two sorted lists agree; says what is missing and what is extra.
same_list() {
    local what=$1 expected=$2 actual=$3
    if ! cmp -s "$expected" "$actual"; then
        echo "$what: missing (-) and unexpected (+):" >&2
        diff "$expected" "$actual" | grep '^[<>]' | sed 's/^</-/; s/^>/+/' >&2
        fail "$what differ from what is expected"
    fi
}

# Runs a companion with -n 2 and compares its output with the model of two periods.
expect_two_period_model() {
    local companion=$1 out=$2
    printf '%s\n' \
        'parameters' \
        's0, p1, lambda;' \
        '' \
        'variables' \
        'X1 = 1 - lambda,' \
        'X0 = 1 - s0 + s0*(1-p1)*X1;' \
        '' \
        'likelihood' \
        '"CJS Likelihood"' \
        '0 0, X0,' \
        '0 1, s0*(1-p1)*lambda,' \
        '1 0, s0*p1*X1,' \
        '1 1, s0*p1*lambda;' >"$out.expected"
    "$companion" -n 2 >"$out" || fail "$companion -n 2 exited with status $?"
    if ! cmp -s "$out.expected" "$out"; then
        diff -u "$out.expected" "$out" >&2 || true
        fail "$companion -n 2 does not write the model of two periods"
    fi
}

# Fails when an executable carries an RPATH or RUNPATH or needs a library that is not found.
expect_system_libraries() {
    local program=$1
    if readelf -d "$program" | grep -E '\((RPATH|RUNPATH)\)' >&2; then
        fail "$program carries a library search path"
    fi
    if ldd "$program" | grep 'not found' >&2; then
        fail "$program needs libraries that are not installed"
    fi
}
