#!/usr/bin/env bash
# A right-to-left translation: the Hebrew sample uninstall.lng (UTF-16, ":DIRECTION RTL") lies
# beside the program. Start-up reads it before any window exists and switches the whole process
# to the mirrored layout: the settings, context-items and completion dialogs come up mirrored,
# and so does the system's own message box, which no dialog procedure of ours touches. The
# file-mask field holds file names and wildcards, so it keeps left-to-right reading. The
# translated texts reach the registry.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
scn_require startup setup associations uninstall language_file program:dialog_probe.exe \
  program:reg_snapshot.exe
e2e_init scenario_rtl
scn_make_install
cp "$SCN_SAMPLES/languages/Hebrew/uninstall.lng" "$E2E_INSTALL/uninstall.lng"

WS_EX_LAYOUTRTL=$((0x400000))
WS_EX_RTLREADING=$((0x2000))
# Dialogs are found by the controls they hold (resources/resource.h); the completion dialog's
# IDs are also used by the settings dialog, so it is the one without the settings' button.
SETTINGS=5128      # IDC_SETCONTEXTMENU
MASKS=127          # IDC_CONTEXTALWAYSARC
DONE=5106,!5128    # IDC_VIEWLICENSE
CONFIRM_NO=7       # IDNO of the confirmation box

# probe ARGS...: dialog_probe.exe (tests/programs) in this prefix; its output without CRs.
probe() {
  wine "$E2E_PROGRAMS/dialog_probe.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'
}
# style OUTPUT KEY: the extended style that probe printed for KEY ("window" or a control id).
style() {
  awk -v key="$2" '$1 == key { print $2 }' <<<"$1"
}
# check_bit DESCRIPTION STYLE BIT WANTED(1|0): a style that could not be read fails either way.
check_bit() {
  if [ -z "$2" ]; then
    e2e_fail "$1 (the window or control was not found)"
    return
  fi
  local set=0
  (($2 & $3)) && set=1
  e2e_check_eq "$1" "$4" "$set"
}

cd "$E2E_INSTALL" || exit 1
e2e_start "$E2E_INSTALL_WIN\\uninstall.exe" /setup /noexplorer
cd "$E2E_CWD" || exit 1
settings=$(e2e_find_window 'התקנת Vellox' 30)
e2e_check "the settings dialog carries the translated caption" test -n "$settings"
styles=$(probe $SETTINGS styles)
e2e_screenshot settings >/dev/null
check_bit "the settings dialog is mirrored" "$(style "$styles" window)" $WS_EX_LAYOUTRTL 1

probe $SETTINGS press $SETTINGS >/dev/null
styles=$(probe $MASKS styles $MASKS)
e2e_screenshot context-items >/dev/null
check_bit "the context-items dialog is mirrored" "$(style "$styles" window)" $WS_EX_LAYOUTRTL 1
check_bit "the file-mask field keeps left-to-right reading" "$(style "$styles" $MASKS)" \
  $WS_EX_RTLREADING 0
probe $MASKS press 2 >/dev/null  # Cancel

probe $SETTINGS press 1 >/dev/null  # OK
styles=$(probe "$DONE" styles)
e2e_screenshot done >/dev/null
check_bit "the completion dialog is mirrored" "$(style "$styles" window)" $WS_EX_LAYOUTRTL 1
probe "$DONE" press 1 >/dev/null
e2e_wait 60
e2e_check_eq "setup exits with 0" 0 "$E2E_RC"
scn_check_value "the UTF-16 file's text describes the archiver's class" "$SCN_CLASSES\\Vellox" \
  "" "ארכיון Vellox"

# The confirmation of the removal is the system's message box: only the process's default
# layout mirrors it. No keeps the installation.
e2e_start "$E2E_INSTALL_WIN\\uninstall.exe"
styles=$(probe $CONFIRM_NO styles)
e2e_screenshot confirmation >/dev/null
check_bit "the confirmation box is mirrored" "$(style "$styles" window)" $WS_EX_LAYOUTRTL 1
probe $CONFIRM_NO press $CONFIRM_NO >/dev/null
e2e_wait 60
# 1602, declined; wine hands the Unix side the low eight bits of a code.
e2e_check_eq "uninstall exits with 1602 (declined) after No" $((1602 & 255)) "$E2E_RC"
e2e_check "No keeps the installation" test -f "$E2E_INSTALL/Vellox.exe"
e2e_finish
