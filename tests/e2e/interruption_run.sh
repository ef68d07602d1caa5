#!/usr/bin/env bash
# The interruption run: Setup and Uninstall stopped dead right after their k-th change (registry
# key or value, file, folder, shortcut), through tests/drivers/stopped_program.cpp, which is the
# program itself with one counting observer of the changes. After each stop the machine is
# brought back two ways, each from its own stop:
#   A  Uninstall run again (as long as the program and its list are still there to run it);
#   B  Setup run again (after the installation's files are put back, as a reinstall does) and
#      then Uninstall.
# Each way must leave the other programs' keys exactly as they were before the first Setup and
# nothing of Vellox behind: the registry keys that set-up touches and the files of drive C: are
# compared with their state before it. The removal script is not run (the command interpreter
# is a stand-in): after the last Uninstall only the program itself may be left in its folder,
# with the script beside in the temporary folder; both are then removed by hand.
#
# Usage: interruption_run.sh [--every | --points "K ..."] [--modes setup,uninstall] [--user]
#                            [--report F]
#   --every       every k from 1 to the number of changes of a full run (the default)
#   --points      these k only (the ctest slice); k beyond the last change are taken as the last
#   --user        every run with /user: a per-user installation, its keys under HKEY_CURRENT_USER
#   --report F    appends the figures (stop points, failures, time) to F
# Exit code 0 when no stop point failed.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"

points=
modes=setup,uninstall
scope=
report=
while [ $# -gt 0 ]; do
  case $1 in
    --every) points=; shift ;;
    --points) points=$2; shift 2 ;;
    --modes) modes=$2; shift 2 ;;
    --user) scope=/user; shift ;;
    --report) report=$2; shift 2 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

scn_require startup setup associations shortcuts uninstall_entry uninstall \
  program:Vellox.exe program:stopped_program.exe program:reg_snapshot.exe
e2e_init interruption_run
started=$(date +%s)

