#!/usr/bin/env bash
# The exit codes a deployment tool reads, one row per outcome, each on a fresh installation:
# done (0, from a folder deeper than the command interpreter's paths), done with files in use
# that go at the next restart (3010), the user answering No (1602), the file list missing or the
# removal script unwritable on a full drive (1603, the program stays) and another run holding
# the machine-wide lock (1618, nothing changed). The silent rows must show no window at all; no
# row may leave a script behind.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup uninstall self_removal program:holdfile.exe program:Vellox.exe \
  program:run_command_line.exe
e2e_init scenario_exit_codes
holdfile="$E2E_PROGRAMS/holdfile.exe"
runner="$E2E_PROGRAMS/run_command_line.exe"
full_drive=
# The small drive goes whatever still runs on it (a script a faulty program started there would
# keep it busy): detached at once, freed when its last user ends.
cleanup_drive() {
  if [ -n "$full_drive" ]; then
    umount -l "$full_drive" 2>/dev/null || true
    full_drive=
  fi
}
trap 'status=$?; cleanup_drive; (exit "$status"); e2e__on_exit' EXIT

# temp_to WINDOWS_FOLDER: the user's temporary folder from now on (the environment comes from
# the registry; a new wine server reads it again).
temp_to() {
  e2e_reg add 'HKCU\Environment' /v TEMP /d "$1" /f
  e2e_reg add 'HKCU\Environment' /v TMP /d "$1" /f
  e2e__restart_server
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

# start_run ARGUMENTS: starts the installation's program through the runner, which prints the
# whole exit code (wine hands a Unix parent only its low eight bits).
start_run() {
  e2e_start "$runner" "\"$E2E_INSTALL_WIN\\uninstall.exe\"$1"
}
exit_code() { scn_printed_code "$E2E_DIR/last-stdout"; }

# row NAME EXPECTED_CODE [ARGUMENTS]: one silent run of Uninstall mode, watched; checks its
# exit code and that no window came up.
row() {
  start_run " /s${3:-}"
  e2e_wait_watched 150
  e2e_check_eq "$1: exit code $2" "$2" "$(exit_code)"
  e2e_check_eq "$1: no window" "" "$E2E_WINDOW"
}

# Done, in a folder 254 characters deep (the program's path 268): longer than the command
# interpreter's del and rd take, so the script must carry the paths' short forms.
deep='C:\Deep'
while [ ${#deep} -lt 247 ]; do deep+='\Installation Folder'; done
deep="${deep:0:247}"
deep="${deep%\\}"
while [ ${#deep} -lt 254 ]; do deep+='x'; done
scn_make_install "$deep"
scn_setup /s
e2e_check_eq "setup: exit code 0" 0 "$E2E_RC"
# A program path this long cannot be started through CreateProcessW: wine starts it (code 0
# has no bits to lose).
e2e_start "$E2E_INSTALL_WIN\\uninstall.exe" /s
e2e_wait_watched 150
e2e_check_eq "removal: exit code 0" 0 "$E2E_RC"
e2e_check_eq "removal: no window" "" "$E2E_WINDOW"
e2e_check "removal: the deep folder is gone" scn_wait_gone "$E2E_INSTALL" 60
scn_check_key_absent "removal: the entry is gone" "$SCN_UNINSTALL_KEY"
e2e_check "removal: no script left" e2e_wait_for 30 scn_no_temp_script

# Done, with a file in use: it goes at the next restart.
scn_make_install
e2e_start "$holdfile" open "$E2E_INSTALL_WIN\\vlxext.dll" 'C:\dll-held'
holder=$E2E_PID
e2e_check "the library is held" e2e_wait_for 30 test -e "$WINEPREFIX/drive_c/dll-held"
row "file in use" 3010
rm -f "$WINEPREFIX/drive_c/dll-held"
wait "$holder" 2>/dev/null || true
e2e_check "file in use: no script left" e2e_wait_for 30 scn_no_temp_script

# The user answers No: nothing changes.
scn_make_install
scn_install_files >"$E2E_DIR/files-before"
start_run ""
question=$(e2e_find_window 'Uninstall Vellox' 30)
e2e_check "declined: the removal asks" test -n "$question"
[ -n "$question" ] && e2e_key "$question" n
e2e_wait 60
e2e_check_eq "declined: exit code 1602" 1602 "$(exit_code)"
e2e_check_eq "declined: every file stays" "$(cat "$E2E_DIR/files-before")" "$(scn_install_files)"

# The file list is missing: nothing is removed, and a silent run shows nothing.
rm "$E2E_INSTALL/Uninstall.lst"
scn_install_files >"$E2E_DIR/files-before"
row "list missing" 1603
e2e_check_eq "list missing: every file stays" "$(cat "$E2E_DIR/files-before")" "$(scn_install_files)"
rm -rf "$E2E_INSTALL"

# The temporary folder's drive is full: the script cannot be written whole, none is left, and
# the program stays (the rest of the installation is removed).
scn_make_install
full_drive="$E2E_DIR/full"
mkdir -p "$full_drive"
if mount -t tmpfs -o size=64k tmpfs "$full_drive"; then
  mkdir -p "$full_drive/Temp"
  head -c 1048576 /dev/zero >"$full_drive/Temp/filler" 2>/dev/null || true
  ln -s "$full_drive" "$WINEPREFIX/dosdevices/e:"
  temp_to 'E:\Temp'
  row "full drive" 1603 ' /log=C:\full-drive.log'
  e2e_check "full drive: the program stays" test -f "$E2E_INSTALL/uninstall.exe"
  log="$WINEPREFIX/drive_c/full-drive.log"
  e2e_check "full drive: the log says why the program stays" \
    grep -q 'no place for the removal script' "$log"
  e2e_check_not "full drive: the log claims no script" grep -q -e 'removal script started' \
    -e 'left-to-script' "$log"
  e2e_check_eq "full drive: no script, not even an empty one" "filler" "$(ls "$full_drive/Temp")"
  rm -f "$WINEPREFIX/dosdevices/e:"
  cleanup_drive
  temp_to 'C:\users\Public\Temp'
else
  e2e_fail "full drive: mount a small tmpfs (run as root)"
fi
rm -rf "$E2E_INSTALL"

# Another run holds the lock for longer than a run waits: nothing changes.
scn_make_install
scn_install_files >"$E2E_DIR/files-before"
e2e_start "$holdfile" mutex 'Global\Vellox.SetupAndUninstall' 'C:\lock-held'
locker=$E2E_PID
e2e_check "the lock is held" e2e_wait_for 30 test -e "$WINEPREFIX/drive_c/lock-held"
row "lock held" 1618
e2e_check_eq "lock held: every file stays" "$(cat "$E2E_DIR/files-before")" "$(scn_install_files)"
rm -f "$WINEPREFIX/drive_c/lock-held"
wait "$locker" 2>/dev/null || true
e2e_finish
