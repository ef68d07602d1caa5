#!/usr/bin/env bash
# An administrator deploys the suite silently with a change log and removes it with the entry's
# quiet command and the log: the log of each run, replayed on registry exports and drive C:
# listings taken before the run, must give exactly the state after it (tests/e2e/log_replay.py):
# a change missing from the log or a claim the machine does not show fails. Also: a run stopped
# dead after its k-th change leaves a log whose last line is that change, and a log that cannot
# be written never stops Setup or Uninstall. Met on the way: a multi-string among the suite's
# settings, deleted by Uninstall (its log line holds every item), and a portable installation
# whose Vellox.ini cannot be written (no line claims an entry the file never received).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup associations shortcuts uninstall_entry uninstall self_removal \
  program:Vellox.exe program:stopped_program.exe tool:python3
e2e_init scenario_admin_log

# The log's folders do not exist yet; the name has blanks and an ampersand.
log_win='C:\Deploy logs\Vellox & co\changes.log'
log_unix=$(e2e_unixpath "$log_win")

state() { scn_log_state "$@"; }
check_replay() { scn_check_replay "$1" "$log_unix" 'Deploy logs' "${@:2}"; }

# last_line_matches PATTERN: the log's last line matches the Perl pattern.
last_line_matches() {
  tail -1 "$log_unix" | grep -q -P "$1"
}

# Another archiver owns ".7z" and a disc tool ".iso": Setup takes ".7z" over with a backup.
e2e_reg add "$SCN_CLASSES\\.7z" /ve /d OtherArc.7z /f
e2e_reg add "$SCN_CLASSES\\OtherArc.7z\\shell\\open\\command" /ve /d 'otherarc.exe "%1"' /f
e2e_reg add "$SCN_CLASSES\\.iso" /ve /d DiscTool.Image /f
scn_make_install
state before
scn_setup /s "/log=$log_win"
e2e_check_eq "silent setup with a log exits with 0" 0 "$E2E_RC"
e2e_check "the log and its missing folders are created" test -s "$log_unix"
e2e_check "the log opens with the run's mode and command line" \
  grep -q -P '\tstart\tmode=Setup\tversion=[0-9.]+\tcommand=.*/setup /s "?/log=C:\\Deploy logs' \
  "$log_unix"
e2e_check "the log names the backup of .7z with its former owner" \
  grep -q -P '\tassociation\textension=\.7z\tbefore=OtherArc\.7z\tnote=backup taken' "$log_unix"
e2e_check "the log ends with the exit code" last_line_matches '\texit\tcode=0\r$'
state setup
check_replay "every change of setup is in the log, and nothing else" before setup

# A multi-string among the suite's settings, which Uninstall deletes with the rest.
e2e_reg add "$SCN_USER_KEY\\Setup" /v History /t REG_MULTI_SZ /d 'first\0second\0third' /f
state setup-more

# The quiet command of the uninstall entry, with the log as a separate argument: /log does not
# cancel the uninstall request.
quiet=$(scn_value "$SCN_UNINSTALL_KEY" QuietUninstallString)
e2e_check_eq "the entry's quiet command" "\"$E2E_INSTALL_WIN\\uninstall.exe\" /s" "$quiet"
scn_uninstall /s /log "$log_win"
e2e_check_eq "silent uninstall with a log exits with 0" 0 "$E2E_RC"
e2e_check_not "the installation folder is gone" test -e "$E2E_INSTALL"
e2e_check "the second run is appended after the first" \
  test "$(grep -c -P '\tstart\t' "$log_unix")" = 2
e2e_check "the log names what the removal script is left to delete" \
  grep -q -P '\tleft-to-script\tpath=C:\\Program Files\\Vellox\\uninstall\.exe' "$log_unix"
e2e_check "the log names .7z given back to its former owner" \
  grep -q -P '\tassociation\textension=\.7z\tbefore=Vellox\tafter=OtherArc\.7z\tnote=given back' \
  "$log_unix"
