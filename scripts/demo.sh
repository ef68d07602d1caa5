#!/usr/bin/env bash
# The main job: builds uninstall.exe, lays out a sample installation of the suite in a scratch
# Wine prefix, runs Setup mode (the real dialog on your display when DISPLAY is usable, else
# "/setup /s" on a virtual display of its own), prints what was integrated, shows Wine's shell
# opening a ZIP archive with the archiver, runs Uninstall mode and shows that the registry is
# back to its state before setup. Everything it starts (wine server, virtual display) is stopped
# and its scratch folder removed at the end, also when it fails.
#
# Usage: bash scripts/demo.sh [--silent]     (--silent: no dialogs even when a display is usable)
# Environment: VLX_BUILD_DIR (default ./build), VLX_E2E_KEEP=1 keeps the scratch folder.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
interactive_wanted=1
[ "${1:-}" = "--silent" ] && interactive_wanted=0

bash scripts/ensure-tools.sh
build=${VLX_BUILD_DIR:-$here/build}
echo "== Building uninstall.exe and the programs the demo uses ($build)"
cmake -S . -B "$build" --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DVLX_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j 2 --target uninstall vellox_standin reg_snapshot >/dev/null
export VLX_BUILD_DIR=$build VLX_SOURCE_DIR=$here

# The user's display, if there is a usable one, before the scratch prefix gets its own.
user_display=
if [ "$interactive_wanted" = 1 ] && [ -n "${DISPLAY:-}" ] &&
  xdotool getdisplaygeometry >/dev/null 2>&1; then
  user_display=$DISPLAY
fi

set +e  # from here on every step is checked and reported, and clean-up runs on any exit
# shellcheck source=../tests/e2e/scenario-lib.sh
source "$here/tests/e2e/scenario-lib.sh"

missing=()
for part in startup setup app_paths associations shortcuts uninstall_entry uninstall self_removal; do
  scn_has "$part" || missing+=("$part")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "This build of uninstall.exe does not carry these parts yet: ${missing[*]}."
  echo "The demo needs Setup mode and Uninstall mode; build a complete tree and run it again."
  exit 2
fi

e2e_init demo
echo "== Scratch prefix: $WINEPREFIX (HOME=$HOME)"

# --- The sample installation -------------------------------------------------------------------
scn_file_snapshot "$E2E_DIR/files-0"
scn_make_install
if [ -d "$here/samples/languages" ]; then
  # The translations that come with the suite, for the user to pick from.
  cp -r "$here/samples/languages" "$E2E_INSTALL/Languages"
fi
echo "== Sample installation in $E2E_INSTALL_WIN"
scn_install_files | sed 's/^/     /'

# only_in A B: the lines of A that are not in B.
only_in() {
  LC_ALL=C comm -23 <(LC_ALL=C sort "$1") <(LC_ALL=C sort "$2")
}

# --- Registry before setup ---------------------------------------------------------------------
# The machine already has owners for two archive types: another archiver owns ".7z" (Setup
# takes it over and must give it back), and a disc image tool owns ".iso" (Setup leaves it).
echo "== Before setup: .7z belongs to another archiver (OtherArc.7z), .iso to a disc tool"
e2e_reg add "$SCN_CLASSES\\OtherArc.7z\\shell\\open\\command" /ve \
  /d '"C:\Program Files\OtherArc\otherarc.exe" "%1"' /f
e2e_reg add "$SCN_CLASSES\\.7z" /ve /d OtherArc.7z /f
e2e_reg add "$SCN_CLASSES\\.iso" /ve /d DiscTool.Image /f

# Full exports of both Software hives, taken with "wine reg export", compared at the end.
export_software() {
  local out=$1 part pids=()
  for part in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
    wine reg export "$part\\Software" "$(e2e_winpath "$out.$part.reg")" /y </dev/null \
      >/dev/null 2>&1 &
    pids+=($!)
  done
  wait "${pids[@]}"
  for part in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
    iconv -f UTF-16LE -t UTF-8 "$out.$part.reg" | tr -d '\r'
  done >"$out"
}
echo "== Exporting HKEY_LOCAL_MACHINE\\Software and HKEY_CURRENT_USER\\Software (wine reg export)"
export_software "$E2E_DIR/export-before"
scn_snapshot "$E2E_DIR/reg-0"

# --- The administrator's log of both runs ------------------------------------------------------
# Kept in the scratch folder (a path on the host's drive): drive C: is compared at the end.
log_unix="$E2E_DIR/logs/changes.log"
log_win=$(e2e_winpath "$log_unix")

