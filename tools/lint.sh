#!/usr/bin/env bash
# Static analysis of the project: clang-tidy over every project source in the compile database,
# then cppcheck. Usage: tools/lint.sh BUILD_DIR
# The analysis reads each source on its own, from a compile database of its own in BUILD_DIR/lint:
# the build compiles its sources in batches, which the database would list instead.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
jobs=${JOBS:-$(nproc)}
database="$build/lint"

# The window needs Qt; when it cannot be configured, the rest is still checked.
configure() {
    cmake -S . -B "$database" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DCMAKE_UNITY_BUILD=OFF \
        -DDOZORIRA_BENCH=OFF "$@" >/dev/null
}
configure || configure -DDOZORIRA_WINDOW=OFF
# Generated moc and ui headers must exist before the sources that include them can be parsed.
cmake --build "$database" --target help | sed -n 's/^\.\.\. \(.*_autogen\)$/\1/p' |
    while read -r target; do cmake --build "$database" --target "$target" >/dev/null; done

mapfile -t sources < <(sed -n 's|^ *"file": "'"$PWD"'/\(.*\)",\{0,1\}$|\1|p' \
    "$database/compile_commands.json" | grep -E '^(engine|study|files|output|report|cli|window|app)/' | sort -u)
echo "clang-tidy: ${#sources[@]} files, $jobs at a time"
# clang-tidy counts what it suppresses in system headers on stderr; only its findings matter.
printf '%s\0' "${sources[@]}" |
    xargs -0 -n 1 -P "$jobs" clang-tidy-14 -p "$database" --quiet 2> >(grep -v 'warnings generated' >&2)

echo "cppcheck"
dirs=()
for dir in engine study files output report cli window app fuzz; do [ -d "$dir" ] && dirs+=("$dir"); done
cppcheck --quiet --std=c++20 --language=c++ --enable=warning,performance,portability \
    --error-exitcode=1 --inline-suppr --suppress=missingIncludeSystem -I engine -I study -I files -I output -I report -I cli \
    "${dirs[@]}"

echo "clang-format"
git ls-files '*.cpp' '*.h' | xargs clang-format-14 --dry-run --Werror
