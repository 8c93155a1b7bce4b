#!/usr/bin/env bash
# Starts the window under Xvfb and openbox and checks with the X11 tools, not Qt, that the outer
# corner of its frame is at (20, 20). Usage: frame_position.sh PATH/TO/dozorira
set -euo pipefail
scratch=$(mktemp -d)
pids=()
finish() {
    set +e
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null
        wait "${pids[i]}" 2>/dev/null
    done
    rm -rf "$scratch"
}
trap finish EXIT
trap 'exit 1' INT TERM

# Retries a command for up to ten seconds.
await() { for _ in $(seq 100); do "$@" && return 0 || sleep 0.1; done; return 1; }

# Xvfb picks a free display and writes its number once it takes clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" &>/dev/null &
pids+=($!)
await test -s "$scratch/display" || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n 1 "$scratch/display")"
XDG_CONFIG_HOME="$scratch" openbox --sm-disable &>/dev/null &
pids+=($!)
await eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' 2>/dev/null ||
    { echo "openbox did not start"; exit 1; }
QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$scratch" "$1" &
pids+=($!)

# The client's absolute position less the frame extents (left, right, top, bottom).
frame_is_placed() {
    local info left top
    info=$(xwininfo -name 'Vantry Dozorira' 2>/dev/null) || return 1
    read -r left top < <(xprop -id "$(awk '/Window id:/ {print $4}' <<<"$info")" \
        _NET_FRAME_EXTENTS | sed -n 's/.* = \([0-9]*\), [0-9]*, \([0-9]*\), .*/\1 \2/p')
    [ -n "$top" ] || return 1
    corner="$(($(awk '/Absolute upper-left X/ {print $4}' <<<"$info") - left)),$(($(
        awk '/Absolute upper-left Y/ {print $4}' <<<"$info") - top))"
    [ "$corner" = 20,20 ]
}
corner="none"
await frame_is_placed || { echo "frame corner at $corner, not at 20,20"; exit 1; }
echo "frame corner at $corner"
