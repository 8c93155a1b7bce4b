#!/usr/bin/env bash
# End-to-end figures of the batch command: the largest study against `cat` of the same files,
# peak memory, and how quickly a 1 GiB task file without line ends is refused.
set -euo pipefail
bin=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin/dozorira_bench" --write-study "$work/study"
files=("$work"/study/*.vty)

echo "== 199 task files of 255 data lines: dozorira-batch against cat"
hyperfine --warmup 3 --min-runs 30 -N --style basic \
    -n cat "cat ${files[*]}" \
    -n dozorira-batch "$bin/dozorira-batch -o $work/out.dat ${files[*]}"

echo "== Peak memory of that run"
/usr/bin/time -f "%M KiB peak, %e s" "$bin/dozorira-batch" -o "$work/out.dat" "${files[@]}"

echo "== A 1 GiB task file without line ends"
truncate -s 1G "$work/huge.vty"
/usr/bin/time -f "%M KiB peak, %e s" "$bin/dozorira-batch" -o "$work/out.dat" "$work/huge.vty" || true
