#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that exactly the programs, the desktop
# entry, the metainfo, the icon, the man pages and the copyright land there, and that the
# installed companion works.
# Usage: check-install-tree.sh CMAKE BUILD_DIR CONFIG BINDIR DATADIR MANDIR APP_ID
source "$(dirname "$0")/common.sh"
cmake=$1
build=$2
config=$3
bindir=$4
datadir=$5
mandir=$6
app_id=$7

need_tool readelf binutils
make_scratch
prefix=$scratch/prefix

if ! "$cmake" --install "$build" --config "$config" --prefix "$prefix" >"$scratch/log" 2>&1; then
    cat "$scratch/log" >&2
    fail "cmake --install failed"
fi

expected_files "$bindir" "$datadir" "$mandir" "$app_id" >"$scratch/expected"
(cd "$prefix" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort) >"$scratch/actual"
same_list "installed files" "$scratch/expected" "$scratch/actual"

for program in tarskcjs tarskcjs-cli; do
    [ -x "$prefix/$bindir/$program" ] || fail "$bindir/$program is not executable"
    expect_system_libraries "$prefix/$bindir/$program"
done
expect_two_period_model "$prefix/$bindir/tarskcjs-cli" "$scratch/model"
echo "install tree: $(wc -l <"$scratch/actual") files, as expected"
