#!/usr/bin/env bash
# Deletes the same generated installation as uninstall_bench.sh (20,000 files of 64 bytes in 155
# folders, 3 levels, on tmpfs) with an uninstaller built by NSIS (makensis, 64-bit Unicode
# target): one Delete per file, then RMDir per folder, deepest first, as an NSIS uninstaller
# is written. Prints the wall-clock time of the NSIS program, the wall-clock time of an NSIS
# program that deletes nothing (its start-up floor) and their difference, as medians.
# Usage: benchmarks/nsis_delete_bench.sh [rounds]     Installs nsis when makensis is missing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VLX_BUILD_DIR:-$here/build}
rounds=${1:-3}
command -v makensis >/dev/null || bash "$here/scripts/ensure-tools.sh" nsis
source "$here/scripts/wine-lib.sh"

shm=/dev/shm
[ -d "$shm" ] && [ -w "$shm" ] || { echo "no writable tmpfs at $shm" >&2; exit 1; }
work=$(mktemp -d "$shm/vlx-nsis-bench.XXXXXX")
cleanup() {
  vlx_stop_server
  rm -rf "$work"
}
trap cleanup EXIT

vlx_make_template_prefix "$build/wine-template"
vlx_clone_prefix "$build/wine-template" "$work/wine"
vlx_use_prefix "$work/wine"
unset DISPLAY
vlx_start_server
mkdir -p "$work/cwd"
cd "$work"

# The tree and the two NSIS scripts (the deleting one and the empty one).
python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
folders = []
for a in range(5):
    folders.append(f"dir{a}")
    for b in range(5):
        folders.append(f"dir{a}\\sub{b}")
        for c in range(5):
            folders.append(f"dir{a}\\sub{b}\\leaf{c}")
files = [f"{folders[i % len(folders)]}\\file{i:05d}.dat" for i in range(20000)]
with open(os.path.join(work, "tree.txt"), "w") as h:
    h.write("\n".join(folders) + "\n")
    h.write("\n".join(files) + "\n")
head = ('Unicode true\nTarget amd64-unicode\nName "delete benchmark"\nSilentInstall silent\n'
        'RequestExecutionLevel user\nCRCCheck off\nInstallDir "C:\\unused"\n')
deepest_first = sorted(folders, key=lambda f: -f.count("\\"))
with open(os.path.join(work, "delete.nsi"), "w", newline="\r\n") as h:
    h.write(head + 'OutFile "nsis_delete.exe"\nSection\n')
    for f in files:
        h.write(f'  Delete "$INSTDIR\\{f}"\n')
    for f in deepest_first:
        h.write(f'  RMDir "$INSTDIR\\{f}"\n')
    h.write("SectionEnd\n")
with open(os.path.join(work, "empty.nsi"), "w", newline="\r\n") as h:
    h.write(head + 'OutFile "nsis_empty.exe"\nSection\nSectionEnd\n')
PY
makensis -V1 "$work/delete.nsi" >/dev/null
makensis -V1 "$work/empty.nsi" >/dev/null

generate() {
  rm -rf "$work/inst"
  mkdir -p "$work/inst"
  (cd "$work/inst" && python3 - "$work/tree.txt" <<'PY'
import os, sys
lines = open(sys.argv[1]).read().split("\n")
folders = [l for l in lines if l and not l.endswith(".dat")]
files = [l for l in lines if l.endswith(".dat")]
for f in folders:
    os.makedirs(f.replace("\\", "/"), exist_ok=True)
for f in files:
    with open(f.replace("\\", "/"), "wb") as h:
        h.write(b"x" * 64)
PY
  )
}

ms_now() { date +%s%N | cut -c1-13; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
inst_win=$(vlx_winpath "$work/inst")
cd "$work/cwd"
full=() empty=()
for r in $(seq 1 "$rounds"); do
  generate
  start=$(ms_now)
  wine "$work/nsis_delete.exe" /S "/D=$inst_win" </dev/null >/dev/null 2>&1
  stop=$(ms_now)
  left=$(find "$work/inst" -mindepth 1 | wc -l)
  [ "$left" -eq 0 ] || { echo "the NSIS program left $left entries" >&2; exit 1; }
  full+=($((stop - start)))
  start=$(ms_now)
  wine "$work/nsis_empty.exe" /S "/D=$inst_win" </dev/null >/dev/null 2>&1
  stop=$(ms_now)
  empty+=($((stop - start)))
done
f=$(printf '%s\n' "${full[@]}" | median)
e=$(printf '%s\n' "${empty[@]}" | median)
echo "  rounds: nsis ${full[*]} empty nsis ${empty[*]}" >&2
printf 'nsis          wall %8d ms  start-up floor %5d ms  net %8d ms  (median of %s)\n' \
  "$f" "$e" $((f - e)) "$rounds"
