#!/usr/bin/env bash
# A user without write access to HKEY_LOCAL_MACHINE runs Setup: the machine-wide keys that
# Setup would write are locked read-only beforehand (the DACL D:P(A;OICI;KR;;;WD), made with
# tests/programs/lock_registry_key). Setup then integrates for this user only, with the user's
# choices kept (what a per-user Setup writes, and that it writes nothing machine-wide, is
# scenario_per_user's). The program started by hand from its folder (without /user) finds the
# per-user installation by its entry and removes it: files, the user's keys and settings, while
# the locked machine-wide keys stay as they were.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup app_paths associations uninstall_entry uninstall self_removal \
  program:Vellox.exe program:reg_snapshot.exe program:lock_registry_key.exe
e2e_init scenario_no_hklm_access
scn_make_install
scn_deny_machine_keys

scn_setup /s
e2e_check_eq "setup exits with 0" 0 "$E2E_RC"
scn_check_value "the user's choices are kept" "$SCN_USER_KEY\\Setup\\.zip" Set 0x1
scn_check_value "the per-user entry is written" "$SCN_USER_UNINSTALL_KEY" InstallLocation \
  "$E2E_INSTALL_WIN\\"

scn_uninstall /s
e2e_check_eq "uninstall exits with 0" 0 "$E2E_RC"
e2e_check_not "the installation folder is gone" test -e "$E2E_INSTALL"
scn_check_key_absent "the user's settings are gone" "$SCN_USER_KEY"
scn_snapshot "$E2E_DIR/reg-after"
scn_check_same "the registry keys concerned read as before setup" "$E2E_DIR/reg-before" \
  "$E2E_DIR/reg-after"
e2e_finish
