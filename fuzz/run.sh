#!/usr/bin/env bash
# Runs every fuzz target for SECONDS, side by side: fuzz/run.sh BUILD_DIR SECONDS
# The corpora grow in BUILD_DIR/corpus/ from the task files of tests/data/; inputs that fail are
# kept in BUILD_DIR/findings/.
set -euo pipefail
build=$1
seconds=$2
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
targets=(task_file selection line_fields)
mkdir -p "$build/corpus/task_file" "$build/corpus/selection" "$build/corpus/line_fields" \
    "$build/findings"
for seed in "$source_dir"/tests/data/*.vty "$source_dir"/tests/data/warnings/*.vty; do
    for target in task_file line_fields; do
        [ -e "$build/corpus/$target/$(basename "$seed")" ] || cp "$seed" "$build/corpus/$target/"
    done
done
printf '/home/lab/pp01.vty' >"$build/corpus/selection/one"
printf '/home/lab\0pp01.vty\0pp02.vty\0' >"$build/corpus/selection/several"

export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-/usr/lib/llvm-14/bin/llvm-symbolizer}
echo "== ${targets[*]/%/_fuzzer}: ${seconds} s each, side by side (full logs: $build/*.log)"
pids=()
for target in "${targets[@]}"; do
    "$build/bin/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/findings/${target}-" "$build/corpus/$target" \
        >"$build/${target}.log" 2>&1 &
    pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
    wait "${pids[i]}" || status=1
    echo "== ${targets[i]}_fuzzer"
    grep -E 'DONE|stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY|written to' \
        "$build/${targets[i]}.log" || true
done
exit $status