e2e_check "the log holds the multi-string's every item" grep -q -P \
  '\tvalue-deleted\tkey=HKEY_CURRENT_USER\\Software\\Vellox\\Setup\tvalue=History\tbefore=REG_MULTI_SZ:first%00second%00third' \
  "$log_unix"
state uninstall
check_replay "every change of uninstall is in the log, and nothing else" setup-more uninstall

# A run stopped dead after its 40th change: the log's last line is that change, and it is in
# the registry.
rm -f "$log_unix"
scn_make_install
cp "$E2E_PROGRAMS/stopped_program.exe" "$E2E_INSTALL/uninstall.exe"
VLX_STOP_AFTER=40 scn_setup /s "/log=$log_win"
e2e_check_eq "the stopped setup ends as stopped" 99 "$E2E_RC"
e2e_check_eq "the log holds the start line and the 40 changes" 41 "$(grep -c . "$log_unix")"
last=$(tail -1 "$log_unix")
key=$(printf '%s' "$last" | grep -o -P '(?<=\tkey=)[^\t]*')
value=$(printf '%s' "$last" | grep -o -P '(?<=\tvalue=)[^\t]*')
data=$(printf '%s' "$last" | grep -o -P '(?<=\tafter=)[^\t\r]*')
case $data in
  REG_DWORD:*) data=$(printf '0x%x' "${data#REG_DWORD:}") ;;  # as scn_value shows numbers
  *) data=${data#*:} ;;
esac
e2e_check "the last line is a value written (${last#*	})" test -n "$key"
e2e_check_eq "the last value written is in the registry" "$data" \
  "$(scn_value "${key/HKEY_CLASSES_ROOT/$SCN_CLASSES}" "$value")"
scn_setup /s
scn_uninstall /s

# A portable installation whose Vellox.ini is read-only: Setup keeps its choices in memory, the
# file keeps its text, and the log says so instead of claiming entries the file never took.
rm -f "$log_unix"
scn_make_install
ini="$E2E_INSTALL/Vellox.ini"
printf '%s\r\n' 'Global\AppData=1' 'Global\Integration=0' 'Global\SaveSettings=1' \
  'HKCU\Setup\Links\Desktop=0' | iconv -f UTF-8 -t UTF-16LE | { printf '\377\376'; cat; } >"$ini"
chmod a-w "$ini"
cp "$ini" "$E2E_DIR/ini-before"
state portable-before
scn_setup /s "/log=$log_win"
e2e_check_eq "portable setup with a read-only settings file exits with 0" 0 "$E2E_RC"
e2e_check "the settings file keeps its text" cmp -s "$ini" "$E2E_DIR/ini-before"
e2e_check "the log says the settings file was not written" grep -q -P \
  '\tnotice\tpath=[^\t]*Vellox\.ini\tnote=not written, the file keeps its former content' \
  "$log_unix"
cp "$ini" "$E2E_DIR/ini-after"
state portable-after
check_replay "no line of the portable setup claims what the settings file did not take" \
  portable-before portable-after --ini "$E2E_DIR/ini-before" "$E2E_DIR/ini-after"
chmod u+w "$ini"
scn_uninstall /s

# A log that cannot be opened (its name is a folder): both runs complete and write nothing.
scn_make_install
mkdir -p "$E2E_DIR/blocked"
blocked=$(e2e_winpath "$E2E_DIR/blocked")
scn_setup /s "/log=$blocked"
e2e_check_eq "setup with an unwritable log exits with 0" 0 "$E2E_RC"
scn_check_value "and integrates all the same" "$SCN_CLASSES\\.vlx" "" Vellox
scn_uninstall /s "/log=$blocked"
e2e_check_eq "uninstall with an unwritable log exits with 0" 0 "$E2E_RC"
e2e_check_not "and removes the installation all the same" test -e "$E2E_INSTALL"
e2e_finish
