#!/usr/bin/env bash
# An installation folder 254 characters deep (the program's path 268): longer than the command
# interpreter's del and rd take. Setup and a silent Uninstall run as usual, and the removal
# script, written with the paths' short forms, still removes the program and the folder.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup uninstall self_removal program:Vellox.exe
e2e_init scenario_deep_folder
folder='C:\Deep'
while [ ${#folder} -lt 247 ]; do folder+='\Installation Folder'; done
folder="${folder:0:247}"
folder="${folder%\\}"
while [ ${#folder} -lt 254 ]; do folder+='x'; done
scn_make_install "$folder"
e2e_check_eq "the folder's path has 254 characters" 254 "${#folder}"
scn_setup /s
e2e_check_eq "setup exits with 0" 0 "$E2E_RC"
scn_check_value "the entry names the deep program" "$SCN_UNINSTALL_KEY" UninstallString \
  "\"$folder\\uninstall.exe\""
e2e_start "$folder\\uninstall.exe" /s
e2e_wait_watched 120
e2e_check_eq "silent uninstall exits with 0" 0 "$E2E_RC"
e2e_check_eq "no window" "" "$E2E_WINDOW"
e2e_check "the script removes the deep folder" scn_wait_gone "$E2E_INSTALL" 60
scn_check_key_absent "the entry is gone" "$SCN_UNINSTALL_KEY"
e2e_check "the script deletes itself" e2e_wait_for 30 scn_no_temp_script
e2e_finish