# log_summary MODE: the changes of the log's last run of that mode, counted by kind.
log_summary() {
  awk -F'\t' -v mode="$1" '
    $2 == "start" { run = ($3 == "mode=" mode); delete count; next }
    run && $2 != "exit" { count[$2]++ }
    END { for (kind in count) printf "     %-18s %5d\n", kind, count[kind] }' "$log_unix" | sort
}

# --- Setup mode --------------------------------------------------------------------------------
if [ -n "$user_display" ]; then
  echo "== Setup mode: the settings dialog is on your display ($user_display)."
  echo "   Choose what you like and press OK; then close the completion dialog."
  cd "$E2E_INSTALL" || exit 1
  own_display=$DISPLAY
  export DISPLAY=$user_display
  e2e_start "$E2E_INSTALL_WIN\\uninstall.exe" /setup /noexplorer "/log=$log_win"
  cd "$E2E_CWD" || exit 1
  e2e_wait 900
  export DISPLAY=$own_display
else
  echo "== Setup mode: no usable display, so uninstall.exe /setup /s on a virtual display"
  scn_setup /s "/log=$log_win"
fi
e2e_check_eq "Setup mode exits with 0" 0 "$E2E_RC"
[ "$E2E_RC" = 0 ] || { echo "Setup was cancelled or failed; nothing to show."; e2e_finish; }
scn_snapshot "$E2E_DIR/reg-1"
scn_file_snapshot "$E2E_DIR/files-1"

# --- What was integrated -----------------------------------------------------------------------
echo
echo "== The administrator's log of Setup ($log_win), changes by kind:"
log_summary Setup
echo
echo "== What Setup integrated"
echo "   File associations (extension: now -> owner before setup):"
for ext in .vlx .zip .cab .arj .lz .tlz .lzh .lha .7z .tar .gz .tgz .uue .xxe .uu .bz2 .tbz2 .bz \
  .tbz .jar .iso .z .taz .xz .txz .zipx .zst .tzst .001; do
  now=$(grep -F "[HKEY_LOCAL_MACHINE\\Software\\Classes\\$ext] @=" "$E2E_DIR/reg-1" |
    sed 's/.*@="\(.*\)"$/\1/')
  case $now in
    Vellox | Vellox.ZIP) ;;
    *) [ -n "$now" ] && printf '     %-7s    left to %s\n' "$ext" "$now"; continue ;;
  esac
  exist=$(scn_value "$SCN_USER_KEY\\Setup\\$ext" Exist)
  type=$(scn_value "$SCN_USER_KEY\\Setup\\$ext" Type)
  if [ "$exist" = 0x0 ]; then former='(no key: nobody)'
  elif [ -n "$type" ] && [ "$type" != '<missing>' ]; then former=$type
  else former='(key without owner)'; fi
  printf '     %-7s -> %-11s  before: %s\n' "$ext" "$now" "$former"
done
volumes=$(grep -c -E '^\[HKEY_LOCAL_MACHINE\\Software\\Classes\\\.r[0-9][0-9]\] @="Vellox"' \
  "$E2E_DIR/reg-1")
echo "     volume extensions .r00-.r29 pointing at Vellox: $volumes"
echo "   Class keys:"
for class in Vellox Vellox.ZIP Vellox.REV; do
  printf '     %-11s "%s", opens with %s\n' "$class" "$(scn_value "$SCN_CLASSES\\$class" "")" \
    "$(scn_value "$SCN_CLASSES\\$class\\shell\\open\\command" "")"
done
echo "   \"New\" menu templates:"
for ext in .vlx .zip; do
  printf '     %-5s %s\n' "$ext" "$(scn_value "$SCN_CLASSES\\$ext\\ShellNew" FileName)"
done
echo "   Shell extension (64-bit): $(scn_value \
  "$SCN_CLASSES\\CLSID\\{7A2C90E1-3D54-4B35-8D1F-3C6E2B905A77}\\InProcServer32" "")"
echo "   App Paths: Vellox.exe = $(scn_value "$SCN_APP_PATHS_KEY" ""), Path = $(scn_value \
  "$SCN_APP_PATHS_KEY" Path)"
echo "   Uninstall entry (HKLM\\...\\Uninstall\\Vellox archiver):"
for v in DisplayName DisplayVersion Publisher UninstallString InstallLocation DisplayIcon; do
  printf '     %-16s %s\n' "$v" "$(scn_value "$SCN_UNINSTALL_KEY" "$v")"
done
echo "   Shortcuts and program groups (new on drive C:):"
only_in "$E2E_DIR/files-1" "$E2E_DIR/files-0" | grep -v '^Program Files/Vellox' |
  sed 's/^/     C:\//'
