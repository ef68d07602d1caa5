#!/usr/bin/env bash
# Start-up of the real program: /wait, switches that run neither mode, the removal warning of
# /warning (with and without a language library) and the program's imports.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"

# The English text of a message, as the program's own string table has it.
# The resource script has CR LF line ends on a checkout (see .gitattributes).
string_table_text() {
  tr -d '\r' <"$VLX_SOURCE_DIR/src/resources/strings.rc" |
    sed -n "s/^ *$1 \"\(.*\)\"\$/\1/p" | sed 's/""/"/g'
}

# --- Imports: Windows system libraries only (the program is linked statically) -------------
imports=$(x86_64-w64-mingw32-objdump -p "$E2E_UNINSTALL_EXE" | sed -n 's/^\s*DLL Name: //p' |
  tr '[:lower:]' '[:upper:]' | sort -u)
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|OLE32|OLEAUT32|COMCTL32|COMDLG32|MSVCRT|SHLWAPI|VERSION|UCRTBASE|API-MS-WIN-CRT-[A-Z0-9-]+)\.DLL$'
unexpected=$(printf '%s\n' "$imports" | grep -Ev "$allowed" || true)
e2e_check_eq "uninstall.exe imports only system libraries ($(echo $imports))" "" "$unexpected"
e2e_check_contains "uninstall.exe imports KERNEL32" "$imports" "KERNEL32.DLL"

e2e_init startup
e2e_make_install
program_win="$E2E_INSTALL_WIN\\uninstall.exe"
caption=$(string_table_text IDS_UNINSTALLVLX)
completed=$(string_table_text IDS_UNINSTALLCOMPLETED)
# An empty expectation would match any window and any text.
e2e_check "the caption is read from the string table" test -n "$caption"
e2e_check "the completion text is read from the string table" test -n "$completed"

installed_files_intact() {
  [ -f "$E2E_INSTALL/uninstall.exe" ] && [ -f "$E2E_INSTALL/license.txt" ] &&
    [ -f "$E2E_INSTALL/Vlx.txt" ] && [ -f "$E2E_INSTALL/Uninstall.lst" ]
}

# --- /wait: pauses two seconds, then exits 0 without uninstalling ----------------------------
# The pause is what the self-removal script relies on: only a lower bound is checked.
e2e_run 60 "$program_win" /wait
e2e_check_eq "/wait exits 0" 0 "$E2E_RC"
e2e_check "/wait pauses at least two seconds ($E2E_SECONDS s)" \
  test "$(echo "$E2E_SECONDS >= 1.9" | bc)" = 1
e2e_check "/wait leaves the installation alone" installed_files_intact

# --- Switches that run neither mode ----------------------------------------------------------
# An unknown switch, /silent (not the silent switch) and a lone prefix all count as switches,
# so Uninstall mode (which asks first) never starts and nothing waits for an answer.
# The screen is watched while each run lasts: a question or notice would stay up and be seen.
for args in /foo /silent / "-Setu" "/noe /s"; do
  # shellcheck disable=SC2086
  e2e_run_watched 60 "$program_win" $args
  e2e_check_eq "'$args' exits 0" 0 "$E2E_RC"
  e2e_check_eq "'$args' shows no window" "" "$E2E_WINDOW"
done
e2e_check "switches left the installation alone" installed_files_intact

# The installer archive's "sfxcmd" only ever makes a run silent: /setup there starts nothing.
sfxcmd="C:\\setup.exe /setup /warning" e2e_run_watched 60 "$program_win" /foo
e2e_check_eq "sfxcmd holding /setup exits 0" 0 "$E2E_RC"
e2e_check_eq "sfxcmd holding /setup shows no window" "" "$E2E_WINDOW"
sfxcmd="/s $(head -c 6000 /dev/zero | tr '\0' 'y')" e2e_run 60 "$program_win" /foo
e2e_check_eq "a 6,000-character sfxcmd exits 0" 0 "$E2E_RC"

# A huge command line is taken in its stride.
long_arg="/init$(head -c 20000 /dev/zero | tr '\0' 'x')"
e2e_run 60 "$program_win" "$long_arg" /foo
e2e_check_eq "a 20,000-character switch exits 0" 0 "$E2E_RC"

# --- /warning: the removal warning, found on screen and answered -----------------------------
# answer_warning LABEL EXPECTED_CAPTION EXPECTED_FIRST_LINE
answer_warning() {
  local label=$1 want_caption=$2 want_first=$3
  e2e_start "$program_win" /warning
  local id
  id=$(e2e_find_window "^$want_caption\$" 30)
  if [ -z "$id" ]; then
    e2e_fail "$label: the warning appears with caption '$want_caption'"
    e2e_wait 10
    return
  fi
  e2e_pass "$label: the warning appears with caption '$want_caption'"
  local shot text
  shot=$(e2e_screenshot "$label")
  e2e_check "$label: screenshot kept" test -s "$shot"
  text=$(wine "$E2E_PROGRAMS/window_text.exe" "$want_caption" </dev/null 2>/dev/null | tr -d '\r')
  e2e_check_contains "$label: first line from the string table" "$text" "$want_first"
  e2e_check_contains "$label: the program's path in the text" "$text" "$program_win"
  e2e_key "$id" Return
  e2e_check "$label: Enter closes the warning" e2e_window_gone "$id" 10
  e2e_wait 20
  e2e_check_eq "$label: exits 0 after the answer" 0 "$E2E_RC"
}

answer_warning warning "$caption" "$completed"

# With a language library beside the program, its texts win over the program's own.
cp "$E2E_PROGRAMS/vlxlng.dll" "$E2E_INSTALL/vlxlng.dll"
answer_warning warning-library "Vellox deinstallieren" "Vellox wurde deinstalliert."
rm -f "$E2E_INSTALL/vlxlng.dll"

# A corrupt library is ignored: the program's own texts again.
head -c 3000 /dev/urandom >"$E2E_INSTALL/vlxlng.dll"
answer_warning warning-corrupt-library "$caption" "$completed"
rm -f "$E2E_INSTALL/vlxlng.dll"

e2e_finish
