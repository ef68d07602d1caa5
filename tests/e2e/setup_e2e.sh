#!/usr/bin/env bash
# Setup mode end to end: a silent run with preset choices, the same choices made by hand in the
# real dialogs, runs without a display, and screenshots of the three dialogs at 96 and 144 DPI.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
e2e_init setup
e2e_make_install

UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox archiver'
SETTINGS_KEY='HKCU\Software\Vellox'

# The state that Setup mode produces: the suite's settings, the extensions and class keys,
# the uninstall entry and the shortcuts, as text that two runs can be compared by.
capture_state() {
  local out=$1 ext
  : >"$out"
  e2e_reg export "$SETTINGS_KEY" "$E2E_DIR/settings.reg" /y
  [ -f "$E2E_DIR/settings.reg" ] && iconv -f UTF-16LE -t UTF-8 "$E2E_DIR/settings.reg" | tr -d '\r' >>"$out"
  rm -f "$E2E_DIR/settings.reg"
  for ext in .vlx .zip .cab .arj .lz .7z .tar .gz .jar .iso .001 .ace; do
    printf '%s=%s\n' "$ext" "$(e2e_reg_value "HKLM\\Software\\Classes\\$ext" "" 2>/dev/null)" >>"$out"
  done
  printf 'uninstall=%s\n' "$(e2e_reg_value "$UNINSTALL_KEY" UninstallString 2>/dev/null)" >>"$out"
  (cd "$WINEPREFIX/drive_c" && find users ProgramData -iname '*vellox*' 2>/dev/null | sort) >>"$out"
}

# Starts uninstall.exe in the background from the installation folder, as the installer does.
start_setup() {
  cd "$E2E_INSTALL" || return 1
  e2e_start "$E2E_INSTALL_WIN\\uninstall.exe" "$@"
  cd "$E2E_CWD" || return 1
}

# shot_window ID LABEL: a screenshot of one window (artifacts/setup-LABEL.png).
shot_window() {
  sleep 0.5
  import -display "$DISPLAY" -window "$1" "$E2E_ARTIFACTS/$E2E_NAME-$2.png" 2>/dev/null </dev/null ||
    e2e_fail "screenshot $2"
}

# Runs uninstall.exe with the given arguments from the installation folder (where the
# installer starts it), watching the screen until it ends: E2E_WINDOW names a window seen.
run_watched() {
  local limit=$1
  shift
  start_setup "$@"
  e2e_wait_watched "$limit"
}

# A copy of the untouched prefix, to start the second run from the same state.
save_clean_prefix() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$E2E_DIR/wine-clean"
  cp -a "$WINEPREFIX" "$E2E_DIR/wine-clean"
  vlx_start_server
}
restore_clean_prefix() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  cp -a "$E2E_DIR/wine-clean" "$WINEPREFIX"
  vlx_start_server
}

save_clean_prefix

# --- Silent run with /init ---------------------------------------------------------------------
run_watched 60 /setup /s /initA1100D1
e2e_check_eq "silent setup exits 0" 0 "$E2E_RC"
e2e_check_eq "silent setup shows no window" "" "$E2E_WINDOW"
e2e_check_eq ".vlx choice stored" 0x1 "$(e2e_reg_value "$SETTINGS_KEY\\Setup\\.vlx" Set)"
e2e_check_eq ".cab choice stored" 0x0 "$(e2e_reg_value "$SETTINGS_KEY\\Setup\\.cab" Set)"
e2e_check_eq ".arj choice stored" 0x0 "$(e2e_reg_value "$SETTINGS_KEY\\Setup\\.arj" Set)"
e2e_check_eq ".7z keeps its default" 0x1 "$(e2e_reg_value "$SETTINGS_KEY\\Setup\\.7z" Set)"
e2e_check_eq "desktop shortcut chosen" 0x1 "$(e2e_reg_value "$SETTINGS_KEY\\Setup\\Links" Desktop)"
e2e_check_eq ".vlx opens with the archiver" Vellox "$(e2e_reg_value 'HKLM\Software\Classes\.vlx' '')"
e2e_check_eq ".zip opens with the archiver" Vellox.ZIP "$(e2e_reg_value 'HKLM\Software\Classes\.zip' '')"
e2e_check_not ".cab is not taken" test "$(e2e_reg_value 'HKLM\Software\Classes\.cab' '' 2>/dev/null)" = Vellox
e2e_check "uninstall entry written" e2e_reg_exists "$UNINSTALL_KEY"
e2e_check "desktop shortcut made" test -n "$(find "$WINEPREFIX/drive_c/users" -ipath '*desktop*' -iname '*vellox*.lnk' 2>/dev/null)"
capture_state "$E2E_DIR/silent.txt"

