#!/usr/bin/env bash
# Validates the desktop entry and checks the keys that the menu and the launcher rely on.
# Usage: check-desktop-entry.sh DESKTOP_FILE APP_ID
source "$(dirname "$0")/common.sh"
desktop=$1
app_id=$2

need_tool desktop-file-validate desktop-file-utils

[ "$(basename "$desktop")" = "$app_id.desktop" ] ||
    fail "$desktop is not named after the application id $app_id"

# Errors fail the validator; warnings fail here too. Hints are shown, not fatal.
if ! report=$(desktop-file-validate "$desktop" 2>&1); then
    printf '%s\n' "$report" >&2
    fail "desktop-file-validate rejects $desktop"
fi
[ -z "$report" ] || printf '%s\n' "$report"
if printf '%s\n' "$report" | grep -v ': hint: ' | grep -q .; then
    fail "desktop-file-validate warns about $desktop"
fi

# The value of a key of the [Desktop Entry] group.
entry_value() {
    awk -v key="$1" '
        /^\[/ { group = $0; next }
        group == "[Desktop Entry]" && index($0, key "=") == 1 {
            print substr($0, length(key) + 2); exit
        }' "$desktop"
}

expect_value() {
    local key=$1 expected=$2 actual
    actual=$(entry_value "$key")
    [ "$actual" = "$expected" ] || fail "$key is \"$actual\", expected \"$expected\""
}

expect_value Type Application
expect_value Name TarskCjs
expect_value Exec tarskcjs
expect_value Icon "$app_id"
expect_value Terminal false
expect_value Categories 'Science;Education;'
# On X11 the window's class is the application name, which ties the window to this entry.
expect_value StartupWMClass TarskCjs
[ -n "$(entry_value Comment)" ] || fail "the desktop entry has no Comment"
echo "desktop entry $desktop: valid"
