#!/usr/bin/env bash
# Setup benchmark: a silent Setup with everything on (every association, desktop and Start-menu
# shortcuts, program group, shell extension, cascaded menu, menu icons) on a fresh copy of the
# template prefix, against its floor and a peer doing the same work:
#   - program: uninstall.exe /setup /s /initA...D1M1P1S1C1I1, run from the installation folder;
#   - floor:   benchmarks/setup_floor_bench.cpp replaying exactly the changes that the program's
#              own /log lists, with plain Win32 calls;
#   - nsis:    an installer built with NSIS (makensis, 64-bit Unicode target) from a script the
#              floor program writes from the same log: the same registry writes, files,
#              folders, shortcuts and shell notifications.
# First, untimed: the program runs with /log on a fresh prefix; the floor and the peer are made
# from that log and each run once on a fresh prefix; all three must leave the same registry
# (exports of HKEY_LOCAL_MACHINE\Software and HKEY_CURRENT_USER) and the same files of drive C:
# (path, size and bytes; a shortcut by the fields it holds, as the shell reads them), or nothing
# is timed. Then the three are timed interleaved, each round on fresh prefix copies in
# a rotating order, wall clock of the process with a persistent wine server and a virtual
# display; medians, each figure as a ratio to the floor of the same run, and the median of the
# rounds' own ratios (program and peer against the floor run of the same round).
# Usage: benchmarks/setup_bench.sh [rounds]    (default 21)    Needs a build and makensis.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${1:-21}
command -v makensis >/dev/null || bash "$here/scripts/ensure-tools.sh" nsis
# shellcheck source=../tests/e2e/scenario-lib.sh
source "$here/tests/e2e/scenario-lib.sh"
e2e_init setup_bench

template=${VLX_WINE_TEMPLATE:-$VLX_BUILD_DIR/wine-template}
all_on=/initA111111111111111111D1M1P1S1C1I1
bench="$E2E_DIR/bench"
mkdir -p "$bench"
cp "$E2E_PROGRAMS/setup_floor_bench.exe" "$bench/"
bench_win=$(e2e_winpath "$bench")

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ms_of() { printf '%.0f' "$(echo "$1 * 1000" | bc)"; }

# fresh: a new copy of the template prefix with its own server and the sample installation.
fresh() {
  wineserver -k </dev/null >/dev/null 2>&1
  vlx_clone_prefix "$template" "$E2E_DIR/wine"
  vlx_start_server
  scn_make_install
}

# run_one WHO [ARGS...]: one run of the program, the floor or the peer; sets E2E_RC, E2E_SECONDS.
run_one() {
  local who=$1
  shift
  case $who in
    program) scn_setup /s "$all_on" "$@" ;;
    floor) e2e_run 90 "$bench/setup_floor_bench.exe" "$bench_win\\setup.replay" ;;
    nsis) e2e_run 90 "$bench/nsis_setup.exe" /S ;;
  esac
}

# link_fields PATH: the fields of the shortcut at PATH (below drive C:), one line joined by "|".
# A reader that came back with nothing (a wine start that failed) is asked once more.
link_fields() {
  local fields try
  for try in 1 2; do
    fields=$(wine "$E2E_PROGRAMS/read_shell_link.exe" "$(e2e_winpath "$WINEPREFIX/drive_c/$1")" \
      </dev/null 2>/dev/null | tr -d '\r' | paste -s -d '|')
    [ -n "$fields" ] && break
  done
  printf '%s' "$fields"
}

