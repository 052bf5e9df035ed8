#!/usr/bin/env bash
# Checks the companion's shell completions against its --help. Bash, run as on a TAB press
# (COMP_WORDS, COMP_CWORD): every option of --help and no other, file names after the
# options that take a file, nothing after those that take a number, a name or a symbol. zsh
# and fish, read as text: the same options, a file name where --help says FILE.
# Usage: check-completion.sh COMPANION COMPLETIONS_DIR
source "$(dirname "$0")/common.sh"
companion=$1
completions=$2

make_scratch
"$companion" --help >"$scratch/help" || fail "$companion --help exited with status $?"
help_options <"$scratch/help" >"$scratch/options"
[ "$(wc -l <"$scratch/options")" -ge 19 ] || fail "could not read the options of --help"
tr ' ' '\n' <"$scratch/options" | grep -- '^-' | LC_ALL=C sort >"$scratch/names"

# Files to complete: one with a space in its name, and a directory.
files=$scratch/files
mkdir -p "$files/results"
touch "$files/model.txt" "$files/my model.txt"

# What bash offers for a command line whose last word is the one under the cursor, sorted,
# one a line. The function is the one that `complete` registers for tarskcjs-cli.
complete_words() {
    (cd "$files" && bash --norc --noprofile -c '
        source "$1" || exit 1
        shift
        function=$(complete -p tarskcjs-cli | sed -n "s/.* -F \([^ ]*\) .*/\1/p")
        [ -n "$function" ] || { echo "no completion registered for tarskcjs-cli" >&2; exit 1; }
        COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE="$*"
        COMP_POINT=${#COMP_LINE}
        "$function" tarskcjs-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        ((${#COMPREPLY[@]} == 0)) || printf "%s\n" "${COMPREPLY[@]}"
    ' bash "$completions/tarskcjs-cli.bash" "$@") | LC_ALL=C sort
}

# expect_completion EXPECTED WORD...: EXPECTED lists the offers joined by "|".
expect_completion() {
    local expected=$1 actual
    shift
    actual=$(complete_words "$@" | paste -sd'|')
    [ "$actual" = "$expected" ] ||
        fail "completing \"$*\": offered \"$actual\", expected \"$expected\""
}

# bash splits "--output=mo" into "--output", "=" and "mo".
all_files='model.txt|my model.txt|results'
while IFS=';' read -r expected line; do
    read -ra words <<<"$line"
    [[ $line == *' ' ]] && words+=("") # the cursor after a space: an empty word
    expect_completion "$expected" tarskcjs-cli "${words[@]}"
done <<EOF_CASES
--censored-symbol|--censoring|--censoring-parameter;--cen
--initial-release|--initial-survival-index;--censoring --init
--no-more-detections|--no-progress;-n 5 --no-
--stats;-n 22 --st
--constant-censoring|--constant-detection|--constant-survival;--censoring --const
$all_files;-o 
my model.txt;--output my
model.txt;--output = mo
$all_files;--check =
results;--check res
;-n 
;--periods 2
;--seed 
;--initial-survival-index 
;--survival 
;--censored-symbol 
;--censoring --nothing-like-this
EOF_CASES

# The options of --help, and only those.
complete_words tarskcjs-cli - >"$scratch/bash-names"
same_list "options that bash completes (-) and options of --help (+)" \
    "$scratch/bash-names" "$scratch/names"

# What follows each option of --help: file names after FILE, nothing after another argument,
# the options again after an option without one.
while read -ra option; do
    last=${option[${#option[@]} - 1]}
    for name in "${option[@]}"; do
        [[ $name == -* ]] || continue
        case $last in
        FILE) expect_completion "$all_files" tarskcjs-cli "$name" "" ;;
        -*) [ "$(complete_words tarskcjs-cli "$name" - | wc -l)" = "$(wc -l <"$scratch/names")" ] ||
            fail "bash does not offer the options again after $name, which takes no argument" ;;
        *) expect_completion "" tarskcjs-cli "$name" "" ;;
        esac
    done
done <"$scratch/options"

# zsh: each option's entry ({-n+,--periods=}, '--check=[...]:file:_files', '--stats[...]'),
# where "=" marks an argument.
zsh=$completions/tarskcjs-cli.zsh
grep -oE "(^|[{,'()])--?[a-z][a-z-]*" "$zsh" | sed 's/^[^-]*//' | LC_ALL=C sort -u \
    >"$scratch/zsh-names"
same_list "options of the zsh completion (-) and of --help (+)" \
    "$scratch/zsh-names" "$scratch/names"
# fish: "complete -c tarskcjs-cli -s o -l output -r -F".
fish=$completions/tarskcjs-cli.fish
grep -oE -- ' -(s [a-z]|l [a-z][a-z-]*)' "$fish" | sed -E 's/^ -s /-/; s/^ -l /--/' |
    LC_ALL=C sort -u >"$scratch/fish-names"
same_list "options of the fish completion (-) and of --help (+)" \
    "$scratch/fish-names" "$scratch/names"
while read -ra option; do
    long=
    for name in "${option[@]}"; do
        [[ $name == --* ]] && long=$name
    done
    [ -n "$long" ] || fail "an option of --help has no long name: ${option[*]}"
    entry=$(grep -E -- "[{,'()]$long[]}=[]" "$zsh") || fail "zsh: no entry for $long"
    line=$(grep -E -- "-l ${long#--} " "$fish") || fail "fish: no line for $long"
    case ${option[${#option[@]} - 1]} in
    FILE)
        [[ $entry == *:_files* ]] || fail "zsh does not complete a file after $long"
        [[ $line == *' -r -F '* ]] || fail "fish does not complete a file after $long"
        ;;
    -*)
        [[ $entry != *"$long="* ]] || fail "zsh takes an argument after $long"
        [[ $line != *' -x '* && $line != *' -r '* ]] || fail "fish takes an argument after $long"
        ;;
    *)
        [[ $entry == *"$long="* && $entry != *_files* ]] ||
            fail "zsh does not take a plain argument after $long"
        [[ $line == *' -x '* ]] || fail "fish does not take a plain argument after $long"
        ;;
    esac
done <"$scratch/options"
echo "completion: bash, zsh and fish complete the $(wc -l <"$scratch/options") options of --help"