# --- The same choices by hand ------------------------------------------------------------------
restore_clean_prefix
start_setup /setup /noexplorer
setup_window=$(e2e_find_window '^Vellox setup$' 30)
if [ -n "$setup_window" ]; then
  e2e_pass "settings dialog shown"
  shot_window "$setup_window" settings-96
  # Focus starts on the first association box (.vlx); .cab and .arj are the third and fourth.
  e2e_key "$setup_window" Tab Tab space Tab space alt+d
  sleep 0.5
  e2e_key "$setup_window" alt+m
  items_window=$(e2e_find_window '^Context menu items$' 15)
  if [ -n "$items_window" ]; then
    e2e_pass "context menu items dialog opens from the settings dialog"
    shot_window "$items_window" context-items-96
    e2e_key "$items_window" Escape
    e2e_check "context menu items dialog closes on Esc" e2e_window_gone "$items_window" 10
  else
    e2e_fail "context menu items dialog opens from the settings dialog"
  fi
  e2e_key "$setup_window" Return
  e2e_check "settings dialog closes on OK" e2e_window_gone "$setup_window" 30
  done_window=$(e2e_find_window '^Vellox setup$' 30)
  if [ -n "$done_window" ]; then
    e2e_pass "completion dialog shown"
    shot_window "$done_window" done-96
    e2e_key "$done_window" Return
  else
    e2e_fail "completion dialog shown"
  fi
else
  e2e_fail "settings dialog shown"
fi
e2e_wait 30
e2e_check_eq "interactive setup exits 0" 0 "$E2E_RC"
capture_state "$E2E_DIR/interactive.txt"
if diff -u "$E2E_DIR/silent.txt" "$E2E_DIR/interactive.txt"; then
  e2e_pass "interactive choices give the same state as the silent run"
else
  e2e_fail "interactive choices give the same state as the silent run"
fi

# --- Cancel ------------------------------------------------------------------------------------
restore_clean_prefix
capture_state "$E2E_DIR/clean.txt"
start_setup /setup /noexplorer
setup_window=$(e2e_find_window '^Vellox setup$' 30)
if [ -n "$setup_window" ]; then
  e2e_key "$setup_window" Escape
fi
e2e_wait 30
e2e_check_eq "cancelled setup exits 1" 1 "$E2E_RC"
capture_state "$E2E_DIR/cancelled.txt"
e2e_check "cancelled setup changes nothing" cmp -s "$E2E_DIR/clean.txt" "$E2E_DIR/cancelled.txt"

# --- Without a display -------------------------------------------------------------------------
# No dialog can be created: a silent run still confirms its choices, an interactive one must
# not claim a setup that never happened.
restore_clean_prefix
saved_display=$DISPLAY
unset DISPLAY
run_watched 60 /setup /s /initA1100D1
e2e_check_eq "silent setup without a display exits 0" 0 "$E2E_RC"
capture_state "$E2E_DIR/headless.txt"
if diff -u "$E2E_DIR/silent.txt" "$E2E_DIR/headless.txt"; then
  e2e_pass "silent setup without a display gives the same state"
else
  e2e_fail "silent setup without a display gives the same state"
