#!/usr/bin/env bash
# Runs the desktop program on its own X server (Xvfb) under a real window manager (openbox)
# and checks through the server what the offscreen tests cannot see: where the window manager
# puts the framed window, that it cannot resize it, the keyboard path to the save dialog, the
# file written through that dialog, a check through the menu and the open dialog with what its
# result window copies, the size line against `tarskcjs-cli --stats`, and the exit code of both
# ways to close the window. Saves pictures of the framed window and of a result window, unless
# GRABFRAME is "-"; with READCLIPBOARD "-", xclip reads the clipboard. (The installed programs
# come without these two helpers of the build.)
# Usage: check-window.sh TARSKCJS TARSKCJS_CLI GRABFRAME|- READCLIPBOARD|- SCREENSHOT_PNG CHECK_PNG
# Exit status: 0 passed, 1 failed, 77 skipped (no Xvfb, openbox or X tools, or no X server).
set -euo pipefail

app=$1
cli=$2
grab=$3
clipboard=$4
screenshot=$5
check_picture=$6
title='tarskCJS 1.0'
title_pattern='^tarskCJS 1\.0$'
patience=60 # seconds for anything to happen; a busy machine is slow, not wrong

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $(basename "$log")"; cat "$log"; } >&2
    done
    exit 1
}
step() { echo "-- $*"; }

tools=(Xvfb openbox xdotool xwininfo xprop timeout)
if [ "$clipboard" = - ]; then
    tools+=(xclip)
fi
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d)
pids=() # X server and window manager, killed in reverse order on the way out
app_pid= # the program while it runs
cleanup() {
    local i
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

# Runs a command until it succeeds; fails after $patience seconds.
poll() {
    local what=$1
    shift
    local deadline=$((SECONDS + patience))
    until "$@"; do
        ((SECONDS < deadline)) || fail "timed out waiting for $what"
        sleep 0.1
    done
}

# Prints "X Y WIDTH HEIGHT" of a window (or "root"), in screen coordinates.
geometry() {
    local which=(-id "$1")
    [ "$1" = root ] && which=(-root)
    xwininfo "${which[@]}" | awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
        /Width:/ {w = $2} /Height:/ {h = $2} END {print x, y, w, h}'
}

# Prints the window manager's frame around a window: its ancestor just below the root.
frame_of() {
    local id=$1 parent root
    root=$(xwininfo -root | awk '/Window id:/ {print $4}')
    while parent=$(xwininfo -tree -id "$id" | awk '/Parent window id:/ {print $4}') &&
        [ "$parent" != "$root" ]; do
        id=$parent
    done
    echo "$id"
}

# Waits for a visible window of that title other than the main window; sets $found.
find_window() {
    if [ -n "$app_pid" ] && app_exited; then
        fail "the program ended while a window \"$1\" was awaited"
    fi
    found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "${window:-none}" |
        head -n1) || true
    [ -n "$found" ]
}
wait_for_window() {
    local pattern=$1
    poll "a window \"$pattern\"" find_window "$pattern"
}
window_gone() { ! xdotool search --onlyvisible --name "$title_pattern" | grep -qx "$1"; }

# Gone, or a zombie that the shell has not reaped yet.
app_exited() {
    local state
    state=$(cut -d' ' -f3 "/proc/$app_pid/stat" 2>/dev/null) || return 0
    [ "$state" = Z ]
}

start_app() {
    LANG=en_US.UTF-8 LC_ALL= "$app" >"$work/tarskcjs.log" 2>&1 &
    app_pid=$!
    window=
    wait_for_window "$title_pattern"
    window=$found
    xdotool windowactivate --sync "$window"
}

# Checks the exit code once the window is closed.
expect_exit_zero() {
    poll "the program to end" app_exited
    local code=0
    wait "$app_pid" || code=$?
    app_pid=
    [ "$code" = 0 ] || fail "the program ended with exit code $code"
    window=
}

# Creates a file through File > Create Model Definition File... (Alt+F, C), typing its path
# into the save dialog and confirming the message that it was written.
create_through_dialog() {
    local path=$1 box
    xdotool key --clearmodifiers alt+f c
    wait_for_window '^Create Model Definition File$'
    xdotool windowactivate --sync "$found"
    xdotool type --delay 5 "$path"
    xdotool key Return
    wait_for_window "$title_pattern" # the message that the file was written
    box=$found
    [ -f "$path" ] || fail "the message came up, but $path is not there"
    xdotool windowactivate --sync "$box"
    xdotool key Return
    poll "the message to close" window_gone "$box"
}

