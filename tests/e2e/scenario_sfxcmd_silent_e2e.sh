#!/usr/bin/env bash
# The installer archive puts its own command line into "sfxcmd": the user ran it with /s, and
# it starts "uninstall.exe /setup" with its own path in "sfxname". The run must be silent (no
# window at any time), integrate the stored choices and deploy the settings file that lies
# beside the installer archive into the installation folder.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup app_paths associations uninstall_entry uninstall self_removal \
  program:Vellox.exe program:reg_snapshot.exe
e2e_init scenario_sfxcmd_silent
scn_make_install
# The installer archive, with the settings file shipped beside it.
mkdir -p "$E2E_DIR/download"
cp "$E2E_PROGRAMS/Vellox.exe" "$E2E_DIR/download/vellox-setup.exe"
printf '%s\r\n' 'Global\Integration=1' 'HKCU\Setup\Links\Desktop=1' |
  iconv -f UTF-8 -t UTF-16LE | { printf '\377\376'; cat; } >"$E2E_DIR/download/vellox.ini"

export sfxcmd='/s' sfxname
sfxname=$(e2e_winpath "$E2E_DIR/download/vellox-setup.exe")
cd "$E2E_INSTALL" || exit 1
e2e_start "$E2E_INSTALL_WIN\\uninstall.exe" /setup
windows_seen=0
while kill -0 "$E2E_PID" 2>/dev/null; do
  if [ -n "$(xdotool search --onlyvisible --name '.' 2>/dev/null)" ]; then
    windows_seen=1
    e2e_screenshot unexpected-window >/dev/null
  fi
  sleep 0.2
done
e2e_wait 90
cd "$E2E_CWD" || exit 1
unset sfxcmd sfxname
e2e_check_eq "setup exits with 0" 0 "$E2E_RC"
e2e_check_eq "no window was shown" 0 "$windows_seen"
scn_check_value "the stored choices are integrated" "$SCN_CLASSES\\.zip" "" Vellox.ZIP
scn_check_value "the uninstall entry is written" "$SCN_UNINSTALL_KEY" UninstallString \
  "\"$E2E_INSTALL_WIN\\uninstall.exe\""
e2e_check "the settings file beside the archive is deployed unchanged" \
  cmp -s "$E2E_DIR/download/vellox.ini" "$E2E_INSTALL/vellox.ini"

# A second run finds the deployed file and does not replace it.
printf '\377\376' >"$E2E_DIR/download/vellox.ini"
export sfxcmd='/s' sfxname
sfxname=$(e2e_winpath "$E2E_DIR/download/vellox-setup.exe")
scn_setup
unset sfxcmd sfxname
e2e_check_eq "the second silent setup exits with 0" 0 "$E2E_RC"
e2e_check_contains "an existing settings file is never replaced" \
  "$(scn_ini_text "$E2E_INSTALL/vellox.ini")" 'HKCU\Setup\Links\Desktop=1'
e2e_finish
