#!/usr/bin/env bash
# Fuzzes every parser of the program with mutated inputs: the language file (8-bit and UTF-16),
# Vellox.ini, Uninstall.lst with the list walk (canaries around a scratch installation), and
# the command line with "sfxcmd". The inputs run in-process in tests/fuzz (vlx_fuzz.exe) under
# Wine, in a prefix and scratch folder of this run's own; every input is made from the seed, the
# parser and the iteration alone, so a failing one reruns by itself.
#
# Two more runs belong to it: the association give-back property over random starting
# registries (assoc: 1,000 registries from the seed, --registries R), and the interruption run
# (interrupt: Setup and Uninstall stopped after each of their changes, every stop point; see
# tests/e2e/interruption_run.sh). Both run after the parsers.
#
# Usage: scripts/fuzz.sh [--seed N] [--only P[,P...]] [--count C] [--iteration K]
#                        [--registries R] [--jobs J] [--no-build] [--keep]
#   parts P: lng8 lng16 ini lst cmd assoc interrupt (default: all)
#   --jobs J        parsers fuzzed at the same time (default 1; each waits mostly on the
#                   wine server, so a few at once finish sooner on a busy machine)
#   --count C       inputs per parser (default 100000)
#   --iteration K   runs input K alone (with the seed and parser of a failure report)
#   --no-build      use the program as built (the ctest entry passes it)
#   --keep          leave the scratch folder and prefix for a look
# Build folder: $VLX_BUILD_DIR (default ./build). Exit code 0 only when no input failed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VLX_BUILD_DIR:-$here/build}

seed=
only=lng8,lng16,ini,lst,cmd,assoc,interrupt
count=100000
registries=1000
iteration=
build_it=1
keep=0
jobs=1
while [ $# -gt 0 ]; do
  case $1 in
    --seed) seed=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --registries) registries=$2; shift 2 ;;
    --iteration) iteration=$2; shift 2 ;;
    --no-build) build_it=0; shift ;;
    --keep) keep=1; shift ;;
    --jobs) jobs=$2; shift 2 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
if [ -z "$seed" ]; then
  seed=$(( $(od -An -N4 -tu4 /dev/urandom) ))
fi
first=0
if [ -n "$iteration" ]; then
  first=$iteration
  count=1
fi

if [ "$build_it" = 1 ]; then
  bash "$here/scripts/ensure-tools.sh"
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" --toolchain "$here/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DVLX_BUILD_TESTS=ON >/dev/null
  fi
  cmake --build "$build" -j "$(nproc)" --target vlx_fuzz integration_tests uninstall \
    stopped_program vellox_standin reg_snapshot >/dev/null
fi
program="$build/tests/vlx_fuzz.exe"
[ -f "$program" ] || { echo "no $program: build it first" >&2; exit 2; }

source "$here/scripts/wine-lib.sh"
# tmpfs when there is one: the list walk creates and deletes files for every input.
base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base="$build"
work=$(mktemp -d "$base/vlx-fuzz.XXXXXX")
cleanup() {
  vlx_stop_server
  if [ "$keep" = 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 143' TERM INT  # a runner's time-out still removes the prefix and the scratch folder

# The run uses its own copy of the program, so that a rebuild meanwhile cannot touch it.
cp "$program" "$work/vlx_fuzz.exe"
program="$work/vlx_fuzz.exe"

vlx_make_template_prefix "$build/wine-template"
vlx_clone_prefix "$build/wine-template" "$work/wine"
vlx_use_prefix "$work/wine"
unset DISPLAY  # nothing is shown: message boxes are answered by the test seam
vlx_start_server
mkdir -p "$work/cwd"
cd "$work/cwd"
samples_win=$(vlx_winpath "$here/samples")

# Inputs per process: a crash costs only the rest of its chunk, and the list walk's link (which
# only the host can make) is put back between chunks.
chunk_of() {
  case $1 in
    lst) echo 1000 ;;
    *) echo 10000 ;;
  esac
}

echo "fuzz: seed $seed, $count inputs per parser (${only//,/ }), first iteration $first"

