#!/usr/bin/env bash
# A portable installation whose Vellox.ini is a link to a file in another folder, as a synced
# folder keeps it, with the hidden attribute set on that file and entries of its own. Silent
# Setup must write the settings through the link: the link stays a link to the same file, that
# file holds the new choices beside its other entries and stays hidden, and no temporary file
# is left beside the link or beside the file.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup settings_file
e2e_init scenario_ini_link
scn_make_install
sync_win='C:\users\Public\Sync'
sync=$(e2e_unixpath "$sync_win")
mkdir -p "$sync"
target="$sync/Vellox.ini"
link="$E2E_INSTALL/Vellox.ini"
printf '%s\r\n' 'Global\Integration=0' 'HKCU\Viewer\Font="Consolas"' 'HKCU\Setup\.7z\Set=0' |
  iconv -f UTF-8 -t UTF-16LE | { printf '\377\376'; cat; } >"$target"
ln -s "$target" "$link"

# The attribute columns of "attrib" (the name follows them): H for hidden.
is_hidden() {
  e2e_wine attrib "$1" 2>/dev/null | tr -d '\r' | cut -c1-10 | grep -q H
}
e2e_wine attrib +h "$sync_win\\Vellox.ini" >/dev/null 2>&1
e2e_check "the target is hidden before setup" is_hidden "$sync_win\\Vellox.ini"

scn_setup /s
e2e_check_eq "setup exits with 0" 0 "$E2E_RC"
e2e_check "Vellox.ini is still a link" test -L "$link"
e2e_check_eq "the link still names the same file" "$target" "$(readlink "$link")"
text=$(scn_ini_text "$target")
printf '%s\n' "$text" >"$E2E_DIR/ini.txt"
for entry in 'Global\SaveSettings=1' 'HKCU\Setup\.zip\Set=1' 'HKCU\Setup\.7z\Set=0' \
  'HKCU\Viewer\Font="Consolas"' 'Global\Integration=0'; do
  e2e_check "the target holds $entry" grep -qxF -- "$entry" "$E2E_DIR/ini.txt"
done
e2e_check "the target is still hidden" is_hidden "$sync_win\\Vellox.ini"
e2e_check_eq "no temporary file is left on either side" "" \
  "$(find "$sync" "$E2E_INSTALL" -iname 'Vellox.ini.tmp' 2>/dev/null)"
e2e_finish
