#!/usr/bin/env bash
# A translated installation: a language file uninstall.lng and a language library vlxlng.dll
# lie beside the program. Each text comes from the first source that has it: the file, then
# the library, then the program's own English table. The removal must unload the library before
# it deletes the files, so that the library goes with the folder.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup associations uninstall_entry uninstall self_removal language_file \
  language_library program:Vellox.exe program:vlxlng.dll
e2e_init scenario_language
scn_make_install
cp "$E2E_PROGRAMS/vlxlng.dll" "$E2E_INSTALL/vlxlng.dll"
# The file translates the archive description only (ANSI, Windows-1252); the library has the
# bitness word and the uninstall caption; the ZIP description is in neither.
{
  printf 'Notes for translators: everything before the marker is ignored.\r\n'
  printf '***messages***\r\n:STRINGS\r\n'
  printf 'IDS_VELLOXARC "Vellox-Archiv (Übersetzung)"\r\n'
} | iconv -f UTF-8 -t WINDOWS-1252 >"$E2E_INSTALL/uninstall.lng"

scn_setup /s
e2e_check_eq "setup exits with 0" 0 "$E2E_RC"
scn_check_value "the language file's text describes the archiver's class" "$SCN_CLASSES\\Vellox" \
  "" "Vellox-Archiv (Übersetzung)"
scn_check_value "a text in neither file nor library comes from the program" \
  "$SCN_CLASSES\\Vellox.ZIP" "" "Vellox ZIP archive"
scn_check_value "the library's text names the bitness in the uninstall entry" \
  "$SCN_UNINSTALL_KEY" DisplayName "Vellox 6.21 (64 Bit)"

# The confirmation of the removal carries the library's caption.
e2e_start "$E2E_INSTALL_WIN\\uninstall.exe"
question=$(e2e_find_window 'Vellox deinstallieren' 30)
e2e_check "the confirmation carries the library's caption" test -n "$question"
if [ -n "$question" ]; then
  e2e_screenshot confirmation >/dev/null
  e2e_key "$question" Return
fi
e2e_wait 60
e2e_check_eq "uninstall exits with 0" 0 "$E2E_RC"
scn_wait_gone "$E2E_INSTALL" 30 || true
e2e_check_not "the folder is gone, language library included" test -e "$E2E_INSTALL"
e2e_finish
