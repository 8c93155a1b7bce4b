#!/usr/bin/env bash
# Static analysis of the project: clang-tidy over every project source in the compile database,
# then cppcheck. Usage: tools/lint.sh BUILD_DIR
# BUILD_DIR may be the tree that `make build` left: its settings stay, and what it has built
# already (the generated moc headers) is reused.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-lint}
jobs=${JOBS:-$(nproc)}

# The window needs Qt; when it cannot be configured, the rest is still checked.
configure() { cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@" >/dev/null; }
configure || configure -DDOZORIRA_WINDOW=OFF
# Generated moc and ui headers must exist before the sources that include them can be parsed.
cmake --build "$build" --target help | sed -n 's/^\.\.\. \(.*_autogen\)$/\1/p' |
    while read -r target; do cmake --build "$build" --target "$target" >/dev/null; done

# The build's precompiled headers are GCC's, which clang cannot load: clang-tidy reads the sources
# with their own includes only.
database="$build/lint"
mkdir -p "$database"
sed 's| -Winvalid-pch -include [^ ]*/cmake_pch\.hxx||' "$build/compile_commands.json" \
    >"$database/compile_commands.json"

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
