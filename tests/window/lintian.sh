#!/usr/bin/env bash
# Builds the Debian package as `make package` does, into a scratch folder, and fails on any error
# or warning that lintian finds in it. Usage: lintian.sh CPACK CPackConfig.cmake
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$1" -G DEB --config "$2" -B "$scratch" >"$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    exit 1
}
packages=("$scratch"/*.deb)
# Root is warned against running lintian; the warning says nothing about the package.
lintian --fail-on error,warning --info "${packages[@]}" 2> >(grep -v 'root privileges' >&2)
