# SPDX-License-Identifier: GPL-3.0-or-later
# fish completion for tarskcjs-cli; the options follow `tarskcjs-cli --help`, and the test
# packaging_completion fails when they part. -x: an argument that is not a file name;
# -r -F: a file name.

complete -c tarskcjs-cli -f
complete -c tarskcjs-cli -s n -l periods -x -d 'Number of periods, 2 to 99'
complete -c tarskcjs-cli -l survival -x -d 'Stem of the survival parameters'
complete -c tarskcjs-cli -l detection -x -d 'Stem of the detection parameters'
complete -c tarskcjs-cli -l final -x -d 'Name of the final parameter'
complete -c tarskcjs-cli -l no-more-detections -x -d 'Stem of the no-detection variables'
complete -c tarskcjs-cli -l initial-survival-index -x -d 'Subscript of the first survival parameter'
complete -c tarskcjs-cli -l detected-symbol -x -d 'History symbol for a detection'
complete -c tarskcjs-cli -l not-detected-symbol -x -d 'History symbol for no detection'
complete -c tarskcjs-cli -l censoring -d 'Include censoring'
complete -c tarskcjs-cli -l censoring-parameter -x -d 'Stem of the censoring parameters'
complete -c tarskcjs-cli -l censored-symbol -x -d 'History symbol for a censored detection'
complete -c tarskcjs-cli -l initial-release -d 'Begin every history with the release'
complete -c tarskcjs-cli -l constant-survival -d 'One survival parameter for every interval'
complete -c tarskcjs-cli -l constant-detection -d 'One detection parameter for every occasion'
complete -c tarskcjs-cli -l constant-censoring -d 'With --censoring: one censoring parameter'
complete -c tarskcjs-cli -s o -l output -r -F -d 'Write the file to FILE'
complete -c tarskcjs-cli -l stats -d 'Print the number of histories and the file size'
complete -c tarskcjs-cli -l check -r -F -d 'Check a model definition file'
complete -c tarskcjs-cli -l seed -x -d 'With --check: the seed of the first draw'
complete -c tarskcjs-cli -l progress -d 'Show a progress bar'
complete -c tarskcjs-cli -l no-progress -d 'Never show a progress bar'
complete -c tarskcjs-cli -l allow-name-clashes -d 'Write even when names read alike'
complete -c tarskcjs-cli -s h -l help -d 'Show the help and exit'
complete -c tarskcjs-cli -s v -l version -d 'Show the version and exit'
