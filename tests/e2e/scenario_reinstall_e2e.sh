#!/usr/bin/env bash
# A reinstall over an existing installation with other choices: the first Setup run takes the
# default choices; the installer then runs Setup again with ".vlx" deselected, the desktop
# shortcut chosen and the program group dropped. The second run must give ".vlx" back, keep
# the first backup of ".zip", move the shortcuts, and the final removal must still restore the
# registry as it was before the very first run.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup app_paths associations shortcuts uninstall_entry uninstall \
  self_removal program:Vellox.exe program:reg_snapshot.exe
e2e_init scenario_reinstall
scn_make_install
scn_snapshot "$E2E_DIR/reg-before"

scn_setup /s
e2e_check_eq "first setup exits with 0" 0 "$E2E_RC"
scn_check_value "first setup: .vlx belongs to the archiver" "$SCN_CLASSES\\.vlx" "" Vellox
scn_check_value "first setup: .r05 is a volume of the own format" "$SCN_CLASSES\\.r05" "" Vellox
scn_check_value "first setup: .zip belongs to the archiver" "$SCN_CLASSES\\.zip" "" Vellox.ZIP
scn_check_value "first setup: backup of .zip says it did not exist" \
  "$SCN_USER_KEY\\Setup\\.zip" Exist 0x0
all_users_group="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vellox"
e2e_check "first setup: the program group exists" test -f "$all_users_group/Vellox.lnk"

# The installer copies the files again (a newer build) and runs Setup with other choices:
# /initA01 clears .vlx and keeps .zip, D1 adds the desktop shortcut, P0 drops the group.
cp "$E2E_UNINSTALL_EXE" "$E2E_INSTALL/uninstall.exe"
scn_setup /s /initA01D1P0
e2e_check_eq "second setup exits with 0" 0 "$E2E_RC"
scn_check_key_absent "second setup: .vlx is given back (it did not exist before)" \
  "$SCN_CLASSES\\.vlx"
scn_check_key_absent "second setup: .r05 is given back" "$SCN_CLASSES\\.r05"
scn_check_value "second setup: .zip still belongs to the archiver" "$SCN_CLASSES\\.zip" "" \
  Vellox.ZIP
scn_check_value "second setup: the first backup of .zip is kept" "$SCN_USER_KEY\\Setup\\.zip" \
  Exist 0x0
scn_check_value "second setup: .vlx is stored as deselected" "$SCN_USER_KEY\\Setup\\.vlx" Set 0x0
scn_check_value "second setup: the desktop shortcut is stored as chosen" \
  "$SCN_USER_KEY\\Setup\\Links" Desktop 0x1
desktop_links=$(find "$WINEPREFIX/drive_c/users" -ipath '*/Desktop/Vellox.lnk' 2>/dev/null)
e2e_check "second setup: a desktop shortcut exists" test -n "$desktop_links"
e2e_check_not "second setup: the program group is gone" test -e "$all_users_group"
scn_check_value "second setup: the uninstall entry names the program" "$SCN_UNINSTALL_KEY" \
  UninstallString "\"$E2E_INSTALL_WIN\\uninstall.exe\""

scn_uninstall /s
e2e_check_eq "uninstall exits with 0" 0 "$E2E_RC"
e2e_check_not "the installation folder is gone" test -e "$E2E_INSTALL"
e2e_check_eq "the desktop shortcut is gone" "" \
  "$(find "$WINEPREFIX/drive_c/users" -ipath '*/Desktop/Vellox.lnk' 2>/dev/null)"
scn_snapshot "$E2E_DIR/reg-after"
scn_check_same "the registry keys concerned read as before the first setup" \
  "$E2E_DIR/reg-before" "$E2E_DIR/reg-after"
e2e_finish
