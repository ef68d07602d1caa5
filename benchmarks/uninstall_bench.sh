#!/usr/bin/env bash
# Uninstall benchmark: deletes a generated installation of 20,000 files in 155 folders (depth 3)
# on tmpfs, with the folders listed first and with the files listed first, and compares the
# uninstaller's list walks with a minimal program that deletes each entry once, children first,
# both list orders in the same run.
# Usage: benchmarks/uninstall_bench.sh [rounds]     Needs a build (scripts/test.sh) first.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VLX_BUILD_DIR:-$here/build}
rounds=${1:-3}
source "$here/scripts/wine-lib.sh"

shm=/dev/shm
[ -d "$shm" ] && [ -w "$shm" ] || { echo "no writable tmpfs at $shm" >&2; exit 1; }
work=$(mktemp -d "$shm/vlx-uninstall-bench.XXXXXX")
prefix_dir="$work/wine"
cleanup() {
  vlx_stop_server
  rm -rf "$work"
}
trap cleanup EXIT

vlx_make_template_prefix "$build/wine-template"
vlx_clone_prefix "$build/wine-template" "$prefix_dir"
vlx_use_prefix "$prefix_dir"
unset DISPLAY
vlx_start_server
cp "$build/tests/uninstall_bench.exe" "$build/tests/minimal_delete_bench.exe" "$work/"
mkdir -p "$work/cwd"
cd "$work/cwd"

# Folders: 5 at the top, 5 in each of those, 5 in each of those: 155 in 3 levels. 20,000 files
# spread over all of them. Lists are written both ways round.
generate() {
  local root=$1
  rm -rf "$root"
  mkdir -p "$root"
  python3 - "$root" <<'PY'
import os, sys
root = sys.argv[1]
folders = []
for a in range(5):
    folders.append(f"dir{a}")
    for b in range(5):
        folders.append(f"dir{a}\\sub{b}")
        for c in range(5):
            folders.append(f"dir{a}\\sub{b}\\leaf{c}")
assert len(folders) == 155
files = []
for i in range(20000):
    files.append(f"{folders[i % len(folders)]}\\file{i:05d}.dat")
for f in folders:
    os.makedirs(os.path.join(root, f.replace("\\", "/")), exist_ok=True)
for f in files:
    with open(os.path.join(root, f.replace("\\", "/")), "wb") as h:
        h.write(b"x" * 64)
with open(os.path.join(os.path.dirname(root), "folders-first.lst"), "w", newline="") as h:
    h.write("".join(x + "\r\n" for x in folders + files))
with open(os.path.join(os.path.dirname(root), "files-first.lst"), "w", newline="") as h:
    h.write("".join(x + "\r\n" for x in files + folders))
PY
}

ms_of() { sed -n 's/.* ms \([0-9.]*\).*/\1/p'; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

root="$work/inst"
root_win=$(vlx_winpath "$root")
for order in folders-first files-first; do
  list_win=$(vlx_winpath "$work/$order.lst")
  ours=() minimal=() pairs=()
  for r in $(seq 1 "$rounds"); do
    # The two programs of a round run back to back, which goes first alternating by round;
    # the ratio of each pair is kept too, since the machine's load drifts between rounds.
    for who in $( ((r % 2)) && echo "ours minimal" || echo "minimal ours"); do
      generate "$root"
      if [ "$who" = ours ]; then
        out=$(wine "$work/uninstall_bench.exe" "$root_win" "$list_win")
        walks=$(echo "$out" | sed -n 's/walks \([0-9]*\).*/\1/p')
      else
        out=$(wine "$work/minimal_delete_bench.exe" "$root_win" "$list_win")
      fi
      left=$(find "$root" -mindepth 1 | wc -l)
      [ "$left" -eq 0 ] || { echo "$who left $left entries" >&2; exit 1; }
      ms=$(echo "$out" | ms_of)
      if [ "$who" = ours ]; then ours+=("$ms"); else minimal+=("$ms"); fi
    done
    pairs+=("$(awk -v o="${ours[-1]}" -v m="${minimal[-1]}" 'BEGIN {printf "%.3f", o / m}')")
  done
  o=$(printf '%s\n' "${ours[@]}" | median)
  m=$(printf '%s\n' "${minimal[@]}" | median)
  ratio=$(awk -v o="$o" -v m="$m" 'BEGIN {printf "%.2f", o / m}')
  paired=$(printf '%s\n' "${pairs[@]}" | median)
  echo "  rounds: ours ${ours[*]} minimal ${minimal[*]}" >&2
  printf '%-13s walks %s  uninstall %8.1f ms  minimal %8.1f ms  ratio %s  median ratio of the pairs %.2f  (median of %s)\n' \
    "$order" "$walks" "$o" "$m" "$ratio" "$paired" "$rounds"
done
