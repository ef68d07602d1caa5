#!/usr/bin/env bash
# Uninstall mode end to end: the real uninstall.exe in scratch installations of a throwaway
# prefix. Files in use are held by a helper process (holdfile.exe); a listed folder that is a
# link points at a canary folder outside the installation; entries that lead outside must leave
# their targets alone. The first run's command interpreter is a stand-in that records how it
# was started and runs nothing, so the self-removal script is checked byte by byte where it was
# written and then run by Wine's command interpreter; a hidden start through the real ComSpec
# is watched until the folder is gone.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_init uninstall

HOLDFILE="$E2E_PROGRAMS/holdfile.exe"
MARKERS="$E2E_DIR/wine/prefix/drive_c/markers"
mkdir -p "$MARKERS"
PENDING_KEY='HKLM\System\CurrentControlSet\Control\Session Manager'

pending() { wine reg query "$PENDING_KEY" /v PendingFileRenameOperations </dev/null 2>/dev/null; }
temp_script() { find "$E2E_DIR/wine/prefix/drive_c/users" -name 'Uninstall_Vlx.Bat' 2>/dev/null | head -n 1; }
gone() { [ ! -e "$1" ] && [ ! -L "$1" ]; }

# hold PROGRAM MARKER ARGS...: starts holdfile (or a copy of it) and waits until it holds its
# file.
HOLDERS=()
hold() {
  local program=$1 marker=$2
  shift 2
  wine "$program" "$@" "C:\\markers\\$marker" </dev/null >/dev/null 2>&1 &
  HOLDERS+=($!)
  e2e_wait_for 30 test -e "$MARKERS/$marker" || e2e_fail "helper $marker did not start"
}
# release_all: lets every holder go and waits until each has ended (a holder sees its marker
# gone within a tenth of a second; it gives up by itself after five minutes).
release_all() {
  rm -f "$MARKERS"/*
  [ ${#HOLDERS[@]} -eq 0 ] || wait "${HOLDERS[@]}" 2>/dev/null
  HOLDERS=()
}

# --- 1. Silent run in a non-ASCII folder: list rules, files in use, links, unsafe entries ------
INST_WIN='C:\Programme\Vellöx'
INST=$(e2e_unixpath "$INST_WIN")
mkdir -p "$INST/sub/deep" "$E2E_DIR/canary"
cp "$E2E_UNINSTALL_EXE" "$INST/uninstall.exe"
echo a >"$INST/a.txt"
echo b >"$INST/sub/b.txt"
echo c >"$INST/sub/deep/c.txt"
cp "$HOLDFILE" "$INST/helper1.exe"
cp "$HOLDFILE" "$INST/helper2.exe"
echo older >"$INST/helper2.exe.0.tmp"
echo open >"$INST/open.txt"
echo keep >"$E2E_DIR/canary/keep.txt"
ln -s "$E2E_DIR/canary" "$INST/lnk"
echo outside >"$INST/../outside.txt"
echo canary >"$E2E_DIR/wine/prefix/drive_c/abs_canary.txt"
printf '%s\r\n' 'sub' 'sub\deep ' $'sub\\deep\\c.txt\t' 'sub\b.txt' 'a.txt   ' 'uninstall.exe' \
  'Uninstall.lst' 'missing.txt' 'missing\x.txt' '..\outside.txt' 'C:\abs_canary.txt' \
  '\abs_canary.txt' 'sub\..\..\outside.txt' 'lnk\keep.txt' 'lnk' 'helper1.exe' 'helper2.exe' \
  'open.txt' '   ' >"$INST/Uninstall.lst"

hold "$INST_WIN\\helper1.exe" m1 run
hold "$INST_WIN\\helper2.exe" m2 run
hold "$HOLDFILE" m3 open "$INST_WIN\\open.txt"

# The command interpreter is a stand-in that only records its arguments: the script stays in
# the temporary folder for a look at its bytes. Wine takes ComSpec from the registry, not from
# the Unix environment.
mkdir -p "$E2E_DIR/wine/prefix/drive_c/standin"
cp "$E2E_PROGRAMS/Vellox.exe" "$E2E_DIR/wine/prefix/drive_c/standin/interp.exe"
e2e_reg add 'HKCU\Environment' /v ComSpec /d 'C:\standin\interp.exe' /f
export VELLOX_STANDIN_LOG
VELLOX_STANDIN_LOG=$(e2e_winpath "$E2E_DIR/interp.log")
e2e_run_watched 60 "$INST_WIN\\uninstall.exe" /s
unset VELLOX_STANDIN_LOG
e2e_reg delete 'HKCU\Environment' /v ComSpec /f
# Files in use go at the next restart: 3010, of which wine hands the Unix side the low byte.
e2e_check_eq "silent uninstall exits 3010" $((3010 & 255)) "$E2E_RC"
e2e_check_eq "no window in a silent run" "" "$E2E_WINDOW"
for f in a.txt sub Uninstall.lst helper1.exe helper2.exe; do
  e2e_check "$f removed" gone "$INST/$f"
done
e2e_check "the program is left for the script" test -f "$INST/uninstall.exe"
e2e_check "a running program is renamed to .0.tmp" test -f "$INST/helper1.exe.0.tmp"
e2e_check "the next free number is taken (.1.tmp)" test -f "$INST/helper2.exe.1.tmp"
e2e_check "the older .0.tmp is left alone" grep -q older "$INST/helper2.exe.0.tmp"
e2e_check "a file that cannot be renamed stays in place" test -f "$INST/open.txt"
e2e_check "the canary behind a link survives" grep -q keep "$E2E_DIR/canary/keep.txt"
e2e_check "a .. entry leaves its target alone" test -f "$INST/../outside.txt"
e2e_check "an absolute entry leaves its target alone" test -f "$E2E_DIR/wine/prefix/drive_c/abs_canary.txt"
PENDING=$(pending)
e2e_check_contains "renamed file scheduled" "$PENDING" 'helper1.exe.0.tmp'
e2e_check_contains "second renamed file scheduled" "$PENDING" 'helper2.exe.1.tmp'
e2e_check_contains "unrenamable file scheduled where it is" "$PENDING" 'open.txt'
e2e_check_not "the program is not scheduled" grep -q 'uninstall.exe' <<<"$PENDING"
e2e_check_not "a silent run schedules no folder" grep -qE 'Vell.x(\\0|$)' <<<"$PENDING"

SCRIPT=$(temp_script)
e2e_check "the script is in the temporary folder" test -f "$SCRIPT"
# One start of the interpreter, its last arguments /c and the script (by its path or by its
# name in the interpreter's working folder). The program does not wait for the interpreter:
# its record is waited for.
INTERP_LOG="$E2E_DIR/interp.log"
e2e_wait_for 30 grep -q 'interp' "$INTERP_LOG" 2>/dev/null
e2e_check_eq "ComSpec from the registry is started once" 1 "$(grep -c . "$INTERP_LOG" 2>/dev/null)"
e2e_check "its last arguments are /c and the script ($(tr -d '\r' <"$INTERP_LOG" 2>/dev/null))" \
  awk -F'\t' '$1 == "C:\\standin\\interp.exe" && $(NF - 1) == "/c" &&
    tolower($NF) ~ /(^|\\)uninstall_vlx\.bat\r?$/ { ok = 1 } END { exit !ok }' "$INTERP_LOG"
if [ -f "$SCRIPT" ]; then
  e2e_check_eq "silent script has 12 lines" 12 "$(grep -c $'\r$' "$SCRIPT")"
  e2e_check_eq "every line ends in CR LF" "$(wc -l <"$SCRIPT")" "$(grep -c $'\r$' "$SCRIPT")"
  e2e_check_eq "first line" '"C:\Programme\Vell'$'\x94''x\uninstall.exe" /wait'$'\r' \
    "$(LC_ALL=C head -n 1 "$SCRIPT")"
  e2e_check_eq "rd line in the OEM code page" 'rd "C:\Programme\Vell'$'\x94''x"'$'\r' \
    "$(LC_ALL=C sed -n 5p "$SCRIPT")"
  e2e_check_not "no ANSI or UTF-8 bytes" env LC_ALL=C grep -q $'\xf6\|\xc3' "$SCRIPT"
fi

# Let go of everything, clear what only a restart would remove, and let cmd run the script.
release_all
rm -f "$INST/helper1.exe.0.tmp" "$INST/helper2.exe.1.tmp" "$INST/helper2.exe.0.tmp" \
  "$INST/open.txt" "$INST/lnk"
SCRIPT_WIN=$(e2e_winpath "$SCRIPT")
e2e_run 60 cmd /c "$SCRIPT_WIN"
e2e_check "the script deletes the program" gone "$INST/uninstall.exe"
e2e_check "the script removes the folder" gone "$INST"
e2e_check "the script deletes itself" gone "$SCRIPT"

# --- 2. Hidden start through COMSPEC from a folder with '%' in its name ----------------------
e2e_make_install 'C:\Apps\50% off %PATH%'
INST2=$E2E_INSTALL
e2e_run 60 "$E2E_INSTALL_WIN\\uninstall.exe" /s
e2e_check_eq "uninstall from a % folder exits 0" 0 "$E2E_RC"
e2e_check "the hidden script removes the % folder" e2e_wait_for 30 gone "$INST2"
e2e_check "and deletes itself" e2e_wait_for 10 bash -c '[ -z "$(find "$1" -name Uninstall_Vlx.Bat)" ]' _ \
  "$E2E_DIR/wine/prefix/drive_c/users"

# --- 3. Confirmation and the restart notice in a folder named Vellox --------------------------
e2e_make_install 'C:\Program Files\Vellox'
INST3=$E2E_INSTALL
echo busy >"$INST3/busy.dat"
printf 'busy.dat\r\n' >>"$INST3/Uninstall.lst"

e2e_start "$E2E_INSTALL_WIN\\uninstall.exe"
WIN=$(e2e_find_window 'Uninstall Vellox' 30)
e2e_check "the confirmation is shown" test -n "$WIN"
[ -n "$WIN" ] && e2e_key "$WIN" n
e2e_wait 30
e2e_check_eq "answer No exits 1602" $((1602 & 255)) "$E2E_RC"
e2e_check "answer No removes nothing" test -f "$INST3/license.txt"
e2e_check "answer No keeps the list" test -f "$INST3/Uninstall.lst"

hold "$HOLDFILE" m4 open "$E2E_INSTALL_WIN\\busy.dat"
e2e_start "$E2E_INSTALL_WIN\\uninstall.exe"
WIN=$(e2e_find_window 'Uninstall Vellox' 30)
[ -n "$WIN" ] && e2e_key "$WIN" y
[ -n "$WIN" ] && e2e_window_gone "$WIN" 10
NOTICE=$(e2e_find_window 'Uninstall Vellox' 30)
e2e_check "one restart notice is shown" test -n "$NOTICE"
[ -n "$NOTICE" ] && e2e_key "$NOTICE" Return
e2e_wait 30
e2e_check_eq "uninstall with a file in use exits 3010" $((3010 & 255)) "$E2E_RC"
e2e_check "listed files removed" gone "$INST3/license.txt"
e2e_check "the file in use stays for the restart" test -f "$INST3/busy.dat"
PENDING=$(pending)
e2e_check_contains "file in use scheduled" "$PENDING" 'Vellox\busy.dat'
e2e_check "the folder named Vellox is scheduled" grep -qE 'Program Files\\Vellox(\\0|$)' <<<"$PENDING"
release_all

e2e_finish
