#!/usr/bin/env bash
# End-to-end figures of the batch command beside the times of dozorira_ratios: peak memory, and
# how quickly a 1 GiB task file without line ends is refused.
set -euo pipefail
bin=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin/dozorira_bench" --write-study "$work/study"
files=("$work"/study/*.vty)

echo "== Peak memory of a run of 199 task files of 255 data lines"
/usr/bin/time -f "%M KiB peak, %e s" "$bin/dozorira-batch" -o "$work/out.dat" "${files[@]}"

echo "== Peak memory of 10 000 such task files as .sav (under 32 MB)"
"$bin/dozorira_bench" --write-study "$work/large" 10000
(cd "$work/large" && /usr/bin/time -f "%M KiB peak, %e s" "$bin/dozorira-batch" \
    -o "$work/large.sav" ./*.vty)
(cd "$work/large" && /usr/bin/time -f "%M KiB peak, %e s (with --report; under 256 MB)" \
    "$bin/dozorira-batch" -o "$work/large.dat" --report "$work/large.pdf" ./*.vty)
rm -rf "$work/large"

echo "== A 1 GiB task file without line ends"
truncate -s 1G "$work/huge.vty"
/usr/bin/time -f "%M KiB peak, %e s" "$bin/dozorira-batch" -o "$work/out.dat" "$work/huge.vty" || true

echo "== Two header lines, then 1 GiB without line ends"
printf 'Vantry\tsession\r\nrow\tlabel\r\n' >"$work/endless.vty"
truncate -s 1G "$work/endless.vty"
/usr/bin/time -f "%M KiB peak, %e s" "$bin/dozorira-batch" -o "$work/out.dat" "$work/endless.vty" || true

echo "== A task file of 100 000 data lines"
{
    printf 'Vantry\tsession\r\nrow\tlabel\tboxes\tcode\tfound\ttime\topen\topened\tlatency\trevisits\r\n'
    awk 'BEGIN { for (n = 0; n < 100000; n++) printf "%d\tc\t6\t1\tA\t900\t2\tBC\t800\t\r\n", n % 10 }'
} >"$work/long.vty"
/usr/bin/time -f "%M KiB peak, %e s" "$bin/dozorira-batch" -o "$work/out.dat" "$work/long.vty" || true
