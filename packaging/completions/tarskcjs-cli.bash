# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for tarskcjs-cli: its options, file names after -o and --check, and nothing
# after an option that wants a number, a name or a symbol. The lists follow
# `tarskcjs-cli --help`; the test packaging_completion fails when they part.

_tarskcjs_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # bash splits "--output=mod" at the "=": the option is then two words back.
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    COMPREPLY=()

    case $prev in
    -o | --output | --check)
        compopt -o filenames 2>/dev/null # quoted, and directories end in "/"
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return 0
        ;;
    -n | --periods | --initial-survival-index | --seed)
        return 0 # a number
        ;;
    --survival | --detection | --final | --no-more-detections | --censoring-parameter)
        return 0 # a name
        ;;
    --detected-symbol | --not-detected-symbol | --censored-symbol)
        return 0 # a symbol
        ;;
    esac

    local options='-n --periods --survival --detection --final --no-more-detections
        --initial-survival-index --detected-symbol --not-detected-symbol --censoring
        --censoring-parameter --censored-symbol --initial-release --constant-survival
        --constant-detection --constant-censoring -o --output --stats --check
        --seed --progress --no-progress --allow-name-clashes -h --help -v --version'
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    return 0
}
complete -F _tarskcjs_cli tarskcjs-cli
