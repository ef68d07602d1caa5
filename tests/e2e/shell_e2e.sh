#!/usr/bin/env bash
# Shell integration end to end, in a throwaway prefix with the real registry and folders:
# an apply registers the suite in the Windows list of installed programs and writes shortcuts
# that an independent reader (lnkinfo) understands; a shortcut's hot key survives a second
# apply; and the removal leaves the prefix's registry keys, shortcuts and program groups as
# they were before the apply, both through the driver and through Wine's own uninstaller
# running the entry's command (Uninstall mode of the installed program).
#
# The apply and the removal run through the test-only integration driver (tests/drivers),
# which runs the product's integration code as if it were the installed program.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"

e2e_init shell
e2e_make_install
# Stand-ins for the files the integration registers and links to.
for name in vlxext.dll vlxext32.dll Vellox.chm WhatsNew.txt; do
  printf 'stand-in\r\n' >"$E2E_INSTALL/$name"
  printf '%s\r\n' "$name" >>"$E2E_INSTALL/Uninstall.lst"
done
# The "New" templates that an apply writes into the program folder are the installation's own
# files, and its list names them as the installer's list does.
printf 'vlxnew.dat\r\nzipnew.dat\r\n' >>"$E2E_INSTALL/Uninstall.lst"
[ -f "$E2E_INSTALL/Vellox.exe" ] || cp "$E2E_PROGRAMS/read_shell_link.exe" "$E2E_INSTALL/Vellox.exe"
PROGRAM_WIN="$E2E_INSTALL_WIN\\uninstall.exe"
DRIVER="$E2E_PROGRAMS/integration_driver.exe"
DRIVE_C="$WINEPREFIX/drive_c"

# The registry keys the integration writes to, and the folders its shortcuts go to.
KEYS=(
  'HKLM\Software\Classes'
  'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths'
  'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  'HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
  'HKLM\Software\RegisteredApplications'
  'HKLM\Software\Vellox'
  'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\App Paths'
  'HKCU\Software\Vellox'
)

# snapshot FILE: every concerned key as `wine reg export` writes it (UTF-8, no CR), or a line
# saying it is missing; then the list of files below the desktops and Start menus.
snapshot() {
  local out=$1 key i=0 exported
  : >"$out"
  for key in "${KEYS[@]}"; do
    i=$((i + 1))
    exported="$E2E_DIR/export-$i.reg"
    rm -f "$exported"
    echo "== $key" >>"$out"
    if wine reg export "$key" "$(e2e_winpath "$exported")" /y </dev/null >/dev/null 2>&1; then
      iconv -f UTF-16LE -t UTF-8 "$exported" | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//' >>"$out"
    else
      echo "(missing)" >>"$out"
    fi
  done
  echo "== folders" >>"$out"
  local folders=()
  local f
  for f in "$DRIVE_C"/users/*/Desktop "$DRIVE_C"/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu \
    "$DRIVE_C"/ProgramData/Microsoft/Windows/Start\ Menu; do
    [ -d "$f" ] && folders+=("$f")
  done
  find "${folders[@]}" | sed "s|^$DRIVE_C/||" | sort >>"$out"
}

lnk_field() {  # FILE LABEL: the value lnkinfo prints for a label
  lnkinfo "$1" 2>/dev/null | tr -d '\r' | awk -F': ' -v label="$2" \
    '{ key = $1; sub(/^[ \t]+/, "", key); sub(/[ \t]+$/, "", key) } key == label { print $2; exit }'
}

# Keys that every Windows has and a fresh Wine prefix lacks. The integration adds its handlers
# below them and, on removal, deletes only its own keys, so they must exist beforehand for the
# prefix to look as it did.
for key in 'HKCR\Drive\shellex\DragDropHandlers' 'HKCR\exefile\shellex\PropertySheetHandlers' \
  'HKCR\Folder\shellex\DragDropHandlers' 'HKLM\Software\RegisteredApplications'; do
  e2e_reg add "$key" /f
done

snapshot "$E2E_DIR/before.txt"

# --- Apply --------------------------------------------------------------------------------
e2e_run 120 "$DRIVER" "$PROGRAM_WIN" apply
e2e_check_eq "apply succeeds" 0 "$E2E_RC"
group=$(tr -d '\r' <"$E2E_DIR/last-stdout")
e2e_check_eq "the output names the all-users program group" \
  'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Vellox' "$group"

list=$(e2e_wine uninstaller --list 2>/dev/null | tr -d '\r')
e2e_check_contains "the Windows list of installed programs shows the entry" "$list" \
  "Vellox archiver|||Vellox 6.21 (64-bit)"
e2e_check_eq "the entry runs the installed program" "\"$PROGRAM_WIN\"" \
  "$(e2e_reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox archiver' UninstallString)"
e2e_check_eq "App Paths name the archiver" "$E2E_INSTALL_WIN\\Vellox.exe" \
  "$(e2e_reg_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Vellox.exe' '')"
e2e_check_eq "the 32-bit class is registered in the 32-bit view" "$E2E_INSTALL_WIN\\vlxext32.dll" \
  "$(e2e_reg_value 'HKLM\Software\Classes\Wow6432Node\CLSID\{7A2C90E1-3D55-4B35-8D1F-3C6E2B905A77}\InProcServer32' '')"

desktop_link="$DRIVE_C/users/Public/Desktop/Vellox.lnk"
e2e_check "the desktop shortcut is on the all-users desktop" test -f "$desktop_link"
e2e_check_eq "lnkinfo: desktop shortcut target" "$E2E_INSTALL_WIN\\Vellox.exe" \
  "$(lnk_field "$desktop_link" 'Local path')"
e2e_check_eq "lnkinfo: desktop shortcut description" "Create, open and extract archives" \
  "$(lnk_field "$desktop_link" 'Description')"
start_link="$DRIVE_C/ProgramData/Microsoft/Windows/Start Menu/Vellox.lnk"
e2e_check_eq "lnkinfo: Start-menu shortcut target" "$E2E_INSTALL_WIN\\Vellox.exe" \
  "$(lnk_field "$start_link" 'Local path')"
user_desktop=$(ls -d "$DRIVE_C"/users/*/Desktop | grep -v '/Public/' | head -n 1)
user_desktop_win=$(e2e_winpath "$user_desktop")
e2e_check_eq "lnkinfo: Start-menu shortcut working folder" "$user_desktop_win" \
  "$(lnk_field "$start_link" 'Working directory')"
