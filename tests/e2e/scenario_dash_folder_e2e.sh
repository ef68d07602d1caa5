#!/usr/bin/env bash
# An installation in "C:\Apps - Portable\Vellox": a folder name with " -" in it, on a machine
# where "C:\Apps.exe" exists, the program Windows starts for an unquoted command of that
# folder. The suite is removed as the list of installed programs removes it: first through
# Wine's uninstaller running the entry's command (the user confirms), then, set up again,
# through the entry's quiet command started with CreateProcessW. Each time the folder and the
# entry must be gone, and the stranger must never have run.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup uninstall_entry uninstall self_removal program:Vellox.exe \
  program:reg_snapshot.exe program:run_command_line.exe
e2e_init scenario_dash_folder
folder='C:\Apps - Portable\Vellox'
runner="$E2E_PROGRAMS/run_command_line.exe"

# The stranger is the archiver stand-in: each start leaves a line in Vellox.log beside it.
cp "$E2E_PROGRAMS/Vellox.exe" "$WINEPREFIX/drive_c/Apps.exe"
stranger_log="$WINEPREFIX/drive_c/Vellox.log"
# The hazard is real: the unquoted command of this folder starts the stranger.
e2e_run 60 "$runner" "$folder\\uninstall.exe /s"
e2e_check "an unquoted command of this folder starts C:\\Apps.exe" test -f "$stranger_log"
rm -f "$stranger_log"

# check_removed HOW: after a removal, the folder and the entry are gone, the stranger did not run.
check_removed() {
  scn_wait_gone "$E2E_INSTALL" 30 || true
  e2e_check_not "$1: the installation folder is gone" test -e "$E2E_INSTALL"
  scn_check_key_absent "$1: the uninstall entry is gone" "$SCN_UNINSTALL_KEY"
  e2e_check_not "$1: C:\\Apps.exe was not started" test -e "$stranger_log"
}

# --- Round 1: the entry's command, confirmed by the user ----------------------------------------
scn_make_install "$folder"
# A link in the folder to a large folder elsewhere: not part of the installation's size.
mkdir -p "$E2E_DIR/elsewhere"
head -c 4194304 /dev/zero >"$E2E_DIR/elsewhere/big.dat"
ln -s "$E2E_DIR/elsewhere" "$E2E_INSTALL/linked"
scn_setup /s
e2e_check_eq "silent setup exits with 0" 0 "$E2E_RC"
scn_check_value "the entry's command is the quoted path" "$SCN_UNINSTALL_KEY" UninstallString \
  "\"$folder\\uninstall.exe\""
scn_check_value "the entry's quiet command adds /s" "$SCN_UNINSTALL_KEY" QuietUninstallString \
  "\"$folder\\uninstall.exe\" /s"
# The files' own sizes (find, links not followed) rounded up to KiB, at most what du counts.
bytes=$(find "$E2E_INSTALL" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
disk=$(du -sk "$E2E_INSTALL" | cut -f1)
size=$(scn_value "$SCN_UNINSTALL_KEY" EstimatedSize)
[[ $size == 0x* ]] || size=-1
e2e_check_between "EstimatedSize is the folder's size in KiB, without the linked folder" \
  $(((bytes + 1023) / 1024)) "$disk" $((size))
# The link is no file of the installation (its list does not name it); it goes before the
# removal, which would otherwise rightly leave the folder in place.
rm "$E2E_INSTALL/linked"

e2e_start uninstaller --remove 'Vellox archiver'
question=$(e2e_find_window 'Uninstall Vellox' 30)
e2e_check "Uninstall mode asks for confirmation" test -n "$question"
[ -n "$question" ] && e2e_key "$question" Return
e2e_wait 90
e2e_check_eq "wine uninstaller --remove ends with 0" 0 "$E2E_RC"
check_removed "entry's command"

# --- Round 2: the quiet command, as an installer or a management tool starts it ----------------
scn_make_install "$folder"
scn_setup /s
e2e_check_eq "second silent setup exits with 0" 0 "$E2E_RC"
e2e_run 90 "$runner" "$(scn_value "$SCN_UNINSTALL_KEY" QuietUninstallString)"
e2e_check_eq "the quiet command ends with 0, asking nothing" 0 "$E2E_RC"
check_removed "quiet command"
e2e_finish
