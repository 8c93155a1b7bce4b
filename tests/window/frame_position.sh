#!/usr/bin/env bash
# Starts the window under a real X server and window manager (Xvfb and openbox) and checks, with
# the X11 tools rather than Qt, that the outer corner of its frame lands at (20, 20).
# Usage: frame_position.sh PATH/TO/dozorira
set -euo pipefail
program=$1
expected="20,20"

scratch=$(mktemp -d)
pids=()
finish() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap finish EXIT

# Retries a command for up to ten seconds.
await() {
    for _ in $(seq 100); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

fail() {
    echo "$1"
    tail -n 20 "$scratch"/*.log
    exit 1
}

# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
pids+=($!)
await test -s "$scratch/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$scratch/display")"

wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
XDG_CONFIG_HOME="$scratch" openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
pids+=($!)
await wm_running || fail "openbox did not start"

QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$scratch" "$program" >"$scratch/dozorira.log" 2>&1 &
pids+=($!)

# The frame's corner, from the client's absolute position and the frame extents the window
# manager announces (left, right, top, bottom).
frame_corner() {
    local info extents x y left top
    info=$(xwininfo -name 'Vantry Dozorira' 2>/dev/null) || return 1
    x=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$info")
    extents=$(xprop -id "$(sed -n 's/^xwininfo: Window id: \([^ ]*\).*/\1/p' <<<"$info")" \
        _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.* = \([0-9]*\), [0-9]*, \([0-9]*\), .*/\1 \2/p')
    [ -n "$extents" ] || return 1
    read -r left top <<<"$extents"
    echo "$((x - left)),$((y - top))"
}
at_expected_corner() { corner=$(frame_corner) && [ "$corner" = "$expected" ]; }

corner=""
await at_expected_corner || fail "frame corner at ${corner:-(no framed window)}, expected $expected"
# The window manager has placed it; a late move would still show here.
sleep 0.5
at_expected_corner || fail "frame corner moved to $corner after placement, expected $expected"
echo "frame corner at $corner"
