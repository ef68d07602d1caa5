#!/usr/bin/env bash
# The main job: builds uninstall.exe and runs it in a scratch Wine prefix.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
bash scripts/ensure-tools.sh
build=${VLX_BUILD_DIR:-$here/build}
cmake -S . -B "$build" --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DVLX_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
echo "Built $build/uninstall.exe"