# --- Another program's keys and files, and the installation -------------------------------------
# An archiver that owns ".7z" and ".zip" (with its own "New" entry) and a disc tool that owns
# ".iso"; a shortcut of theirs in the Start menu.
e2e_reg add "$SCN_CLASSES\\.7z" /ve /d OtherArc.7z /f
e2e_reg add "$SCN_CLASSES\\.zip" /ve /d OtherArc.zip /f
e2e_reg add "$SCN_CLASSES\\.zip\\ShellNew" /v NullFile /d "" /f
e2e_reg add "$SCN_CLASSES\\OtherArc.7z\\shell\\open\\command" /ve /d 'otherarc.exe "%1"' /f
e2e_reg add "$SCN_CLASSES\\.iso" /ve /d DiscTool.Image /f
programs=$(e2e_unixpath 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')
mkdir -p "$programs/OtherArc" && printf 'stand-in shortcut' >"$programs/OtherArc/OtherArc.lnk"

# The removal script must not run: it would end the folder that the next round needs.
mkdir -p "$WINEPREFIX/drive_c/standin"
cp "$E2E_PROGRAMS/Vellox.exe" "$WINEPREFIX/drive_c/standin/interp.exe"
e2e_reg add 'HKCU\Environment' /v ComSpec /d 'C:\standin\interp.exe' /f
temp_unix=$(e2e_unixpath "$(wine cmd /c echo %TEMP% </dev/null 2>/dev/null | tr -d '\r')")

# snapshot PREFIX: the keys that set-up touches and the files of drive C:, without the record
# that the stand-in interpreter writes whenever (and as late as) it is started.
snapshot() {
  scn_snapshot "$1.reg"
  scn_file_snapshot "$1.files"
  sed -i '/^standin\/Vellox\.log$/d' "$1.files"
}
# The machine before the suite's files arrive: what every way back must reach.
snapshot "$E2E_DIR/baseline"
e2e_check "the baseline holds the other archiver's keys" grep -q OtherArc "$E2E_DIR/baseline.reg"
# stop_server: the prefix's server ends, with the registry written to its files.
stop_server() {
  vlx_stop_server
  wineserver -w </dev/null >/dev/null 2>&1 || true
}
baseline_prefix="$E2E_DIR/baseline-prefix"
stop_server
cp -a "$WINEPREFIX" "$baseline_prefix"
vlx_start_server

scn_make_install
cp "$E2E_PROGRAMS/stopped_program.exe" "$E2E_INSTALL/uninstall.exe"
pristine="$E2E_DIR/pristine"
cp -a "$E2E_INSTALL" "$pristine"

# put_back: the installation's files as the installer lays them out (a reinstall).
put_back() {
  mkdir -p "$E2E_INSTALL"
  cp -a "$pristine/." "$E2E_INSTALL/"
}

# run MODE [STOP]: one run of the program, stopped after change STOP when given. Sets E2E_RC.
run() {
  local mode=$1 stop=${2:-}
  local args=(/s $scope)
  [ "$mode" = setup ] && args=(/setup /s $scope)
  if [ -n "$stop" ]; then
    VLX_STOP_AFTER=$stop e2e_run 90 "$E2E_INSTALL_WIN\\uninstall.exe" "${args[@]}"
  else
    e2e_run 90 "$E2E_INSTALL_WIN\\uninstall.exe" "${args[@]}"
  fi
}

failures=0
checked=0
# fail_point TEXT: one failure of the run.
fail_point() {
  failures=$((failures + 1))
  e2e_fail "$1"
}

# settle LABEL: after the last Uninstall, only the program may be left in its folder and the
# script in the temporary folder; they go, and the machine must read as the baseline.
settle() {
  local label=$1 left
  left=$(cd "$E2E_INSTALL" 2>/dev/null && find . -mindepth 1 | sed 's|^\./||' | sort | tr '\n' ' ')
  rm -rf "$E2E_INSTALL"
  rm -f "$temp_unix"/Uninstall_Vlx*.Bat
  snapshot "$E2E_DIR/now"
  checked=$((checked + 1))
  if [ "$left" != "uninstall.exe " ] ||
    ! diff -q "$E2E_DIR/baseline.reg" "$E2E_DIR/now.reg" >/dev/null ||
    ! diff -q "$E2E_DIR/baseline.files" "$E2E_DIR/now.files" >/dev/null; then
    fail_point "$label: the machine is not as before (left in the folder: ${left:-nothing})"
    diff "$E2E_DIR/baseline.reg" "$E2E_DIR/now.reg" | head -20
    diff "$E2E_DIR/baseline.files" "$E2E_DIR/now.files" | head -10
    restore_baseline
  fi
}

# restore_baseline: after a failure the next stop point must not start from its leftovers: the
# whole prefix is put back from its copy at the baseline.
restore_baseline() {
  stop_server
  rm -rf "$WINEPREFIX"
  cp -a "$baseline_prefix" "$WINEPREFIX"
  vlx_start_server
}

# count MODE: the number of changes of a full run, from its administrator's log.
count_changes() {
  local log="$E2E_DIR/full-$1.log"
  rm -f "$log"
  put_back
  local args=(/s $scope)
  [ "$1" = setup ] && args=(/setup /s $scope)
  e2e_run 90 "$E2E_INSTALL_WIN\\uninstall.exe" "${args[@]}" "/log=$(e2e_winpath "$log")"
  grep -c -v -P '\t(start|exit)\t' "$log"
}

# The full runs first: they must themselves come back to the baseline. The first Setup on a
# fresh machine also creates the empty parent keys of other programs' handler lists (they are
# there on any Windows, and Uninstall leaves them); the second round counts the changes.
for round in 1 2; do
  setup_changes=$(count_changes setup)
  uninstall_changes=$(count_changes uninstall)
  settle "full setup and uninstall, round $round"
done
echo "changes of a full run: setup $setup_changes, uninstall $uninstall_changes"

points_for() {
  local total=$1
  if [ -z "$points" ]; then
    seq 1 "$total"
  else
    local k
    for k in $points; do
      [ "$k" -gt "$total" ] && k=$total
      echo "$k"
    done
  fi
}

# stop MODE K: brings the machine to the state of a run of MODE stopped after change K.
stop() {
  put_back
  [ "$1" = uninstall ] && run setup
  run "$1" "$2"
  [ "$E2E_RC" = 99 ] || fail_point "$1 stopped after change $2: exit code $E2E_RC, not 99"
}

stop_points=0
for mode in ${modes//,/ }; do
  total=$setup_changes
  [ "$mode" = uninstall ] && total=$uninstall_changes
  for k in $(points_for "$total"); do
    stop_points=$((stop_points + 1))
    before=$failures
    # A: Uninstall again, while there is a program and a list to run it with.
    stop "$mode" "$k"
    if [ -f "$E2E_INSTALL/uninstall.exe" ] && [ -f "$E2E_INSTALL/Uninstall.lst" ]; then
      run uninstall
      [ "$E2E_RC" = 0 ] || fail_point "$mode stop $k, uninstall again: exit code $E2E_RC"
    fi
    settle "$mode stopped after change $k, then uninstall"
    # B: Setup again (a reinstall), then Uninstall.
    stop "$mode" "$k"
    put_back
    run setup
    [ "$E2E_RC" = 0 ] || fail_point "$mode stop $k, setup again: exit code $E2E_RC"
    run uninstall
    [ "$E2E_RC" = 0 ] || fail_point "$mode stop $k, then uninstall: exit code $E2E_RC"
    settle "$mode stopped after change $k, then setup and uninstall"
    [ "$failures" = "$before" ] && e2e_pass "$mode stopped after change $k: both ways back"
  done
done

seconds=$(($(date +%s) - started))
summary="interruption run: $stop_points stop points (setup $setup_changes changes, uninstall \
$uninstall_changes), $checked checks, $failures failures, $seconds s"
echo "$summary"
[ -n "$report" ] && echo "$summary" >>"$report"
e2e_finish
