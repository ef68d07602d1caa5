#!/usr/bin/env bash
# Builds one benchmark program and runs it under Wine in the unit-test prefix of the build
# folder (made by scripts/test.sh, or here when missing). Prints figures only; nothing is
# checked against a limit.
# Usage: benchmarks/run_in_wine.sh TARGET [ARGS...]   Build folder: $VLX_BUILD_DIR (default ./build)
set -euo pipefail
target=$1
shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VLX_BUILD_DIR:-$here/build}
cmake --build "$build" -j2 --target "$target" >/dev/null
source "$here/scripts/wine-lib.sh"
if [ ! -d "$build/wine-unit" ]; then
  vlx_make_template_prefix "$build/wine-template"
  vlx_clone_prefix "$build/wine-template" "$build/wine-unit"
fi
vlx_use_prefix "$build/wine-unit"
mkdir -p "$build/run"
cd "$build/run"
wine "$build/tests/$target.exe" "$@"
