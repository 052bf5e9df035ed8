#!/usr/bin/env bash
# Builds the Debian source and binary packages from a copy of this tree in build/deb, checks
# what the binary packages hold, has lintian judge them all (no tag may show), runs their
# autopkgtest on this machine (the null runner installs the packages here), and builds them
# again from the source package in build/deb-again, with umask 002, another locale and time
# zone and no tests, to show that the .deb files come out byte for byte the same. Prints the
# wall time and the CPU time of each step. Needs root, or sudo, for the autopkgtest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/packaging/common.sh"
export LC_ALL=C.UTF-8 LANGUAGE=

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
app_id=$(sed -n 's/^set(TARSKCJS_APP_ID "\(.*\)")$/\1/p' "$root/CMakeLists.txt")
[ -n "$app_id" ] || fail "cannot read TARSKCJS_APP_ID from CMakeLists.txt"
out=$root/build/deb
again=$root/build/deb-again
changes=$out/tarskcjs_${version}_$arch.changes
# The second build's locale; scripts/install-dependencies.sh generates it.
other_locale=fr_CH.UTF-8

timings=()
# step NAME COMMAND...: runs a step and notes its wall time and the CPU time of its processes.
step() {
    local name=$1 times TIMEFORMAT='%R %U %S'
    shift
    echo "== $name"
    times=$(mktemp)
    { time "$@" 2>&3; } 3>&2 2>"$times"
    timings+=("$(awk '{ printf "%7.1f s %7.1f s", $1, $2 + $3 }' "$times")  $name")
    rm -f "$times"
}

# Prints the end of a log and fails.
fail_with_log() {
    local log=$1
    shift
    tail -n 60 "$log" >&2
    fail "$* (the whole log: $log)"
}

# Copies the files that git tracks and the untracked ones that it does not ignore, as they
# are in the work tree, so that uncommitted changes are built too and build/ stays out.
copy_tree() {
    local destination=$1
    mkdir -p "$destination"
    if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        (cd "$root" && git ls-files -z --cached --others --exclude-standard --deduplicate |
            while IFS= read -r -d '' file; do
                if [ -e "$file" ] || [ -L "$file" ]; then
                    printf '%s\0' "$file"
                fi
            done | tar --null -T - -cf -) | tar -C "$destination" -xf -
    else
        tar -C "$root" --exclude=./build -cf - . | tar -C "$destination" -xf -
    fi
}

