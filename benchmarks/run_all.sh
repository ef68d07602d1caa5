#!/usr/bin/env bash
# Runs every benchmark of the suite once and prints the figures side by side:
#   1. uninstall of 20,000 files (both list orders): the uninstaller's list walks, the minimal
#      delete loop, and an uninstaller built with NSIS deleting the same files;
#   2. start-up to exit of "uninstall.exe /foo" against a trivial GUI program;
#   3. silent setup with everything on (/setup /s with every association, shortcut and shell
#      option chosen) on clean prefixes, against its floor (a bare program making exactly the
#      changes of the program's own log) and an NSIS installer doing the same work;
#   4. language file parse (2 MiB file) and lookups.
# Usage: bash benchmarks/run_all.sh [rounds]    (default 3, but at least 9 for section 1 and 21
# for section 3; medians are printed)
# Needs nothing but Debian: installs the tools (and nsis) when missing, builds what it runs.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
rounds=${1:-3}
bash scripts/ensure-tools.sh nsis bc
build=${VLX_BUILD_DIR:-$here/build}
export VLX_BUILD_DIR=$build VLX_SOURCE_DIR=$here
cmake -S . -B "$build" --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DVLX_BUILD_TESTS=ON >/dev/null
targets=(uninstall trivial_gui vellox_standin reg_snapshot read_shell_link)
for t in uninstall_bench minimal_delete_bench setup_floor_bench language_file_bench; do
  [ -f "benchmarks/$t.cpp" ] && targets+=("$t")
done
cmake --build "$build" -j 2 --target "${targets[@]}" >/dev/null

echo "Benchmarks of $(git -C "$here" describe --always --dirty 2>/dev/null || echo 'this tree'), \
$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(wine --version 2>/dev/null), rounds: $rounds"
echo "Load average (1, 5, 15 min) at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "== 1. Uninstall of 20,000 files in 155 folders (tmpfs)"
if [ -f benchmarks/uninstall_bench.sh ] && [ -f benchmarks/uninstall_bench.cpp ]; then
  # Pairs of at least 9 rounds: two runs of the same 20,000 deletions a minute apart differ by
  # more than the uninstaller differs from its floor.
  bash benchmarks/uninstall_bench.sh "$((rounds > 9 ? rounds : 9))" 2>/dev/null
else
  echo "uninstall_bench is not in this tree"
fi
bash benchmarks/nsis_delete_bench.sh "$rounds" 2>/dev/null

# Section 2 runs the program in a scratch prefix of its own with its own wine server
# and virtual display (the helpers of the end-to-end scenarios), removed at the end.
# shellcheck source=../tests/e2e/scenario-lib.sh
source "$here/tests/e2e/scenario-lib.sh"
set +e
e2e_init benchmarks
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ms_now() { date +%s%N | cut -c1-13; }

echo
echo "== 2. Start-up to exit (wall clock per run, persistent wine server, virtual display)"
startup_rounds=$((rounds * 7))
for program in trivial_gui uninstall; do
  exe="$E2E_PROGRAMS/trivial_gui.exe"
  args=()
  if [ "$program" = uninstall ]; then
    exe="$E2E_UNINSTALL_EXE"
    args=(/foo)
  fi
  wine "$exe" "${args[@]}" </dev/null >/dev/null 2>&1  # warm the file cache
  times=()
  for r in $(seq 1 "$startup_rounds"); do
    start=$(ms_now)
    wine "$exe" "${args[@]}" </dev/null >/dev/null 2>&1
    times+=($(($(ms_now) - start)))
  done
  printf '%-24s %6d ms  (median of %d; min %d, max %d)\n' \
    "$(basename "$exe") ${args[*]:-}" "$(printf '%s\n' "${times[@]}" | median)" \
    "$startup_rounds" "$(printf '%s\n' "${times[@]}" | sort -n | head -1)" \
    "$(printf '%s\n' "${times[@]}" | sort -n | tail -1)"
done

E2E_FINISHED=1

echo
echo "== 3. Silent setup with everything on: the program against its floor and the NSIS peer"
# Medians of at least 21: a single Setup varies more from run to run than a start-up does (a
# program's own start under Wine alone varies by some 50 ms from one run to the next).
bash "$here/benchmarks/setup_bench.sh" "$((rounds > 21 ? rounds : 21))" 2>&1 | grep -v '^Scratch folder'

echo
echo "== 4. Language file"
if [ -f "$here/benchmarks/language_file_bench.sh" ]; then
  bash "$here/benchmarks/language_file_bench.sh" 2>/dev/null
else
  echo "language_file_bench is not in this tree"
fi
