#compdef tarskcjs-cli
# SPDX-License-Identifier: GPL-3.0-or-later
# zsh completion for tarskcjs-cli; the options follow `tarskcjs-cli --help`, and the test
# packaging_completion fails when they part.

_arguments -s -S \
    '(-n --periods)'{-n+,--periods=}'[number of periods (capture occasions after the release), 2 to 99]:number of periods: ' \
    '--survival=[stem of the survival parameters]:name: ' \
    '--detection=[stem of the detection parameters]:name: ' \
    '--final=[name of the final parameter]:name: ' \
    '--no-more-detections=[stem of the variables for no detection after an occasion]:name: ' \
    '--initial-survival-index=[subscript of the first survival parameter, 0 to 99]:index: ' \
    '--detected-symbol=[history symbol for a detection]:symbol: ' \
    '--not-detected-symbol=[history symbol for no detection]:symbol: ' \
    '--censoring[include censoring]' \
    '--censoring-parameter=[stem of the censoring parameters]:name: ' \
    '--censored-symbol=[history symbol for a detection followed by censoring]:symbol: ' \
    '--initial-release[begin every history with the release, written as a detection]' \
    '--constant-survival[one survival parameter for every interval]' \
    '--constant-detection[one detection parameter for every occasion]' \
    '--constant-censoring[with --censoring: one censoring parameter for every occasion]' \
    '(-o --output)'{-o+,--output=}'[write the file to FILE ("-": standard output)]:file:_files' \
    '--stats[print the number of histories and the exact file size]' \
    '--check=[check a model definition file ("-": standard input)]:file:_files' \
    '--seed=[with --check: the seed of the first random draw]:seed: ' \
    '(--no-progress)--progress[show a progress bar on standard error]' \
    '(--progress)--no-progress[never show a progress bar]' \
    '--allow-name-clashes[write even when names read alike or do not read as names]' \
    '(- *)'{-h,--help}'[show the help and exit]' \
    '(- *)'{-v,--version}'[show the version and exit]'
