#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that exactly the programs, the desktop
# entry, the metainfo, the icon, the man pages and the shell completions land there, that
# software centres accept the metainfo with its desktop entry and icon as installed, that
# bash-completion finds the companion's completion under that prefix, that the installed
# companion works, and (HARDENED=ON) that both programs are hardened.
# Usage: check-install-tree.sh CMAKE BUILD_DIR CONFIG BINDIR DATADIR MANDIR ZSH_COMPLETION_DIR
#        APP_ID HARDENED(ON|OFF)
source "$(dirname "$0")/common.sh"
cmake=$1
build=$2
config=$3
bindir=$4
datadir=$5
mandir=$6
zshdir=$7
app_id=$8
hardened=$9

need_tool readelf binutils
need_tool appstreamcli appstream
make_scratch
# Under usr/, where appstreamcli validate-tree looks.
prefix=$scratch/root/usr

if ! "$cmake" --install "$build" --config "$config" --prefix "$prefix" >"$scratch/log" 2>&1; then
    cat "$scratch/log" >&2
    fail "cmake --install failed"
fi

expected_files "$bindir" "$datadir" "$mandir" "$zshdir" "$app_id" >"$scratch/expected"
(cd "$prefix" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort) >"$scratch/actual"
same_list "installed files" "$scratch/expected" "$scratch/actual"

for program in tarskcjs tarskcjs-cli; do
    [ -x "$prefix/$bindir/$program" ] || fail "$bindir/$program is not executable"
    expect_system_libraries "$prefix/$bindir/$program"
    if [ "$hardened" = ON ]; then
        expect_hardened "$prefix/$bindir/$program"
    fi
done
expect_two_period_model "$prefix/$bindir/tarskcjs-cli" "$scratch/model"
if [ "$datadir" = share ] && ! appstreamcli validate-tree --no-net --strict "$scratch/root"; then
    fail "appstreamcli rejects the installed metainfo, desktop entry and icon together"
fi

# bash-completion looks for a command's completion in the data directories of XDG_DATA_DIRS,
# the first time the command is completed.
loader=/usr/share/bash-completion/bash_completion
[ -f "$loader" ] || need_tool "$loader" bash-completion
loaded=$(XDG_DATA_DIRS="$prefix/$datadir" BASH_COMPLETION_USER_DIR="$scratch/none" \
    bash --norc --noprofile -c 'source "$1" && __load_completion tarskcjs-cli &&
        complete -p tarskcjs-cli' bash "$loader" 2>&1) ||
    fail "bash-completion does not find the completion of tarskcjs-cli under $datadir: $loaded"
echo "bash-completion loads: $loaded"
echo "install tree: $(wc -l <"$scratch/actual") files, as expected"
