#!/usr/bin/env bash
# Setup mode where no display exists at all (DISPLAY unset, as in a service or a session without
# a desktop): no dialog can be created. An interactive run must then apply nothing and end with
# exit code 1. A silent run needs no dialog: it must integrate exactly what the silent run with
# a display integrates, the same registry keys and values and the same files on drive C:.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup app_paths associations shell_extension shortcuts uninstall_entry \
  uninstall self_removal program:Vellox.exe program:reg_snapshot.exe
e2e_init scenario_headless_setup
scn_make_install
scn_snapshot "$E2E_DIR/reg-before"

# without_display COMMAND ARGS...: runs a step with DISPLAY unset.
without_display() {
  local display=$DISPLAY
  unset DISPLAY
  "$@"
  export DISPLAY=$display
}

without_display scn_setup
e2e_check_eq "an interactive setup without a display ends with 1" 1 "$E2E_RC"
scn_snapshot "$E2E_DIR/reg-refused"
scn_check_same "an interactive setup without a display applies nothing" "$E2E_DIR/reg-before" \
  "$E2E_DIR/reg-refused"

without_display scn_setup /s
e2e_check_eq "a silent setup without a display exits with 0" 0 "$E2E_RC"
scn_snapshot "$E2E_DIR/reg-headless"
scn_file_snapshot "$E2E_DIR/files-headless"

# The same installation again, removed first, then set up silently with the display.
scn_uninstall /s
e2e_check_not "the removal between the two runs took the folder" test -e "$E2E_INSTALL"
scn_make_install
scn_setup /s
e2e_check_eq "a silent setup with a display exits with 0" 0 "$E2E_RC"
scn_snapshot "$E2E_DIR/reg-windowed"
scn_file_snapshot "$E2E_DIR/files-windowed"

e2e_check_not "the silent runs integrated something" cmp -s "$E2E_DIR/reg-before" \
  "$E2E_DIR/reg-windowed"
scn_check_same "both silent runs leave the same registry" "$E2E_DIR/reg-headless" \
  "$E2E_DIR/reg-windowed"
scn_check_same "both silent runs leave the same files" "$E2E_DIR/files-headless" \
  "$E2E_DIR/files-windowed"
e2e_finish
