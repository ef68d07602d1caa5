#!/usr/bin/env bash
# A portable installation: Vellox.ini beside the program, with shell integration switched off
# (Global\Integration=0), a comment line and entries out of order. Setup must write nothing at
# all to the registry, keep every choice in the file and save the file complete (every stored
# choice and the three Global switches), sorted, as UTF-16LE with a byte-order mark and CR LF.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup settings_file associations uninstall self_removal \
  program:Vellox.exe program:reg_snapshot.exe
e2e_init scenario_portable_ini
scn_make_install
ini="$E2E_INSTALL/Vellox.ini"
printf '%s\r\n' '; settings of a portable installation' 'HKCU\Setup\Links\Desktop=1' \
  'Global\Integration=0' 'HKCU\Setup\.7z\Set=0' 'HKCU\Viewer\Font="Consolas"' |
  iconv -f UTF-8 -t UTF-16LE | { printf '\377\376'; cat; } >"$ini"
scn_snapshot "$E2E_DIR/reg-before"
scn_file_snapshot "$E2E_DIR/files-before"

scn_setup /s
e2e_check_eq "setup exits with 0" 0 "$E2E_RC"
scn_snapshot "$E2E_DIR/reg-after-setup"
scn_check_same "setup wrote nothing to the registry keys concerned" "$E2E_DIR/reg-before" \
  "$E2E_DIR/reg-after-setup"
scn_check_key_absent "no per-user settings key" "$SCN_USER_KEY"
scn_check_key_absent "no machine settings key" "$SCN_MACHINE_KEY"

e2e_check_eq "the file starts with the UTF-16LE byte-order mark" "fffe" \
  "$(head -c 2 "$ini" | od -An -tx1 | tr -d ' \n')"
text=$(scn_ini_text "$ini")
printf '%s\n' "$text" >"$E2E_DIR/ini.txt"
e2e_check "every line ends in CR LF" \
  test "$(tail -c +3 "$ini" | iconv -f UTF-16LE -t UTF-8 | grep -c $'\r$')" = "$(wc -l <"$E2E_DIR/ini.txt")"
e2e_check "the entries are sorted by name" env LC_ALL=C sort -c -t= -k1,1 "$E2E_DIR/ini.txt"
e2e_check_not "the comment line is gone" grep -q '^;' "$E2E_DIR/ini.txt"
for entry in 'Global\AppData=1' 'Global\Integration=0' 'Global\SaveSettings=1' \
  'HKCU\Setup\Links\Desktop=1' 'HKCU\Setup\.7z\Set=0' 'HKCU\Setup\.zip\Set=1' \
  'HKCU\Viewer\Font="Consolas"'; do
  e2e_check "the file holds $entry" grep -qxF -- "$entry" "$E2E_DIR/ini.txt"
done
missing=
for key in 'Setup\.vlx\Set' 'Setup\.zip\Set' 'Setup\.cab\Set' 'Setup\.arj\Set' 'Setup\.lz\Set' \
  'Setup\.lzh\Set' 'Setup\.7z\Set' 'Setup\.tar\Set' 'Setup\.gz\Set' 'Setup\.uue\Set' \
  'Setup\.bz2\Set' 'Setup\.jar\Set' 'Setup\.iso\Set' 'Setup\.z\Set' 'Setup\.xz\Set' \
  'Setup\.zipx\Set' 'Setup\.zst\Set' 'Setup\.001\Set' 'Setup\Links\Desktop' \
  'Setup\Links\StartMenu' 'Setup\Links\Programs' 'Setup\ShellExt' 'Setup\CascadedMenu' \
  'Setup\MenuIcons' 'Setup\LegacyMenu'; do
  grep -qF -- "HKCU\\$key=" "$E2E_DIR/ini.txt" || missing="$missing $key"
done
e2e_check_eq "every stored choice is in the file" "" "$missing"
e2e_check_eq "no shortcut is made while integration is off" "" \
  "$(find "$WINEPREFIX/drive_c/users" "$WINEPREFIX/drive_c/ProgramData" -iname 'Vellox*.lnk' \
    2>/dev/null)"

scn_uninstall /s
e2e_check_eq "uninstall exits with 0" 0 "$E2E_RC"
scn_snapshot "$E2E_DIR/reg-after"
scn_check_same "uninstall wrote nothing to the registry keys concerned" "$E2E_DIR/reg-before" \
  "$E2E_DIR/reg-after"
e2e_check_not "the installation folder is gone, settings file included" test -e "$E2E_INSTALL"
e2e_finish