# state NAME: both hives as exported text, and drive C: outside the Windows and temporary
# folders with size and a digest of each file; of a shortcut the fields the shell reads from it
# (its bytes also hold the times of its target, which differ from one prefix to the next).
state() {
  local part
  for part in 'HKEY_LOCAL_MACHINE\Software' HKEY_CURRENT_USER; do
    wine reg export "$part" "$bench_win\\export.reg" /y </dev/null >/dev/null 2>&1
    iconv -f UTF-16LE -t UTF-8 "$bench/export.reg" | tr -d '\r'
  done >"$bench/$1.reg"
  (cd "$WINEPREFIX/drive_c" && find . -mindepth 1 -path ./windows -prune -o \
    -path '*/AppData/Local/Temp' -prune -o -path './users/*/Temp' -prune -o -print |
    LC_ALL=C sort | while IFS= read -r f; do
      if [ -d "$f" ]; then
        printf '%s\tfolder\n' "$f"
      elif [[ $f == *.lnk ]]; then
        printf '%s\t%s\n' "$f" "$(link_fields "$f")"
      else
        printf '%s\t%s\t%s\n' "$f" "$(stat -c %s "$f")" "$(md5sum <"$f" | cut -c1-32)"
      fi
    done) >"$bench/$1.files"
}

# same A B: the two states are equal; prints the first differences otherwise.
same() {
  local ok=0
  diff "$bench/$1.reg" "$bench/$2.reg" >"$bench/diff" || ok=1
  diff "$bench/$1.files" "$bench/$2.files" >>"$bench/diff" || ok=1
  [ "$ok" = 0 ] || { echo "$2 differs from $1:" >&2; head -20 "$bench/diff" >&2; }
  return "$ok"
}

# --- Untimed: the log, the floor and the peer made from it, and the check of all three -------
fresh
run_one program "/log=$bench_win\\setup.log"
[ "$E2E_RC" = 0 ] || { echo "the logged setup exited with $E2E_RC" >&2; exit 1; }
state program
wine "$bench/setup_floor_bench.exe" prepare "$bench_win\\setup.log" "$bench_win\\setup.replay" \
  "$bench_win\\setup.nsi" "$bench_win" </dev/null >/dev/null 2>"$bench/prepare.err" ||
  { cat "$bench/prepare.err" >&2; exit 1; }
(cd "$bench" && makensis -V1 setup.nsi >/dev/null) || { echo "makensis failed" >&2; exit 1; }
for who in floor nsis; do
  fresh
  run_one "$who"
  [ "$E2E_RC" = 0 ] || { echo "$who exited with $E2E_RC" >&2; exit 1; }
  state "$who"
  same program "$who" || exit 1
done
keys=$(grep -c '	key-created	' "$bench/setup.log")
values=$(grep -c '	value-set	' "$bench/setup.log")
links=$(grep -c '	file-created	.*	target=' "$bench/setup.log")
files=$(($(grep -c '	file-created	' "$bench/setup.log") - links))
echo "checked: floor and nsis leave the registry and files the program leaves ($keys keys," \
  "$values values, $files files, $links shortcuts)"

# --- Timed, interleaved ------------------------------------------------------------------------
# Each round runs all three back to back, so that they share the machine's load of that moment;
# besides the medians, the median of each round's own ratio to its floor run is printed.
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
contestants=(program floor nsis)
declare -A times round ratios
for r in $(seq 1 "$rounds"); do
  for i in 0 1 2; do
    who=${contestants[$(((i + r) % 3))]}
    fresh
    run_one "$who"
    [ "$E2E_RC" = 0 ] || echo "$who exited with $E2E_RC" >&2
    round[$who]=$(ms_of "$E2E_SECONDS")
    times[$who]="${times[$who]:-} ${round[$who]}"
  done
  for who in floor nsis program; do
    ratios[$who]="${ratios[$who]:-} $(awk -v m="${round[$who]}" -v f="${round[floor]}" \
      'BEGIN {printf "%.3f", m / f}')"
  done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
floor=$(printf '%s\n' ${times[floor]} | median)
for who in floor nsis program; do
  m=$(printf '%s\n' ${times[$who]} | median)
  printf '%-8s %6d ms  %5s x floor  rounds: %5.2f x floor  (median of %d:%s)\n' "$who" "$m" \
    "$(awk -v m="$m" -v f="$floor" 'BEGIN {printf "%.2f", m / f}')" \
    "$(printf '%s\n' ${ratios[$who]} | median)" "$rounds" "${times[$who]}"
done
echo "load average (1, 5, 15 min) before: $load_before, after: $load_after; $(nproc) cores"
E2E_FINISHED=1
