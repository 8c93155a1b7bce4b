#!/usr/bin/env bash
# Instructions per data line, counted by valgrind's callgrind over a whole run of the batch
# command on the 199-file study of dozorira_bench (255 data lines a file), output written: the
# figure to steer by, as it does not depend on how fast or how busy the machine is. Every format
# and layout, and the window's run (the .dat written record by record).
# Usage: bench/instructions.sh BIN_DIR
set -euo pipefail
bin=$(realpath "$1")
work=$(mktemp -d)
outputs=$work
[ -d /dev/shm ] && [ -w /dev/shm ] && outputs=$(mktemp -d /dev/shm/dozorira-instructions.XXXXXX)
trap 'rm -rf "$work" "$outputs"' EXIT

"$bin/dozorira_bench" --write-study "$work/study"
cd "$work/study"
files=(pp*.vty)
lines=$((${#files[@]} * 255))

# The instructions callgrind counts for a command, all its threads together.
instructions() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/^==[0-9]*== Collected : \([0-9]*\)$/\1/p'
}

row() {
    awk -v label="$1" -v count="$2" -v lines="$lines" \
        'BEGIN { printf "  %-36s %14d %10.0f\n", label, count, count / lines }'
}

echo "== Instructions per data line, ${#files[@]} task files of 255 data lines ($lines lines)"
printf '  %-36s %14s %10s\n' run instructions "per line"
while IFS='|' read -r label extension options; do
    # shellcheck disable=SC2086 # the options are words
    row "$label" "$(instructions "$bin/dozorira-batch" $options -o "$outputs/out.$extension" \
        "${files[@]}")"
done <<'RUNS'
dozorira-batch dat|dat|
dozorira-batch tsv|tsv|
dozorira-batch csv|csv|
dozorira-batch sav|sav|
dozorira-batch dta|dta|
dozorira-batch xlsx|xlsx|
dozorira-batch tsv --long|tsv|--long
dozorira-batch tsv --trials|tsv|--trials
RUNS
row "the window's run (.dat)" \
    "$(instructions "$bin/dozorira_bench" --window-run "$outputs/window.dat" "${files[@]}")"
