#!/usr/bin/env bash
# Builds everything and runs the whole test suite (unit tests under Wine, end-to-end scenarios).
# Usage: scripts/test.sh [ctest arguments...]    Build folder: $VLX_BUILD_DIR (default ./build)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
bash scripts/ensure-tools.sh

build=${VLX_BUILD_DIR:-$here/build}
cmake -S . -B "$build" --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DVLX_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

source scripts/wine-lib.sh
# One template prefix per build folder; tests that need a prefix of their own copy it.
vlx_make_template_prefix "$build/wine-template"
vlx_clone_prefix "$build/wine-template" "$build/wine-unit"
vlx_use_prefix "$build/wine-unit"
export VLX_WINE_TEMPLATE="$build/wine-template"

cleanup() {
  vlx_stop_server
  vlx_stop_xvfb
}
trap cleanup EXIT
vlx_start_xvfb
vlx_start_server

# The unit tests run from an empty scratch folder: nothing a test does can touch the tree.
mkdir -p "$build/run"
cd "$build/run"
ctest --test-dir "$build" --output-on-failure "$@"
