#!/usr/bin/env bash
# Builds the Debian package with CPack, checks its control fields and contents, has lintian
# judge it, unpacks it into a scratch root and runs the companion from there.
# Usage: check-debian-package.sh CPACK BUILD_DIR CONFIG APP_ID VERSION SANITIZED(ON|OFF)
source "$(dirname "$0")/common.sh"
cpack=$1
build=$2
config=$3
app_id=$4
version=$5
sanitized=$6

if [ "$sanitized" = ON ]; then
    echo "SKIP: this build uses sanitizers (TARSKCJS_SANITIZE or TARSKCJS_FUZZ); its programs" \
        "need the sanitizer runtime and are not fit to ship. Check the package in a build" \
        "without them."
    exit 77
fi

need_tool dpkg-deb dpkg
need_tool dpkg-shlibdeps dpkg-dev
need_tool readelf binutils
need_tool file file
need_tool appstreamcli appstream
need_tool lintian lintian
make_scratch

if ! "$cpack" -G DEB -C "$config" --config "$build/CPackConfig.cmake" -B "$scratch/out" \
    >"$scratch/log" 2>&1; then
    cat "$scratch/log" >&2
    fail "cpack -G DEB failed"
fi
grep -i 'warning' "$scratch/log" >&2 && fail "cpack warned while making the package"

arch=$(dpkg --print-architecture)
# A native package: built from the project's own tree, its version has no Debian revision.
deb=$scratch/out/tarskcjs_${version}_${arch}.deb
[ -f "$deb" ] || fail "cpack made no $(basename "$deb"): $(ls "$scratch/out")"

field() {
    dpkg-deb --field "$deb" "$1"
}
[ "$(field Package)" = tarskcjs ] || fail "Package is \"$(field Package)\""
[ "$(field Version)" = "$version" ] || fail "Version is \"$(field Version)\", not $version"
[ "$(field Section)" = science ] || fail "Section is \"$(field Section)\""
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is \"$(field Architecture)\""
field Maintainer | grep -qE '^[^<]+ <[^@ ]+@[^> ]+>$' ||
    fail "Maintainer is \"$(field Maintainer)\", not a name and an address"
[ "$(field Description | wc -l)" -ge 2 ] || fail "the package has no long description"
depends=$(field Depends)
echo "Depends: $depends"
for library in libqt6core6 libqt6widgets6; do
    grep -qE "(^|, )$library( |,|$)" <<<"$depends" ||
        fail "Depends does not list $library (the system's Qt 6): $depends"
done
if grep -qE 'asan|ubsan|tsan' <<<"$depends"; then
    fail "Depends names a sanitizer runtime: $depends"
fi

# Contents: exactly the expected files, owned by root, with the usual modes.
dpkg-deb --contents "$deb" >"$scratch/contents"
expected_files usr/bin usr/share usr/share/man "$app_id" | sed 's|^|./|' >"$scratch/expected"
awk '$1 !~ /^d/ { print $6 }' "$scratch/contents" | LC_ALL=C sort >"$scratch/actual"
same_list "files of the package" "$scratch/expected" "$scratch/actual"
awk '$1 !~ /^d/ {
        want = ($6 ~ /^\.\/usr\/bin\//) ? "-rwxr-xr-x" : "-rw-r--r--"
        if ($1 != want || $2 != "root/root") print $1, $2, $6
    }' "$scratch/contents" >"$scratch/modes"
if [ -s "$scratch/modes" ]; then
    cat "$scratch/modes" >&2
    fail "files of the package have unexpected modes or owners"
fi

# Debian's own judgement: errors and warnings fail, info and pedantic remarks are shown.
if ! lintian --fail-on error,warning --display-info --pedantic --tag-display-limit 0 \
    "$deb" >"$scratch/lintian" 2>&1; then
    cat "$scratch/lintian" >&2
    fail "lintian finds errors or warnings in the package"
fi
cat "$scratch/lintian"

# Unpacked, the package is what was validated, and its programs run on the system's libraries.
root=$scratch/root
dpkg-deb --extract "$deb" "$root"
packaging=$build/packaging
cmp "$packaging/$app_id.desktop" "$root/usr/share/applications/$app_id.desktop" ||
    fail "the packaged desktop entry is not the validated one"
cmp "$packaging/$app_id.metainfo.xml" "$root/usr/share/metainfo/$app_id.metainfo.xml" ||
    fail "the packaged metainfo is not the validated one"
file "$root/usr/share/icons/hicolor/128x128/apps/$app_id.png" | grep -q 'PNG image data, 128 x 128' ||
    fail "the packaged icon is not a 128 x 128 PNG image"
# As software centres see it: the metainfo with its desktop entry and icon, as installed.
if ! appstreamcli validate-tree --no-net --strict "$root"; then
    fail "appstreamcli rejects the installed metainfo, desktop entry and icon together"
fi
for page in tarskcjs tarskcjs-cli; do
    zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q '^\.TH ' ||
        fail "the packaged man page $page.1.gz is not a man page"
done
for program in tarskcjs tarskcjs-cli; do
    expect_system_libraries "$root/usr/bin/$program"
done
# The optimised build types are hardened as Debian's own packages are (cmake/Hardening.cmake):
# position-independent, relocations read-only and bound at start, the stack protected. This
# lintian reports a missing BIND_NOW only as info, hence the look with readelf.
case $config in
Release | RelWithDebInfo | MinSizeRel)
    for program in tarskcjs tarskcjs-cli; do
        # Whole outputs, not pipes: grep -q would end readelf early, which pipefail reports.
        binary=$root/usr/bin/$program
        grep -qE 'Type: +DYN' <<<"$(readelf -h "$binary")" || fail "$program is not a PIE"
        grep -q GNU_RELRO <<<"$(readelf -lW "$binary")" || fail "$program has no RELRO segment"
        grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$(readelf -d "$binary")" ||
            fail "$program is not linked with -z now"
        grep -q ' __stack_chk_fail' <<<"$(readelf --dyn-syms -W "$binary")" ||
            fail "$program is built without the stack protector"
    done
    ;;
esac
zcat "$root/usr/share/doc/tarskcjs/changelog.gz" >"$scratch/changelog"
[ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$version" ] ||
    fail "the latest entry of the packaged changelog is not version $version"
expect_two_period_model "$root/usr/bin/tarskcjs-cli" "$scratch/model"
echo "Debian package $(basename "$deb"): $(wc -l <"$scratch/actual") files, as expected"
