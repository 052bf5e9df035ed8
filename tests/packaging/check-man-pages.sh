#!/usr/bin/env bash
# Checks that the man pages render without warnings and that the companion's page documents
# exactly the options of its --help, with the same arguments and defaults, and that both pages
# carry the release's version and date.
# Usage: check-man-pages.sh COMPANION COMPANION_MAN_PAGE DESKTOP_MAN_PAGE VERSION RELEASE_DATE
source "$(dirname "$0")/common.sh"
companion=$1
companion_page=$2
desktop_page=$3
version=$4
release_date=$5

need_tool man man-db
need_tool groff groff-base
make_scratch

for page in "$companion_page" "$desktop_page"; do
    [ -s "$page" ] || fail "$page is missing"
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >/dev/null 2>"$scratch/man-warnings"
    zcat -f "$page" | groff -man -Tutf8 -ww -z 2>"$scratch/groff-warnings"
    if [ -s "$scratch/man-warnings" ] || [ -s "$scratch/groff-warnings" ]; then
        cat "$scratch/man-warnings" "$scratch/groff-warnings" >&2
        fail "$page renders with warnings"
    fi
done

# A wide page keeps each paragraph on one line.
LC_ALL=C MANWIDTH=1000 man -l "$companion_page" 2>/dev/null | sed 's/ *$//' >"$scratch/page"
"$companion" --help >"$scratch/help" || fail "$companion --help exited with status $?"

# One line per option: "-n --periods N|default", the short and long names, the argument, and
# the default that its description states, up to the first full stop or parenthesis.
option_lines() {
    awk '
        function flush() {
            if (signature == "")
                return
            d = ""
            if (i = index(text, "Default: ")) {
                d = substr(text, i + 9)
                sub(/ *\(.*$/, "", d)
                sub(/\..*$/, "", d)
            }
            print signature "|" d
            signature = ""
        }
        { sub(/\r$/, "") }
        # --help: "  -n, --periods <N>   Number of ...", continued on indented lines.
        FILENAME ~ /help$/ && /^Options:/ { inside = 1; next }
        FILENAME ~ /help$/ && inside && /^  -/ {
            flush()
            line = substr($0, 3)
            split_at = index(line, "  ")
            signature = split_at ? substr(line, 1, split_at - 1) : line
            text = split_at ? substr(line, split_at) : ""
            next
        }
        FILENAME ~ /help$/ && inside && /^   / { text = text " " $0; next }
        FILENAME ~ /help$/ && inside { flush(); inside = 0 }
        # The man page: tags indented by 7 columns in OPTIONS, descriptions by 14.
        FILENAME ~ /page$/ && /^OPTIONS$/ { inside = 1; next }
        FILENAME ~ /page$/ && inside && /^[^ ]/ { flush(); inside = 0 }
        FILENAME ~ /page$/ && inside && /^       -/ {
            flush()
            signature = substr($0, 8)
            text = ""
            next
        }
        FILENAME ~ /page$/ && inside && /^              / { text = text " " $0; next }
        END { flush() }
    ' "$1" | sed 's/[<>,]//g; s/  */ /g; s/| */|/' | LC_ALL=C sort
}

option_lines "$scratch/help" >"$scratch/help-options"
option_lines "$scratch/page" >"$scratch/page-options"
[ "$(wc -l <"$scratch/help-options")" -ge 19 ] ||
    fail "could not read the options of $companion --help"
same_list "options of the man page (with argument and default) and of --help" \
    "$scratch/help-options" "$scratch/page-options"

# Every option the page mentions anywhere (examples, exit status) exists.
grep -oE -- '--[a-z][a-z-]*' "$scratch/help" | LC_ALL=C sort -u >"$scratch/help-names"
grep -oE -- '--[a-z][a-z-]*' "$scratch/page" | LC_ALL=C sort -u >"$scratch/page-names"
unknown=$(LC_ALL=C comm -13 "$scratch/help-names" "$scratch/page-names")
[ -z "$unknown" ] || fail "the man page mentions options that --help does not know: $unknown"

# Every exit status of --help is explained on the page.
awk '/^Exit status:/ { inside = 1; next } inside && /^$/ { exit }
     inside && /^  [0-9]/ { print $1 }' "$scratch/help" | sort -u >"$scratch/help-status"
awk '/^EXIT STATUS$/ { inside = 1; next } inside && /^[^ ]/ { exit }
     inside && /^       [0-9]/ { print $1 }' "$scratch/page" | sort -u >"$scratch/page-status"
[ -s "$scratch/help-status" ] || fail "could not read the exit status of $companion --help"
missing=$(comm -23 "$scratch/help-status" "$scratch/page-status")
[ -z "$missing" ] || fail "the man page does not explain exit status $missing"

# Pages and program carry the same version, and the pages the release's date.
[ "$("$companion" --version)" = "tarskcjs-cli $version" ] ||
    fail "$companion --version does not say $version"
for page in "$companion_page" "$desktop_page"; do
    footer=$(LC_ALL=C MANWIDTH=1000 man -l "$page" 2>/dev/null | tail -n 1)
    grep -qF "TarskCjs $version" <<<"$footer" ||
        fail "the footer of $page does not name TarskCjs $version: $footer"
    grep -qF "$release_date" <<<"$footer" ||
        fail "the footer of $page does not give the release date $release_date: $footer"
done
echo "man pages: render cleanly; $(wc -l <"$scratch/help-options") options agree with --help"
