#!/usr/bin/env bash
# A first installation on a clean machine: the installer archive starts Setup mode silently
# with the stored (default) choices, the user opens a ZIP archive from the shell, and later
# removes the suite from the installed-programs list. Setup's work is checked piece by piece;
# after the removal the registry keys concerned must read exactly as before and nothing may be
# left on drive C: outside the temporary folders.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup app_paths associations shell_extension shortcuts uninstall_entry \
  uninstall self_removal program:Vellox.exe
e2e_init scenario_fresh_install
scn_file_snapshot "$E2E_DIR/files-before"
scn_make_install
scn_snapshot "$E2E_DIR/reg-before"
jar_before=$(scn_value "$SCN_CLASSES\\.jar" "")

# --- Setup -------------------------------------------------------------------------------------
scn_setup /s
e2e_check_eq "silent setup exits with 0" 0 "$E2E_RC"
archiver="$E2E_INSTALL_WIN\\Vellox.exe"
open_command="\"$archiver\" \"%1\""

scn_check_value "App Paths names the archiver" "$SCN_APP_PATHS_KEY" "" "$archiver"
scn_check_value "App Paths holds the folder without a backslash" "$SCN_APP_PATHS_KEY" Path \
  "$E2E_INSTALL_WIN"
scn_check_value ".zip belongs to the archiver's ZIP class" "$SCN_CLASSES\\.zip" "" Vellox.ZIP
scn_check_value ".7z belongs to the archiver" "$SCN_CLASSES\\.7z" "" Vellox
scn_check_value ".tbz2 (4th extension of its row) belongs to the archiver" \
  "$SCN_CLASSES\\.tbz2" "" Vellox
scn_check_value ".r29 is a volume of the own format" "$SCN_CLASSES\\.r29" "" Vellox
scn_check_value ".jar is not taken by default" "$SCN_CLASSES\\.jar" "" "$jar_before"
scn_check_value "the ZIP class opens archives with the archiver" \
  "$SCN_CLASSES\\Vellox.ZIP\\shell\\open\\command" "" "$open_command"
scn_check_value ".zip gets the ZIP template in the New menu" "$SCN_CLASSES\\.zip\\ShellNew" \
  FileName "$E2E_INSTALL_WIN\\zipnew.dat"
e2e_check "the ZIP template is an empty archive (22 bytes)" \
  test "$(stat -c %s "$E2E_INSTALL/zipnew.dat" 2>/dev/null)" = 22
scn_check_value "the 64-bit shell extension is registered" \
  "$SCN_CLASSES\\CLSID\\{7A2C90E1-3D54-4B35-8D1F-3C6E2B905A77}\\InProcServer32" "" \
  "$E2E_INSTALL_WIN\\vlxext.dll"
scn_check_value "the uninstall entry runs this program, quoted, without arguments" \
  "$SCN_UNINSTALL_KEY" UninstallString "\"$E2E_INSTALL_WIN\\uninstall.exe\""
scn_check_value "the uninstall entry knows the folder" "$SCN_UNINSTALL_KEY" InstallLocation \
  "$E2E_INSTALL_WIN\\"
e2e_check_contains "the uninstall entry's name carries the version" \
  "$(scn_value "$SCN_UNINSTALL_KEY" DisplayName)" "Vellox 6.21 ("
scn_check_value "the choice of .zip is stored per user" "$SCN_USER_KEY\\Setup\\.zip" Set 0x1
scn_check_value "the desktop shortcut is off by default" "$SCN_USER_KEY\\Setup\\Links" Desktop 0x0

group="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vellox"
e2e_check "the program group holds the archiver's shortcut" test -f "$group/Vellox.lnk"
e2e_check "no desktop shortcut by default" \
  test -z "$(find "$WINEPREFIX/drive_c/users" -ipath '*/Desktop/Vellox.lnk' 2>/dev/null)"
e2e_screenshot after-setup >/dev/null

# --- The shell opens an archive with the archiver ------------------------------------------------
scn_write_sample_zip "$E2E_CWD/sample.zip"
scn_open_with_shell "$E2E_CWD/sample.zip"
e2e_check_eq "wine start sample.zip exits with 0" 0 "$E2E_RC"
e2e_check_contains "the archiver was started with the archive" "$(scn_standin_lines)" \
  "$(e2e_winpath "$E2E_CWD/sample.zip")"

# --- Uninstall ---------------------------------------------------------------------------------
scn_uninstall /s
e2e_check_eq "silent uninstall exits with 0" 0 "$E2E_RC"
e2e_check_not "the installation folder is gone" test -e "$E2E_INSTALL"
scn_snapshot "$E2E_DIR/reg-after"
scn_check_same "the registry keys concerned read as before setup" "$E2E_DIR/reg-before" \
  "$E2E_DIR/reg-after"
scn_wait_gone "$(scn_temp_scripts | head -n 1)" 10 || true
scn_file_snapshot "$E2E_DIR/files-after"
scn_check_same "no file or folder is left behind on drive C:" "$E2E_DIR/files-before" \
  "$E2E_DIR/files-after"
e2e_check_eq "the self-removal script deleted itself" "" "$(scn_temp_scripts)"
e2e_finish
