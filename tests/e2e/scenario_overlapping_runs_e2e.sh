#!/usr/bin/env bash
# Unattended runs that overlap, as deployment tools start them: a repair (a silent Setup over
# the installation) and a silent removal 0.2 s apart, in both orders and twice each; a silent
# removal retried at once; two installations removed back to back. One run at a time: no run
# shows a window, and the machine ends either installed and removable through its entry, or
# removed completely, with the other archiver's keys byte for byte as before.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup uninstall self_removal uninstall_entry program:Vellox.exe \
  program:reg_snapshot.exe program:run_command_line.exe
e2e_init scenario_overlapping_runs
runner="$E2E_PROGRAMS/run_command_line.exe"

# Another archiver owns .zip before the suite comes.
e2e_reg add 'HKLM\Software\Classes\.zip' /ve /d OtherArc.zip /f
e2e_reg add 'HKLM\Software\Classes\OtherArc.zip\shell\open\command' /ve /d '"C:\Other\o.exe" "%1"' /f
scn_snapshot "$E2E_DIR/before"
scn_file_snapshot "$E2E_DIR/files-before"

# start_silent COMMAND_LINE: starts a run in the background through the runner, which prints
# the whole exit code (wine hands a Unix parent only its low eight bits); its pid goes to PIDS.
PIDS=()
start_silent() {
  wine "$runner" "$1" </dev/null >"$E2E_DIR/code.${#PIDS[@]}" 2>/dev/null &
  PIDS+=($!)
}
# wait_all_watched LIMIT: waits for every run of PIDS, watching the screen; WINDOWS holds the
# titles of visible windows seen meanwhile; RCS the exit codes in start order. A window that
# waits for an answer would keep its run going: once one is seen, or after LIMIT seconds, the
# runs get five more seconds and are then ended with the rest of the prefix's processes.
wait_all_watched() {
  local i pid id running deadline=$(($1 * 10))
  WINDOWS=
  RCS=()
  for ((i = 0; i < deadline; i++)); do
    running=0
    for pid in "${PIDS[@]}"; do kill -0 "$pid" 2>/dev/null && running=1; done
    [ "$running" = 1 ] || break
    id=$(xdotool search --onlyvisible --name . 2>/dev/null | head -n 1)
    if [ -n "$id" ] && [ -z "$WINDOWS" ]; then
      WINDOWS="$(xdotool getwindowname "$id" 2>/dev/null);"
      deadline=$((i + 50))
    fi
    sleep 0.1
  done
  [ "$running" = 1 ] && e2e__restart_server
  local n
  for n in "${!PIDS[@]}"; do
    wait "${PIDS[$n]}" 2>/dev/null || true
    RCS+=("$(scn_printed_code "$E2E_DIR/code.$n")")
  done
  PIDS=()
}

# check_end ROUND: the machine is installed with a working entry, or removed. An installed
# machine is then removed through the entry's quiet command. Either way it must end exactly as
# before the suite came, the folder gone and no script left behind.
check_end() {
  local entry
  entry=$(scn_value "$SCN_UNINSTALL_KEY" QuietUninstallString)
  if [ "$entry" != "<missing>" ]; then
    e2e_check "$1: an entry that stays names a program that is there" \
      test -f "$E2E_INSTALL/uninstall.exe"
    e2e_check "$1: an installation that stays still has its list" test -f "$E2E_INSTALL/Uninstall.lst"
    e2e_run 90 "$runner" "$entry"
    e2e_check_eq "$1: the entry's quiet command removes it, exit code 0" 0 "$E2E_RC"
  fi
  e2e_check "$1: the installation folder is gone" scn_wait_gone "$E2E_INSTALL" 60
  e2e_check "$1: no removal script is left" e2e_wait_for 30 scn_no_temp_script
  scn_snapshot "$E2E_DIR/after"
  scn_check_same "$1: every key as before the suite came" "$E2E_DIR/before" "$E2E_DIR/after"
  scn_file_snapshot "$E2E_DIR/files-after"
  scn_check_same "$1: drive C: as before" "$E2E_DIR/files-before" "$E2E_DIR/files-after"
}

setup_args='/setup /s /noexplorer /initA11D1M1P1S1'
for round in setup-first uninstall-first setup-first uninstall-first; do
  scn_make_install
  scn_setup /s /noexplorer /initA11D1M1P1S1
  e2e_check_eq "$round: the first setup exits with 0" 0 "$E2E_RC"
  program="\"$E2E_INSTALL_WIN\\uninstall.exe\""
  if [ "$round" = setup-first ]; then
    cd "$E2E_INSTALL" && start_silent "$program $setup_args"
    cd "$E2E_CWD" && sleep 0.2
    start_silent "$program /s"
  else
    start_silent "$program /s"
    sleep 0.2
    cd "$E2E_INSTALL" && start_silent "$program $setup_args"
    cd "$E2E_CWD" || exit 1
  fi
  wait_all_watched 150
  e2e_check_eq "$round: no run shows a window" "" "$WINDOWS"
  # The run started first goes first; the other waits for it.
  if [ "$round" = setup-first ]; then
    e2e_check_eq "$round: the repair, then the removal, both succeed" "0 0" "${RCS[*]}"
  else
    e2e_check_eq "$round: the removal succeeds; the repair finds nothing left to repair" \
      "0 1603" "${RCS[*]}"
  fi
  check_end "$round"
done

# A silent removal retried at once: the second waits its turn, finds the work done, shows
# nothing and exits; the folder still goes.
scn_make_install
scn_setup /s
start_silent "\"$E2E_INSTALL_WIN\\uninstall.exe\" /s"
sleep 0.5
start_silent "\"$E2E_INSTALL_WIN\\uninstall.exe\" /s"
wait_all_watched 150
e2e_check_eq "retried removal: no window" "" "$WINDOWS"
e2e_check_eq "retried removal: the first succeeds, the retry finds no list" "0 1603" "${RCS[*]}"
check_end "retried removal"

# Two installations removed back to back: each run's script is its own, both folders go.
scn_make_install 'C:\Suite One\Vellox'
first=$E2E_INSTALL
scn_make_install 'C:\Suite Two\Vellox'
second=$E2E_INSTALL
start_silent '"C:\Suite One\Vellox\uninstall.exe" /s'
start_silent '"C:\Suite Two\Vellox\uninstall.exe" /s'
wait_all_watched 150
e2e_check_eq "back to back: both removals succeed" "0 0" "${RCS[*]}"
e2e_check "back to back: the first folder is gone" scn_wait_gone "$first" 60
e2e_check "back to back: the second folder is gone" scn_wait_gone "$second" 60
e2e_finish
