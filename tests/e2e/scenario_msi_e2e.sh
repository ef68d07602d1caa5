#!/usr/bin/env bash
# An installer package owns the installation: it copies the files itself and hands the
# integration to Setup mode with /msi. The package keeps its own entry in the installed-
# programs list, so Setup must write none; everything else is integrated as usual. A later
# "uninstall.exe /msi" is a command line with a switch, which runs neither mode: nothing may
# be removed by it. The package's removal then runs Uninstall mode, which removes it all.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup app_paths associations uninstall_entry uninstall self_removal \
  program:Vellox.exe program:reg_snapshot.exe
e2e_init scenario_msi
scn_make_install
scn_snapshot "$E2E_DIR/reg-before"

scn_setup /s /msi
e2e_check_eq "setup /msi exits with 0" 0 "$E2E_RC"
scn_check_key_absent "no uninstall entry is written" "$SCN_UNINSTALL_KEY"
scn_check_value "App Paths is written" "$SCN_APP_PATHS_KEY" "" "$E2E_INSTALL_WIN\\Vellox.exe"
scn_check_value ".zip belongs to the archiver" "$SCN_CLASSES\\.zip" "" Vellox.ZIP
scn_check_value "the choices are stored" "$SCN_USER_KEY\\Setup\\.zip" Set 0x1

scn_install_files >"$E2E_DIR/files-before"
scn_snapshot "$E2E_DIR/reg-integrated"
e2e_run 60 "$E2E_INSTALL_WIN\\uninstall.exe" /s /msi
e2e_check_eq "uninstall.exe /s /msi exits with 0" 0 "$E2E_RC"
scn_install_files >"$E2E_DIR/files-after"
scn_check_same "uninstall.exe /msi deletes no file" "$E2E_DIR/files-before" \
  "$E2E_DIR/files-after"
scn_snapshot "$E2E_DIR/reg-after-msi"
scn_check_same "uninstall.exe /msi changes no registry key" "$E2E_DIR/reg-integrated" \
  "$E2E_DIR/reg-after-msi"

scn_uninstall /s
e2e_check_eq "the package's removal (uninstall.exe /s) exits with 0" 0 "$E2E_RC"
scn_snapshot "$E2E_DIR/reg-after"
scn_check_same "the registry keys concerned read as before setup" "$E2E_DIR/reg-before" \
  "$E2E_DIR/reg-after"
e2e_check_not "the installation folder is gone" test -e "$E2E_INSTALL"
e2e_finish
