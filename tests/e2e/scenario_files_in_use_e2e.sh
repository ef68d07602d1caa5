#!/usr/bin/env bash
# Files in use during the removal: a running helper program of the suite (its program file can
# be renamed but not deleted) and a library held open by another program (neither deleted nor
# renamed). The user confirms the removal; the program must rename what it can, schedule both
# for deletion at the next restart together with the folder "Vellox" itself, tell the user
# once, and delete everything else. After the restart the folder is gone.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup uninstall self_removal program:holdfile.exe
e2e_init scenario_files_in_use
scn_make_install
cp "$E2E_PROGRAMS/holdfile.exe" "$E2E_INSTALL/vlxhelper.exe"
printf 'vlxhelper.exe\r\n' >>"$E2E_INSTALL/Uninstall.lst"

# The suite's helper runs from the installation folder; another program holds vlxext.dll.
e2e_start "$E2E_INSTALL_WIN\\vlxhelper.exe" run 'C:\helper-running'
helper_pid=$E2E_PID
e2e_start "$E2E_PROGRAMS/holdfile.exe" open "$E2E_INSTALL_WIN\\vlxext.dll" 'C:\dll-held'
holder_pid=$E2E_PID
both_held() { [ -e "$WINEPREFIX/drive_c/helper-running" ] && [ -e "$WINEPREFIX/drive_c/dll-held" ]; }
e2e_check "both files are in use" e2e_wait_for 30 both_held

# Uninstall as the installed-programs list runs it: confirm, then read the restart notice.
e2e_start "$E2E_INSTALL_WIN\\uninstall.exe"
question=$(e2e_find_window 'Uninstall Vellox' 30)
e2e_check "the removal asks for confirmation" test -n "$question"
[ -n "$question" ] && e2e_key "$question" Return
e2e_window_gone "$question" 10 || true
notice=$(e2e_find_window 'Uninstall Vellox' 60)
e2e_check "the restart notice is shown" test -n "$notice"
if [ -n "$notice" ]; then
  e2e_screenshot restart-notice >/dev/null
  e2e_key "$notice" Return
  e2e_check "Enter closes the notice" e2e_window_gone "$notice" 10
fi
# Until the program has ended, no further message may come up (it would wait for an answer).
e2e_wait_watched 60 'Uninstall Vellox'
# 3010: a restart completes the removal; wine hands the Unix side the low eight bits of a code.
e2e_check_eq "uninstall exits with 3010: a restart completes it" $((3010 & 255)) "$E2E_RC"
e2e_check_eq "the notice is shown once" "" "$E2E_WINDOW"
# The self-removal script pauses two seconds, deletes the program, fails to remove the folder
# (files in use) and deletes itself last.
e2e_check "the self-removal script deletes the program" \
  scn_wait_gone "$E2E_INSTALL/uninstall.exe" 60
e2e_check "the self-removal script deletes itself" e2e_wait_for 30 scn_no_temp_script

# The pending renames, one entry a line: "\??\path" followed by an empty target.
wine reg query "$SCN_PENDING_KEY" /v PendingFileRenameOperations </dev/null 2>/dev/null |
  tr -d '\r' | sed -n 's/.*REG_MULTI_SZ    //p' | sed 's/\\0/\n/g' >"$E2E_DIR/pending"
e2e_check "the held library is scheduled for deletion" \
  grep -qxF "\\??\\$E2E_INSTALL_WIN\\vlxext.dll" "$E2E_DIR/pending"
e2e_check "the running helper is renamed and scheduled" \
  grep -qxF "\\??\\$E2E_INSTALL_WIN\\vlxhelper.exe.0.tmp" "$E2E_DIR/pending"
e2e_check "the folder Vellox itself is scheduled" \
  grep -qxF "\\??\\$E2E_INSTALL_WIN" "$E2E_DIR/pending"
e2e_check "the renamed helper exists" test -f "$E2E_INSTALL/vlxhelper.exe.0.tmp"
e2e_check_not "the helper's old name is free" test -e "$E2E_INSTALL/vlxhelper.exe"
e2e_check_eq "only the files in use are left" "vlxext.dll vlxhelper.exe.0.tmp" \
  "$(scn_install_files | tr '\n' ' ' | sed 's/ $//')"

# The programs end, and Windows restarts: a new wine server carries out the pending renames.
rm -f "$WINEPREFIX/drive_c/helper-running" "$WINEPREFIX/drive_c/dll-held"
wait "$helper_pid" "$holder_pid" 2>/dev/null || true
wineserver -k </dev/null >/dev/null 2>&1 || true
vlx_start_server
e2e_check_not "after the restart the installation folder is gone" test -e "$E2E_INSTALL"
e2e_finish
