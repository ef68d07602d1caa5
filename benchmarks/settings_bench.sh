#!/usr/bin/env bash
# Builds and runs the settings-file benchmark under Wine. Prints figures only; nothing is checked
# against a limit.
# Usage: benchmarks/settings_bench.sh        Build folder: $VLX_BUILD_DIR (default ./build)
exec bash "$(dirname "${BASH_SOURCE[0]}")/run_in_wine.sh" settings_bench "$@"