# fuzz_parser P: runs the inputs of one parser in chunks; prints its reports, writes its summary
# line to $work/P.summary and returns 1 when any input failed.
fuzz_parser() {
  local parser=$1
  local scratch="$work/scratch/$parser"
  mkdir -p "$scratch"
  local scratch_win chunk done_inputs=0 parser_failures=0 started next end n out rc result failed=0
  scratch_win=$(vlx_winpath "$scratch")
  chunk=$(chunk_of "$parser")
  started=$(date +%s%N)
  next=$first
  end=$((first + count))
  while [ "$next" -lt "$end" ]; do
    n=$((end - next))
    [ "$n" -gt "$chunk" ] && n=$chunk
    if [ "$parser" = lst ]; then
      # A link inside the installation that points at the canary folder beside it.
      mkdir -p "$scratch/lst/Vellox" "$scratch/lst/VelloxCanary"
      [ -L "$scratch/lst/Vellox/link" ] || ln -s ../VelloxCanary "$scratch/lst/Vellox/link"
    fi
    set +e
    out=$(timeout 900 wine "$program" --parser "$parser" --seed "$seed" --first "$next" \
      --count "$n" --scratch "$scratch_win" --samples "$samples_win" 2>&1)
    rc=$?
    set -e
    # Reports and notes of the program; the per-chunk RESULT lines are summed here.
    grep -v '^RESULT ' <<<"$out" | grep -v '^$' || true
    result=$(grep '^RESULT ' <<<"$out" || true)
    if [ -n "$result" ]; then
      parser_failures=$((parser_failures + $(awk '{print $10}' <<<"$result")))
      done_inputs=$((done_inputs + n))
      echo "$parser: $done_inputs of $count inputs, $parser_failures failed," \
        "$((($(date +%s%N) - started) / 1000000000)) s"
    fi
    if [ "$rc" -ne 0 ]; then
      failed=1
      [ -z "$result" ] && parser_failures=$((parser_failures + 1))
      case $rc in
        1|3|4) ;;  # failures, a crash or a hang: reported above with the iteration
        124) echo "HANG $parser seed $seed: the process ran past 900 s in iterations $next..$((next + n - 1))" ;;
        *) echo "CRASH $parser seed $seed: the process ended with code $rc in iterations $next..$((next + n - 1))" ;;
      esac
      grep -E '^(FAIL|CRASH|HANG) ' <<<"$out" | sed -n 's/.* iteration \([0-9]*\):.*/\1/p' | sort -un |
        head -5 | while read -r k; do
          echo "  rerun: scripts/fuzz.sh --seed $seed --only $parser --iteration $k"
        done
      # After a crash or a hang the rest of the chunk did not run: go on with the next one.
    fi
    next=$((next + n))
  done
  local ms rate
  ms=$((($(date +%s%N) - started) / 1000000))
  rate=$(awk -v n="$done_inputs" -v ms="$ms" 'BEGIN { printf "%.0f", (ms > 0) ? (n * 1000 / ms) : 0 }')
  printf '%-6s %8d inputs  %4d failed  %7.1f s  %6s inputs/s\n' "$parser" "$done_inputs" \
    "$parser_failures" "$(awk -v ms="$ms" 'BEGIN { print ms / 1000 }')" "$rate" >"$work/$parser.summary"
  return "$failed"
}

IFS=, read -r -a parts <<<"$only"
parsers=()
extras=()
for part in "${parts[@]}"; do
  case $part in
    lng8|lng16|ini|lst|cmd) parsers+=("$part") ;;
    assoc|interrupt) extras+=("$part") ;;
    *) echo "unknown part: $part" >&2; exit 2 ;;
  esac
done
started_all=$(date +%s)
failed=0
pids=()
for parser in "${parsers[@]}"; do
  if [ "$jobs" -le 1 ]; then
    fuzz_parser "$parser" || failed=1
    continue
  fi
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || failed=1; done
  fuzz_parser "$parser" &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done

# run_extra PART: the association property or the interruption run; a summary line as above.
run_extra() {
  local part=$1 started out rc=0
  started=$(date +%s)
  case $part in
    assoc)
      out=$(cd "$work/cwd" && VLX_PROPERTY_SEEDS=$registries VLX_PROPERTY_FIRST_SEED=$((seed % 1000000000 + 1)) \
        timeout 7200 wine "$build/tests/integration_tests.exe" \
        --gtest_filter='AssociationsProperty.*' 2>&1) || rc=$?
      grep -E 'seed [0-9]+ \(rerun|Failure' <<<"$out" | head -20 || true
      printf '%-9s %6d registries from seed %d  %s  %6d s\n' assoc "$registries" \
        "$((seed % 1000000000 + 1))" "$([ "$rc" = 0 ] && echo '0 failed' || echo FAILED)" \
        "$(($(date +%s) - started))" >"$work/$part.summary"
      ;;
    interrupt)
      out=$(VLX_BUILD_DIR=$build VLX_SOURCE_DIR=$here VLX_WINE_TEMPLATE=$build/wine-template \
        bash "$here/tests/e2e/interruption_run.sh" --every 2>&1) || rc=$?
      grep -E '^FAIL' <<<"$out" || true  # every failing stop point, one line each
      printf '%-9s %s\n' interrupt "$(grep '^interruption run:' <<<"$out" || echo 'no summary')" \
        >"$work/$part.summary"
      ;;
  esac
  return "$rc"
}
for part in "${extras[@]}"; do
  echo "fuzz: $part"
  run_extra "$part" || failed=1
  parsers+=("$part")
done

echo "fuzz: seed $seed, $(($(date +%s) - started_all)) s in all"
for parser in "${parsers[@]}"; do
  if [ -f "$work/$parser.summary" ]; then
    printf '  %s' "$(cat "$work/$parser.summary")"; echo
  else
    echo "  $parser: no summary (the run was cut short)"; failed=1
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "fuzz: FAILED"
  exit 1
fi
echo "fuzz: no crash, no hang, no broken property"
