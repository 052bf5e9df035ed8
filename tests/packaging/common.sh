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

# The files that the desktop program's package holds from an installation, relative to its
# prefix. Arguments: bin directory, data directory, man directory, application id.
desktop_program_files() {
    local bin=$1 data=$2 man=$3 app_id=$4
    printf '%s\n' \
        "$bin/tarskcjs" \
        "$data/applications/$app_id.desktop" \
        "$data/icons/hicolor/128x128/apps/$app_id.png" \
        "$data/metainfo/$app_id.metainfo.xml" \
        "$man/man1/tarskcjs.1.gz"
}

# The companion's files. Arguments: bin, data and man directories, zsh completion directory.
companion_files() {
    local bin=$1 data=$2 man=$3 zsh=$4
    printf '%s\n' \
        "$bin/tarskcjs-cli" \
        "$data/bash-completion/completions/tarskcjs-cli" \
        "$data/fish/vendor_completions.d/tarskcjs-cli.fish" \
        "$zsh/_tarskcjs-cli" \
        "$man/man1/tarskcjs-cli.1.gz"
}

# Every file an installation holds, sorted.
# Arguments: bin, data and man directories, zsh completion directory, application id.
expected_files() {
    {
        desktop_program_files "$1" "$2" "$3" "$5"
        companion_files "$1" "$2" "$3" "$4"
    } | LC_ALL=C sort
}

# The options of a --help text on standard input, one a line: their names, then the name of
# their argument if they take one ("-n --periods N", "--censoring").
help_options() {
    awk '/^Options:/ { inside = 1; next }
        inside && /^  -/ {
            line = substr($0, 3)
            end = index(line, "  ")
            print end ? substr(line, 1, end - 1) : line
            next
        }
        inside && !/^   / { inside = 0 }' | sed 's/[<>,]//g'
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

# Fails unless a program is hardened as Debian builds its own packages: position-independent,
# relocations read-only and bound at start-up (RELRO, BIND_NOW), the stack protector in use.
expect_hardened() {
    local program=$1 name
    name=$(basename "$program")
    # Whole outputs, not pipes: grep -q would end readelf early, which pipefail reports.
    grep -qE 'Type: +DYN' <<<"$(readelf -h "$program")" || fail "$name is not a PIE"
    grep -q GNU_RELRO <<<"$(readelf -lW "$program")" || fail "$name has no RELRO segment"
    grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$(readelf -d "$program")" ||
        fail "$name is not linked with -z now"
    grep -q ' __stack_chk_fail' <<<"$(readelf --dyn-syms -W "$program")" ||
        fail "$name is built without the stack protector"
}