# The text on the clipboard, read from another client as a paste would; empty when there is
# none.
read_clipboard() {
    if [ "$clipboard" = - ]; then
        xclip -selection clipboard -target UTF8_STRING -out 2>/dev/null || true
    else
        "$clipboard"
    fi
}

# Saves a picture of a part of the screen: X Y WIDTH HEIGHT FILE; nothing with GRABFRAME "-".
take_picture() {
    [ "$grab" != - ] || return 0
    mkdir -p "$(dirname "$5")"
    "$grab" "$@" 2>"$work/grab.log" || fail "no picture taken"
}

# Checks a file through File > Check Model Definition File... (Alt+F, H), typing its path into
# the open dialog; copies the result window's report into $report and leaves the window
# open, its id in $result_window. (Alt+P: Co&py Report.)
check_through_dialog() {
    local path=$1
    xdotool key --clearmodifiers alt+f h
    wait_for_window '^Check Model Definition File$'
    xdotool windowactivate --sync "$found"
    xdotool type --delay 5 "$path"
    xdotool key Return
    wait_for_window "$title_pattern" # the result window
    result_window=$found
    xdotool windowactivate --sync "$result_window"
    local before
    before=$(read_clipboard)
    xdotool key --clearmodifiers alt+p
    poll "the report on the clipboard" report_copied "$before"
}
report_copied() {
    report=$(read_clipboard)
    [ "$report" != "$1" ]
}
close_result_window() {
    xdotool windowactivate --sync "$result_window"
    xdotool key Escape
    poll "the result window to close" window_gone "$result_window"
}

