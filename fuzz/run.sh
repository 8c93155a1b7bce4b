#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each: fuzz/run.sh BUILD_DIR SECONDS
# The corpora grow in BUILD_DIR/corpus/ from the task files of tests/data/; inputs that fail are
# kept in BUILD_DIR/findings/.
set -euo pipefail
build=$1
seconds=$2
source_dir="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$build/corpus/task_file" "$build/corpus/selection" "$build/findings"
for seed in "$source_dir"/tests/data/*.vty "$source_dir"/tests/data/warnings/*.vty; do
    [ -e "$build/corpus/task_file/$(basename "$seed")" ] || cp "$seed" "$build/corpus/task_file/"
done
printf '/home/lab/pp01.vty' >"$build/corpus/selection/one"
printf '/home/lab\0pp01.vty\0pp02.vty\0' >"$build/corpus/selection/several"

export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-/usr/lib/llvm-14/bin/llvm-symbolizer}
status=0
for target in task_file selection; do
    log="$build/${target}.log"
    echo "== ${target}_fuzzer, ${seconds} s (full log: $log)"
    "$build/bin/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/findings/${target}-" "$build/corpus/$target" >"$log" 2>&1 ||
        status=1
    grep -E 'DONE|stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY|written to' \
        "$log" || true
done
exit $status