# dpkg-buildpackage writes its packages into the parent directory, inside build/ here.
build_packages() {
    local tree=$out/tarskcjs-$version
    rm -rf "$out"
    copy_tree "$tree"
    (cd "$tree" && DEB_BUILD_OPTIONS="parallel=2" dpkg-buildpackage -us -uc) \
        >"$out/build.log" 2>&1 || fail_with_log "$out/build.log" "dpkg-buildpackage failed"
    grep -E '^[0-9]+% tests passed' "$out/build.log" || fail "the package build ran no tests"
    (cd "$out" && ls -1 ./*.changes ./*.dsc ./*.tar.* ./*.deb ./*.buildinfo)
}

# Fails unless a package's field holds a value; prints the field.
expect_field() {
    local deb=$1 field=$2 pattern=$3 value
    value=$(dpkg-deb --field "$deb" "$field")
    echo "$(basename "$deb") $field: $value"
    grep -qE "$pattern" <<<"$value" || fail "$field of $(basename "$deb") does not match $pattern"
}

# Fails unless a package holds exactly the files listed on standard input (relative to /),
# each owned by root, programs with mode 755, other files 644.
expect_contents() {
    local deb=$1 scratch
    scratch=$(mktemp -d)
    LC_ALL=C sort | sed 's|^|./|' >"$scratch/expected"
    dpkg-deb --contents "$deb" >"$scratch/contents"
    awk '$1 !~ /^d/ { print $6 }' "$scratch/contents" | LC_ALL=C sort >"$scratch/actual"
    same_list "files of $(basename "$deb")" "$scratch/expected" "$scratch/actual"
    awk '$1 !~ /^d/ {
            want = ($6 ~ /^\.\/usr\/bin\//) ? "-rwxr-xr-x" : "-rw-r--r--"
            if ($1 != want || $2 != "root/root") print $1, $2, $6
        }
        $1 ~ /^d/ && ($1 != "drwxr-xr-x" || $2 != "root/root") { print $1, $2, $6 }' \
        "$scratch/contents" >"$scratch/modes"
    if [ -s "$scratch/modes" ]; then
        cat "$scratch/modes" >&2
        fail "files of $(basename "$deb") have unexpected modes or owners"
    fi
    rm -rf "$scratch"
}

# The desktop program wants Qt Widgets and recommends the companion; the companion, for
# servers without a display, depends on Qt Core and nothing else of Qt.
check_packages() {
    local desktop=$out/tarskcjs_${version}_$arch.deb companion=$out/tarskcjs-cli_${version}_$arch.deb
    expect_field "$desktop" Depends '(^|, )libqt6widgets6( |,|$)'
    expect_field "$desktop" Recommends '^tarskcjs-cli$'
    expect_field "$companion" Depends '(^|, )libqt6core6( |,|$)'
    if dpkg-deb --field "$companion" Depends | grep -qE 'libqt6(gui|widgets|dbus)|libgl|libx'; then
        fail "the companion depends on graphical libraries"
    fi
    expect_field "$companion" Multi-Arch '^foreign$'
    {
        desktop_program_files usr/bin usr/share usr/share/man "$app_id"
        printf '%s\n' usr/share/doc/tarskcjs/changelog.gz usr/share/doc/tarskcjs/copyright
    } | expect_contents "$desktop"
    {
        companion_files usr/bin usr/share usr/share/man usr/share/zsh/vendor-completions
        printf '%s\n' usr/share/doc/tarskcjs-cli/changelog.gz usr/share/doc/tarskcjs-cli/copyright
    } | expect_contents "$companion"
}

# lintian warns when it runs as root, so root hands it to nobody, with the files in a
# directory that nobody may read.
run_lintian() {
    local files status=0
    files=$(mktemp -d)
    find "$out" -maxdepth 1 -type f -exec cp {} "$files" \;
    chmod -R a+rX "$files"
    local lintian=(env -i PATH=/usr/bin:/bin HOME="$files" LC_ALL=C.UTF-8
        lintian --pedantic --display-info --display-experimental --tag-display-limit 0
        "$files/$(basename "$changes")")
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u nobody -- "${lintian[@]}" >"$out/lintian.txt" 2>&1 || status=$?
    else
        "${lintian[@]}" >"$out/lintian.txt" 2>&1 || status=$?
    fi
    rm -rf "$files"
    if [ -s "$out/lintian.txt" ] || [ "$status" -ne 0 ]; then
        cat "$out/lintian.txt" >&2
        fail "lintian has findings (exit status $status)"
    fi
    echo "lintian --pedantic --display-info --display-experimental: no output"
}

# On CI the display test's X server must start: a skipped test would hide a missing package.
run_autopkgtest() {
    local status=0
    "${as_root[@]}" autopkgtest --output-dir "$out/autopkgtest" "$changes" -- null \
        >"$out/autopkgtest.log" 2>&1 || status=$?
    cat "$out/autopkgtest/summary" 2>/dev/null || true
    case $status in
    0) ;;
    2) [ "${CI:-}" != true ] || fail_with_log "$out/autopkgtest.log" "an autopkgtest was skipped" ;;
    *) fail_with_log "$out/autopkgtest.log" "autopkgtest failed with exit status $status" ;;
    esac
}

# From the source package, as another builder would: another directory, group-writable
# files, another locale and time zone, no tests.
build_again() {
    locale -a | grep -qix 'fr_CH.utf-\?8' ||
        fail "the locale $other_locale is missing: run scripts/install-dependencies.sh"
    rm -rf "$again"
    mkdir -p "$again"
    (
        umask 002
        cd "$again"
        dpkg-source -x "$out/tarskcjs_$version.dsc" "tarskcjs-$version" >/dev/null
        cd "tarskcjs-$version"
        LC_ALL=$other_locale LANGUAGE=fr TZ=XYZ-14 DEB_BUILD_OPTIONS="nocheck parallel=2" \
            dpkg-buildpackage -us -uc -b -Pnocheck
    ) >"$again/build.log" 2>&1 || fail_with_log "$again/build.log" "the second build failed"
}

compare_builds() {
    (cd "$out" && ls -1 ./*.deb) >"$again/first"
    (cd "$again" && ls -1 ./*.deb) >"$again/second"
    same_list "packages of the second build" "$again/first" "$again/second"
    (cd "$root" && sha256sum build/deb/*.deb build/deb-again/*.deb)
    local deb differ=()
    while read -r deb; do
        cmp -s "$out/$deb" "$again/$deb" || differ+=("$deb")
    done <"$again/first"
    [ "${#differ[@]}" -eq 0 ] || fail "the two builds differ: ${differ[*]}"
    echo "the two builds' $(wc -l <"$again/first") packages are the same, byte for byte"
}

step "source and binary packages, with the test suite" build_packages
step "the binary packages' fields and files" check_packages
step "lintian" run_lintian
step "autopkgtest (null runner)" run_autopkgtest
step "second build: umask 002, $other_locale, UTC+14, nocheck" build_again
step "the two builds compared" compare_builds
echo "== each step's time:   wall     CPU"
printf '%s\n' "${timings[@]}"