echo "   Registry lines in the keys concerned: $(wc -l <"$E2E_DIR/reg-0") before, $(wc -l \
  <"$E2E_DIR/reg-1") after setup"

# --- Wine's shell opens an archive with the archiver -----------------------------------------
echo
echo "== wine start sample.zip (ShellExecute \"open\", as a double click in Explorer)"
scn_write_sample_zip "$E2E_CWD/sample.zip"
scn_open_with_shell "$E2E_CWD/sample.zip"
opened=$(scn_standin_lines)
echo "   The archiver stand-in recorded: ${opened:-nothing}"
if [ "$(scn_value "$SCN_CLASSES\\.zip" "")" = Vellox.ZIP ]; then
  e2e_check_contains "the shell opened sample.zip with Vellox.exe" "$opened" \
    "$(e2e_winpath "$E2E_CWD/sample.zip")"
else
  echo "   (.zip was not chosen in the dialog, so the shell has no archiver for it)"
fi

# --- Uninstall mode ----------------------------------------------------------------------------
echo
if [ -n "$user_display" ]; then
  echo "== Uninstall mode: answer the question on your display"
  own_display=$DISPLAY
  export DISPLAY=$user_display
  e2e_start "$E2E_INSTALL_WIN\\uninstall.exe" /log "$log_win"
  e2e_wait 900
  export DISPLAY=$own_display
  scn_wait_gone "$E2E_INSTALL" 30 || true
else
  echo "== Uninstall mode: uninstall.exe /s"
  scn_uninstall /s /log "$log_win"
fi
e2e_check_eq "Uninstall mode exits with 0" 0 "$E2E_RC"
scn_snapshot "$E2E_DIR/reg-2"
scn_file_snapshot "$E2E_DIR/files-2"
echo "== The administrator's log of Uninstall, changes by kind:"
log_summary Uninstall
echo "== What Uninstall removed"
echo "   Registry lines in the keys concerned removed: $(only_in "$E2E_DIR/reg-1" \
  "$E2E_DIR/reg-2" | wc -l), added: $(only_in "$E2E_DIR/reg-2" "$E2E_DIR/reg-1" | wc -l)"
echo "   Files and folders removed: $(only_in "$E2E_DIR/files-1" "$E2E_DIR/files-2" | wc -l)"
only_in "$E2E_DIR/files-1" "$E2E_DIR/files-2" | grep -v -E '^Program Files/Vellox/.+' |
  sed 's/^/     C:\//'
e2e_check_not "the installation folder is gone" test -e "$E2E_INSTALL"
scn_check_value ".7z belongs to the other archiver again" "$SCN_CLASSES\\.7z" "" OtherArc.7z
scn_check_same "no file is left behind on drive C:" "$E2E_DIR/files-0" "$E2E_DIR/files-2"

echo "== Exporting both Software hives again and comparing with the export before setup"
export_software "$E2E_DIR/export-after"
# Windows' own handler folders (Drive, Folder, exefile ... with shellex\...Handlers, and
# RegisteredApplications) that Setup had to create on this bare prefix may stay behind empty;
# they exist on every Windows installation. Wine's own run-time state (HKCU\Software\Wine,
# written when windows are shown) is not the program's.
normalise_export() {
  awk '
    /^\[/ { if (key != "" && !(skip && empty) && !wine) printf "%s", block
            key = $0; block = $0 "\n"; empty = 1
            k = toupper(key)
            skip = (k ~ /\\CLASSES\\([*]|DRIVE|FOLDER|DIRECTORY|EXEFILE|LNKFILE)(\\SHELLEX(\\(CONTEXTMENUHANDLERS|DRAGDROPHANDLERS|PROPERTYSHEETHANDLERS))?)?\]$/ ||
                    k ~ /\\SOFTWARE\\REGISTEREDAPPLICATIONS\]$/)
            wine = (k ~ /^\[HKEY_CURRENT_USER\\SOFTWARE\\WINE(\\|\])/)
            next }
    /^$/ { next }
    { block = block $0 "\n"; empty = 0 }
    END { if (key != "" && !(skip && empty) && !wine) printf "%s", block }' "$1"
}
normalise_export "$E2E_DIR/export-before" >"$E2E_DIR/export-before.txt"
normalise_export "$E2E_DIR/export-after" >"$E2E_DIR/export-after.txt"
scn_check_same "the registry (both Software hives) is back to its state before setup" \
  "$E2E_DIR/export-before.txt" "$E2E_DIR/export-after.txt"
echo
e2e_finish
