#!/usr/bin/env bash
# Builds and runs the language file benchmark under Wine in the unit-test prefix of the build
# folder (made by scripts/test.sh). Prints figures only; nothing is checked against a limit.
# Usage: benchmarks/language_file_bench.sh        Build folder: $VLX_BUILD_DIR (default ./build)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VLX_BUILD_DIR:-$here/build}
cmake --build "$build" -j2 --target language_file_bench >/dev/null
source "$here/scripts/wine-lib.sh"
if [ ! -d "$build/wine-unit" ]; then
  vlx_make_template_prefix "$build/wine-template"
  vlx_clone_prefix "$build/wine-template" "$build/wine-unit"
fi
vlx_use_prefix "$build/wine-unit"
mkdir -p "$build/run"
cd "$build/run"
wine "$build/tests/language_file_bench.exe"
