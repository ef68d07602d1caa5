#!/usr/bin/env bash
# Another program owns ".rev" (its class, an "Open with" list and a "New" entry) before the
# suite's Setup runs: Setup points ".rev" at the archiver's recovery-volume class, and Uninstall
# gives it back exactly as that program wrote it. Second round: ".rev" is absent at Setup and a
# program takes it over before Uninstall; Uninstall leaves it exactly as that program wrote it.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup associations uninstall self_removal program:Vellox.exe \
  program:reg_snapshot.exe
e2e_init scenario_rev_owner
rev="$SCN_CLASSES\\.rev"

# Round 1: the former owner gets ".rev" back.
e2e_reg add "$rev" /ve /d OtherPar.Volume /f
e2e_reg add "$rev" /v "Content Type" /d application/x-otherpar /f
e2e_reg add "$rev\\OpenWithProgids" /v OtherPar.Volume /t REG_NONE /f
e2e_reg add "$rev\\ShellNew" /v FileName /d 'C:\Program Files\OtherPar\new.rev' /f
e2e_reg add "$rev\\ShellNew" /v ItemName /d '@C:\Program Files\OtherPar\otherpar.exe,-7' /f
scn_reg_dump "$rev" >"$E2E_DIR/rev-owner"
e2e_check "the former owner's .rev keys are in place" grep -q ShellNew "$E2E_DIR/rev-owner"

scn_make_install
scn_setup /s
e2e_check_eq "setup exits with 0" 0 "$E2E_RC"
scn_check_value ".rev names the archiver's class after setup" "$rev" "" Vellox.REV
scn_uninstall /s
e2e_check_eq "uninstall exits with 0" 0 "$E2E_RC"
scn_reg_dump "$rev" >"$E2E_DIR/rev-given-back"
scn_check_same ".rev reads exactly as its former owner wrote it" \
  "$E2E_DIR/rev-owner" "$E2E_DIR/rev-given-back"
scn_check_key_absent "the archiver's recovery-volume class is removed" "$SCN_CLASSES\\Vellox.REV"

# Round 2: that program is gone; the suite is set up again and another one takes ".rev" over.
e2e_reg delete "$rev" /f
scn_make_install
scn_setup /s
e2e_check_eq "the second setup exits with 0" 0 "$E2E_RC"
scn_check_value ".rev names the archiver's class again" "$rev" "" Vellox.REV
e2e_reg add "$rev" /ve /d Newcomer.Volume /f
e2e_reg add "$rev\\OpenWithProgids" /v Newcomer.Volume /t REG_NONE /f
e2e_reg add "$rev\\ShellNew" /v NullFile /d "" /f
scn_reg_dump "$rev" >"$E2E_DIR/rev-taken"
e2e_check "the newcomer's .rev keys are in place" grep -q Newcomer "$E2E_DIR/rev-taken"
scn_uninstall /s
e2e_check_eq "the second uninstall exits with 0" 0 "$E2E_RC"
scn_reg_dump "$rev" >"$E2E_DIR/rev-after"
scn_check_same ".rev reads exactly as the newcomer wrote it" \
  "$E2E_DIR/rev-taken" "$E2E_DIR/rev-after"
e2e_finish