for parent in "$DRIVE_C/ProgramData/Microsoft/Windows/Start Menu/Programs" \
  "$(dirname "$user_desktop")/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"; do
  which=${parent#"$DRIVE_C"/}
  e2e_check_eq "lnkinfo: help item in $which" \
    "$E2E_INSTALL_WIN\\Vellox.chm" "$(lnk_field "$parent/Vellox/Vellox help.lnk" 'Local path')"
  e2e_check_eq "four items in $which" 4 "$(find "$parent/Vellox" -name '*.lnk' | wc -l)"
done

# A hot key given to the desktop shortcut (header field at offset 0x40: Ctrl+Alt+V) survives
# the next apply.
printf '\x56\x06' | dd of="$desktop_link" bs=1 seek=64 conv=notrunc status=none
e2e_run 120 "$DRIVER" "$PROGRAM_WIN" apply
e2e_check_eq "second apply succeeds" 0 "$E2E_RC"
e2e_check_eq "the hot key survives an update" "56 06" \
  "$(od -An -tx1 -j64 -N2 "$desktop_link" | tr -s ' ' | sed 's/^ //;s/ $//')"

# --- Remove -------------------------------------------------------------------------------
e2e_run 120 "$DRIVER" "$PROGRAM_WIN" remove
e2e_check_eq "remove succeeds" 0 "$E2E_RC"
e2e_check_not "the entry has left the list of installed programs" \
  e2e_reg_exists 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox archiver'
snapshot "$E2E_DIR/after.txt"
if diff -u "$E2E_DIR/before.txt" "$E2E_DIR/after.txt" >"$E2E_DIR/diff.txt"; then
  e2e_pass "registry keys, shortcuts and program groups are as before the apply"
else
  e2e_fail "registry keys, shortcuts and program groups are as before the apply"
  head -n 60 "$E2E_DIR/diff.txt"
fi

# --- Removal through the Windows list of installed programs ------------------------------
# Apply again, then let Wine's own uninstaller run the entry's command (the program without
# arguments: Uninstall mode). "sfxcmd" holding /s makes that run silent, so no question waits
# for an answer; the removal of files and of the program itself follows the file list.
e2e_run 120 "$DRIVER" "$PROGRAM_WIN" apply
e2e_check_eq "apply before the list removal succeeds" 0 "$E2E_RC"
sfxcmd=/s e2e_run 180 uninstaller --remove 'Vellox archiver'
e2e_check_eq "wine uninstaller --remove ends" 0 "$E2E_RC"
e2e_check_not "the entry has left the list after Uninstall mode" \
  e2e_reg_exists 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox archiver'
# The self-removal script deletes the program and its folder after the program has exited.
for _ in $(seq 1 60); do
  [ -e "$E2E_INSTALL" ] || break
  sleep 0.5
done
e2e_check_not "Uninstall mode removed the installation folder" test -e "$E2E_INSTALL"
if [ -e "$E2E_INSTALL" ]; then ls -la "$E2E_INSTALL" >&2; fi
snapshot "$E2E_DIR/after-uninstall.txt"
if diff -u "$E2E_DIR/before.txt" "$E2E_DIR/after-uninstall.txt" >"$E2E_DIR/diff2.txt"; then
  e2e_pass "after Uninstall mode, registry keys, shortcuts and groups are as before the apply"
else
  e2e_fail "after Uninstall mode, registry keys, shortcuts and groups are as before the apply"
  head -n 60 "$E2E_DIR/diff2.txt"
fi

e2e_finish
