#!/usr/bin/env bash
# Another archiver takes ".zip" over after the suite's Setup ran (its own class key, its own
# "New" menu entry). Removing the suite later must leave ".zip" exactly as that program set it,
# while everything else the suite wrote is given back.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup app_paths associations uninstall self_removal program:Vellox.exe \
  program:reg_snapshot.exe
e2e_init scenario_zip_taken_over
scn_make_install
scn_snapshot "$E2E_DIR/reg-before"

scn_setup /s
e2e_check_eq "setup exits with 0" 0 "$E2E_RC"
scn_check_value ".zip belongs to the archiver after setup" "$SCN_CLASSES\\.zip" "" Vellox.ZIP

# The other program's installer writes its class and points .zip and its New entry at it.
e2e_reg add "$SCN_CLASSES\\OtherArc.zip" /ve /d "Other archiver ZIP file" /f
e2e_reg add "$SCN_CLASSES\\OtherArc.zip\\shell\\open\\command" /ve \
  /d '"C:\Program Files\OtherArc\otherarc.exe" "%1"' /f
e2e_reg add "$SCN_CLASSES\\.zip" /ve /d OtherArc.zip /f
e2e_reg add "$SCN_CLASSES\\.zip" /v "Content Type" /d application/zip /f
e2e_reg add "$SCN_CLASSES\\.zip\\ShellNew" /v FileName /d 'C:\Program Files\OtherArc\new.zip' /f
taken_keys=("$SCN_CLASSES\\.zip" "$SCN_CLASSES\\OtherArc.zip")
scn_reg_dump "${taken_keys[@]}" >"$E2E_DIR/zip-taken"
e2e_check "the other program's .zip keys are in place" test -s "$E2E_DIR/zip-taken"

scn_uninstall /s
e2e_check_eq "uninstall exits with 0" 0 "$E2E_RC"
scn_reg_dump "${taken_keys[@]}" >"$E2E_DIR/zip-after"
scn_check_same ".zip and the other program's class read exactly as that program set them" \
  "$E2E_DIR/zip-taken" "$E2E_DIR/zip-after"
scn_check_key_absent "the archiver's ZIP class is removed" "$SCN_CLASSES\\Vellox.ZIP"
scn_check_key_absent ".7z is given back (it did not exist before)" "$SCN_CLASSES\\.7z"
scn_snapshot "$E2E_DIR/reg-after"
grep -v -i '\\\.zip[]\\]' "$E2E_DIR/reg-before" >"$E2E_DIR/reg-before-rest"
grep -v -i '\\\.zip[]\\]' "$E2E_DIR/reg-after" >"$E2E_DIR/reg-after-rest"
scn_check_same "apart from .zip, the registry keys concerned read as before setup" \
  "$E2E_DIR/reg-before-rest" "$E2E_DIR/reg-after-rest"
e2e_check_not "the installation folder is gone" test -e "$E2E_INSTALL"
e2e_finish