fi
restore_clean_prefix
unset DISPLAY
run_watched 60 /setup
e2e_check_eq "interactive setup without a display exits 1" 1 "$E2E_RC"
capture_state "$E2E_DIR/headless-interactive.txt"
e2e_check "interactive setup without a display changes nothing" \
  cmp -s "$E2E_DIR/clean.txt" "$E2E_DIR/headless-interactive.txt"
export DISPLAY=$saved_display

# --- Setup, then Uninstall mode -----------------------------------------------------------------
# Everything Setup mode writes into the registry, Uninstall mode takes away again.
capture_registry() {
  local out=$1 key n=0
  : >"$out"
  for key in 'HKCU\Software\Vellox' 'HKCU\Software\Classes' 'HKLM\Software\Classes' \
    'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
    'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths'; do
    n=$((n + 1))
    if e2e_reg export "$key" "$E2E_DIR/part$n.reg" /y; then
      iconv -f UTF-16LE -t UTF-8 "$E2E_DIR/part$n.reg" | tr -d '\r' >>"$out"
    else
      printf 'missing %s\n' "$key" >>"$out"
    fi
    rm -f "$E2E_DIR/part$n.reg"
  done
}
restore_clean_prefix
capture_registry "$E2E_DIR/registry-before.txt"
run_watched 60 /setup /s /initA1100D1 /noexplorer
e2e_check_eq "setup before uninstall exits 0" 0 "$E2E_RC"
# Something to give back: without it the comparison below would hold trivially.
e2e_check "setup before uninstall writes the uninstall entry" e2e_reg_exists "$UNINSTALL_KEY"
e2e_check "setup before uninstall takes .vlx" test "$(e2e_reg_value 'HKLM\Software\Classes\.vlx' '')" = Vellox
cd "$E2E_INSTALL" && e2e_run 60 "$E2E_INSTALL_WIN\\uninstall.exe" /s
cd "$E2E_CWD" || exit 1
e2e_check_eq "uninstall after setup exits 0" 0 "$E2E_RC"
e2e_check "the self-removal script deletes the program" \
  e2e_wait_for 30 test ! -e "$E2E_INSTALL/uninstall.exe"
capture_registry "$E2E_DIR/registry-after.txt"
# Every value, prefixed by its key. Empty keys are left out: shared class keys such as
# Drive\shellex\DragDropHandlers exist on every real Windows and stay behind here as empty
# keys, which is harmless.
values_of() {
  awk '/^\[/ { key = $0; next } NF > 0 { print key " " $0 }' "$1"
}
if diff -u <(values_of "$E2E_DIR/registry-before.txt") <(values_of "$E2E_DIR/registry-after.txt"); then
  e2e_pass "setup followed by uninstall leaves every registry value as it was"
else
  e2e_fail "setup followed by uninstall leaves every registry value as it was"
fi
e2e_log "Empty keys left behind by the round trip:"
diff <(grep '^\[' "$E2E_DIR/registry-before.txt") <(grep '^\[' "$E2E_DIR/registry-after.txt") |
  grep '^>' >&2 || true

# --- 144 DPI -----------------------------------------------------------------------------------
restore_clean_prefix
e2e_reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f
wineserver -k </dev/null >/dev/null 2>&1 || true
vlx_start_server
start_setup /setup /noexplorer
setup_window=$(e2e_find_window '^Vellox setup$' 30)
if [ -n "$setup_window" ]; then
  shot_window "$setup_window" settings-144
  e2e_key "$setup_window" alt+m
  items_window=$(e2e_find_window '^Context menu items$' 15)
  if [ -n "$items_window" ]; then
    shot_window "$items_window" context-items-144
    e2e_key "$items_window" Escape
    e2e_window_gone "$items_window" 10 || true
  fi
  e2e_key "$setup_window" Return
  e2e_window_gone "$setup_window" 30 || true
  done_window=$(e2e_find_window '^Vellox setup$' 30)
  if [ -n "$done_window" ]; then
    shot_window "$done_window" done-144
    e2e_key "$done_window" Return
  fi
fi
e2e_wait 30
e2e_check_eq "setup at 144 DPI exits 0" 0 "$E2E_RC"

e2e_finish
