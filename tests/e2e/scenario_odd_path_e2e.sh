#!/usr/bin/env bash
# An installation under a path with spaces, letters outside ASCII and a percent sign (which
# command scripts read as the start of a variable). Every path the program writes must name
# the real folder, and the self-removal script must still delete the program and the folder.
set -uo pipefail
export LC_ALL=C.UTF-8  # Wine takes command lines and file names from the host in UTF-8
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup app_paths associations uninstall_entry uninstall self_removal \
  program:Vellox.exe program:reg_snapshot.exe
e2e_init scenario_odd_path
folder='C:\Program Files\Vellox 100% Prüfung Ünïcødé'
scn_make_install "$folder"
scn_snapshot "$E2E_DIR/reg-before"

scn_setup /s
e2e_check_eq "setup exits with 0" 0 "$E2E_RC"
scn_check_value "App Paths names the archiver in that folder" "$SCN_APP_PATHS_KEY" "" \
  "$folder\\Vellox.exe"
scn_check_value "App Paths Path is that folder" "$SCN_APP_PATHS_KEY" Path "$folder"
scn_check_value "the uninstall entry names the program in that folder" "$SCN_UNINSTALL_KEY" \
  UninstallString "\"$folder\\uninstall.exe\""
scn_check_value "the ZIP class opens archives with the archiver in that folder" \
  "$SCN_CLASSES\\Vellox.ZIP\\shell\\open\\command" "" "\"$folder\\Vellox.exe\" \"%1\""

# Opening an archive through the shell is not checked here: the shell reads "%" in an open
# command as the start of a parameter, so a program folder with "%" cannot be started from
# there (the command is the one every association writes; see scenario_fresh_install).

scn_uninstall /s
e2e_check_eq "uninstall exits with 0" 0 "$E2E_RC"
e2e_check_not "the self-removal script deleted the folder" test -e "$E2E_INSTALL"
scn_snapshot "$E2E_DIR/reg-after"
scn_check_same "the registry keys concerned read as before setup" "$E2E_DIR/reg-before" \
  "$E2E_DIR/reg-after"
e2e_finish