# The size line as copied from the keyboard: it sits just before the Create button in the Tab
# order, and the periods, first in that order, have the focus.
copy_size_line() {
    xdotool windowactivate --sync "$window"
    local before
    before=$(read_clipboard)
    xdotool key shift+Tab shift+Tab shift+Tab ctrl+a ctrl+c
    poll "the size line on the clipboard" size_line_copied "$before"
    xdotool key Tab Tab Tab # back to the periods
}
size_line_copied() {
    size_line=$(read_clipboard)
    [ "$size_line" != "$1" ]
}
# What the size line says for `tarskcjs-cli --stats ARGS`, in US English numbers.
expected_size_line() {
    local stats lines bytes human
    stats=$("$cli" --stats "$@") || fail "tarskcjs-cli --stats failed"
    lines=$(sed -n 's/^histories: //p' <<<"$stats" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta')
    bytes=$(sed -n 's/^bytes: \([0-9]*\).*/\1/p' <<<"$stats" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta')
    human=$(sed -n 's/^bytes: [0-9]* (\(.*\))$/\1/p' <<<"$stats")
    if [ -n "$human" ]; then
        echo "$lines histories · $human ($bytes bytes)"
    else
        echo "$lines histories · $bytes bytes"
    fi
}

# Settings, the remembered directory and any runtime files stay in this run's directory.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
export XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$work/saved" "$work/expected"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER QT_QPA_PLATFORMTHEME
export QT_QPA_PLATFORM=xcb
# The size line's numbers follow the locale; the program's are US English (start_app).

step "X server"
# Xvfb takes the first free display number itself and writes it once it accepts clients.
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/displayfd" \
    >"$work/xvfb.log" 2>&1 &
pids+=("$!")
number=
read -r -t "$patience" number <"$work/displayfd" || true
[ -n "$number" ] || skip "Xvfb did not start: $(tail -n 3 "$work/xvfb.log")"
export DISPLAY=":$number"
echo "display $DISPLAY"

step "window manager"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=("$!")
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
poll "openbox" wm_running

step "placement"
start_app
[ "$(xdotool getwindowname "$window")" = "$title" ] || fail "window title is not \"$title\""
frame=$(frame_of "$window")
[ "$frame" != "$window" ] || fail "the window manager did not frame the window"
read -r sx sy sw sh < <(geometry root)
read -r fx fy fw fh < <(geometry "$frame")
read -r cx cy cw ch < <(geometry "$window")
echo "screen ${sw}x$sh, frame ${fw}x$fh at $fx,$fy, window ${cw}x$ch at $cx,$cy"
((fx >= sx && fy >= sy && fx + fw <= sx + sw && fy + fh <= sy + sh)) ||
    fail "the frame is not fully on the screen"
((fh > ch && cy > fy)) || fail "the frame has no title bar above the window"

step "fixed size"
hints=$(xprop -id "$window" WM_NORMAL_HINTS)
min=$(sed -n 's/.*minimum size: \([0-9]*\) by \([0-9]*\).*/\1x\2/p' <<<"$hints")
max=$(sed -n 's/.*maximum size: \([0-9]*\) by \([0-9]*\).*/\1x\2/p' <<<"$hints")
if [ "$min" != "${cw}x$ch" ] || [ "$max" != "$min" ]; then
    fail "size hints allow resizing: minimum '$min', maximum '$max', size ${cw}x$ch"
fi
# A resize request, then a move the window manager handles after it: once the window has
# moved, the resize has been decided.
timeout "$patience" xdotool windowsize "$window" $((cw + 200)) $((ch + 150)) \
    windowmove --sync "$window" $((fx + 40)) $((fy + 30)) ||
    fail "the window manager did not move the window"
read -r _ _ w h < <(geometry "$window")
[ "${w}x$h" = "${cw}x$ch" ] || fail "the window manager resized the window to ${w}x$h"
read -r _ _ w h < <(geometry "$frame")
[ "${w}x$h" = "${fw}x$fh" ] || fail "the window manager resized the frame to ${w}x$h"

step "the default model, through the keyboard and the save dialog"
create_through_dialog "$work/saved/default.txt"
"$cli" -n 2 -o "$work/expected/default.txt" || fail "tarskcjs-cli failed"
cmp "$work/expected/default.txt" "$work/saved/default.txt" ||
    fail "the file differs from what tarskcjs-cli writes"

step "the size line for the default model, copied from the keyboard"
copy_size_line
expected=$(expected_size_line -n 2)
[ "$size_line" = "$expected" ] || fail "the size line reads '$size_line', not '$expected'"

step "checking the written file through the menu and the open dialog"
check_through_dialog "$work/saved/default.txt"
grep -qF "\"$work/saved/default.txt\" is sound, and it is the file the form's current model would write." <<<"$report" ||
    fail "the result window does not call the file sound and the form's: $report"
grep -qxF "Histories: 4. Warnings: 0. Errors: 0." <<<"$report" ||
    fail "the result window has other counts: $report"
close_result_window

step "checking an unsound file, and a picture of its result window"
# The form describes the model of the file, so that its comparison finds the missing line.
xdotool windowactivate --sync "$window"
xdotool key ctrl+a type 3
"$cli" -n 3 | grep -v '^0 1 0,' >"$work/saved/edited.txt"
check_through_dialog "$work/saved/edited.txt"
grep -qF "is not sound." <<<"$report" || fail "the edited file is not called unsound: $report"
grep -Eq "^line [0-9]*: error: in (draw [0-9] of 3|the balanced draw)" <<<"$report" ||
    fail "the result window does not name the sum's line: $report"
grep -q "^line [0-9]*, column 1: error: 1 of the 8 histories of 3 occasions are missing; the first, in the order in which they are written, is \"0 1 0\"" <<<"$report" ||
    fail "the result window does not name the missing history: $report"
grep -qF "the first difference is on line 13" <<<"$report" ||
    fail "the comparison with the form does not point at the missing history: $report"
read -r rx ry rw rh < <(geometry "$(frame_of "$result_window")")
((rx >= sx && ry >= sy && rx + rw <= sx + sw && ry + rh <= sy + sh)) ||
    fail "the result window is not fully on the screen"
take_picture "$rx" "$ry" "$rw" "$rh" "$check_picture"
close_result_window

step "the size line for 16 periods, and a picture of the framed window"
xdotool windowactivate --sync "$window"
xdotool key ctrl+a type 16
copy_size_line
expected=$(expected_size_line -n 16)
[ "$size_line" = "$expected" ] || fail "the size line reads '$size_line', not '$expected'"
read -r fx fy fw fh < <(geometry "$frame")
take_picture "$fx" "$fy" "$fw" "$fh" "$screenshot"

step "closing through the window manager"
xdotool windowactivate --sync "$window"
xdotool key alt+F4 # openbox's binding for Close
expect_exit_zero

step "a model changed through the Tab order, and File > Exit"
start_app
# The periods come first in the Tab order and have the focus. Then: the survival name and its
# box, the detection name and its box (checked here, which disables the final parameter, so Tab
# passes it by), the no-detection stem, the initial survival index, the initial-release check
# box, the two symbols, and the censoring box's own check box.
xdotool key ctrl+a type 3
xdotool key Tab ctrl+a type phi
xdotool key Tab Tab Tab space
xdotool key Tab Tab Tab space
xdotool key Tab Tab Tab space
create_through_dialog "$work/saved/changed.txt"
"$cli" -n 3 --survival phi --constant-detection --initial-release --censoring \
    -o "$work/expected/changed.txt" || fail "tarskcjs-cli failed"
cmp "$work/expected/changed.txt" "$work/saved/changed.txt" ||
    fail "the file differs from what tarskcjs-cli writes"
xdotool windowactivate --sync "$window"
xdotool key alt+f x
expect_exit_zero

echo "PASS (${SECONDS} s)"
