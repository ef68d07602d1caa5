#!/usr/bin/env bash
# A standard user sets the suite up and removes it again: the machine-wide keys are read-only
# (as in scenario_no_hklm_access), and another program owns ".zip" in the user's own classes.
# A silent Setup with a log integrates per user (classes under HKCU\Software\Classes, App Paths,
# the per-user uninstall entry with /user in its commands, shortcuts in the user's own folders);
# the log replays on registry exports. The per-user entry's quiet command then removes it all:
# afterwards the user's keys read as before, ".zip" is back with its owner, the machine-wide
# keys never changed and the folder is gone. Wine's shell reads only the machine's classes, so
# the keys are checked, not a double click.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup app_paths associations shortcuts uninstall_entry uninstall self_removal \
  program:Vellox.exe program:reg_snapshot.exe program:lock_registry_key.exe \
  program:run_command_line.exe tool:python3
e2e_init scenario_per_user
log_win='C:\Logs\vellox.log'
log_unix=$(e2e_unixpath "$log_win")

e2e_reg add "$SCN_USER_CLASSES\\.zip" /ve /d OtherArc.zip /f
e2e_reg add "$SCN_USER_CLASSES\\OtherArc.zip\\shell\\open\\command" /ve /d 'otherarc.exe "%1"' /f
scn_make_install
scn_deny_machine_keys
scn_log_state before

scn_setup /s "/log=$log_win"
e2e_check_eq "setup without machine-wide rights exits with 0" 0 "$E2E_RC"
e2e_check "the log says the installation is for the current user only" \
  grep -q -P '\tnotice\t.*note=installed for the current user only' "$log_unix"
scn_log_state setup
scn_check_replay "every change of the per-user setup is in the log" "$log_unix" Logs before setup
scn_snapshot "$E2E_DIR/reg-setup"
scn_check_same "no machine-wide key was written" "$E2E_DIR/machine-before" \
  <(grep -v '^\[HKEY_CURRENT_USER' "$E2E_DIR/reg-setup")
scn_check_value ".zip opens with the archiver for this user" "$SCN_USER_CLASSES\\.zip" "" Vellox.ZIP
scn_check_value "its former owner is backed up" "$SCN_USER_KEY\\Setup\\.zip" Type OtherArc.zip
scn_check_value "the archiver's class is the user's" \
  "$SCN_USER_CLASSES\\Vellox.ZIP\\shell\\open\\command" "" "\"$E2E_INSTALL_WIN\\Vellox.exe\" \"%1\""
scn_check_value "App Paths is the user's" "$SCN_USER_APP_PATHS_KEY" "" "$E2E_INSTALL_WIN\\Vellox.exe"
scn_check_value "the per-user entry runs Uninstall mode per user" "$SCN_USER_UNINSTALL_KEY" \
  UninstallString "\"$E2E_INSTALL_WIN\\uninstall.exe\" /user"
scn_check_value "the per-user entry names the folder" "$SCN_USER_UNINSTALL_KEY" InstallLocation \
  "$E2E_INSTALL_WIN\\"
e2e_check "the Start-menu shortcut is in the user's own Start menu" \
  test -n "$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Roaming/*' -iname Vellox.lnk)"
e2e_check_eq "no shortcut in the common folders" "" \
  "$(find "$WINEPREFIX/drive_c/ProgramData" "$WINEPREFIX/drive_c/users/Public" -iname 'Vellox*')"

quiet=$(scn_value "$SCN_USER_UNINSTALL_KEY" QuietUninstallString)
e2e_check_eq "the per-user entry's quiet command" "\"$E2E_INSTALL_WIN\\uninstall.exe\" /user /s" \
  "$quiet"
e2e_run 90 "$E2E_PROGRAMS/run_command_line.exe" "$quiet /log \"$log_win\""
e2e_check_eq "the quiet command exits with 0" 0 "$(scn_printed_code "$E2E_DIR/last-stdout")"
scn_wait_gone "$E2E_INSTALL" 30 || true
e2e_check_not "the installation folder is gone" test -e "$E2E_INSTALL"
scn_log_state uninstall
scn_check_replay "every change of the per-user removal is in the log" "$log_unix" Logs setup \
  uninstall
scn_snapshot "$E2E_DIR/reg-after"
scn_check_same "the user's keys and the machine-wide keys read as before" "$E2E_DIR/reg-before" \
  "$E2E_DIR/reg-after"
e2e_finish
