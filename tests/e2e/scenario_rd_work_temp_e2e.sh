#!/usr/bin/env bash
# A user whose profile, and with it the temporary folder, has a name the command interpreter
# reads as commands or variables on its command line: "R&D (Work)", and then a folder that
# adds '^', '@' and '%'. For each, a silent Setup and a silent Uninstall from the
# installed-programs list: the self-removal script must run from that folder, so the
# installation folder is gone afterwards and the script has deleted itself.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
e2e_init scenario_rd_work_temp
# Missing pieces of the build fail the scenario: nothing here is optional.
for needed in "$E2E_UNINSTALL_EXE" "$E2E_PROGRAMS/Vellox.exe"; do
  [ -f "$needed" ] || { e2e_fail "this build has no $(basename "$needed")"; exit 1; }
done

for temp in 'C:\users\R&D (Work)\Temp' 'C:\R&D (Work) ^@100%\Temp'; do
  echo "--- TEMP and TMP: $temp"
  temp_unix=$(e2e_unixpath "$temp")
  [ -n "$temp_unix" ] && mkdir -p "$temp_unix" || { e2e_fail "make $temp"; exit 1; }
  # Windows programs take TEMP and TMP from the user's environment key, not from this shell.
  e2e_reg add 'HKCU\Environment' /v TEMP /d "$temp" /f &&
    e2e_reg add 'HKCU\Environment' /v TMP /d "$temp" /f || { e2e_fail "set TEMP"; exit 1; }

  scn_make_install
  scn_setup /s
  e2e_check_eq "silent setup exits with 0" 0 "$E2E_RC"
  scn_uninstall /s
  e2e_check_eq "silent uninstall exits with 0" 0 "$E2E_RC"
  e2e_check_not "the installation folder is gone" test -e "$E2E_INSTALL"
  e2e_check "the script in the temporary folder deleted itself" \
    scn_wait_gone "$temp_unix/Uninstall_Vlx.Bat" 30
  e2e_check_eq "no self-removal script is left on drive C:" "" \
    "$(find "$WINEPREFIX/drive_c" -iname 'Uninstall_Vlx.Bat')"
done
e2e_finish
