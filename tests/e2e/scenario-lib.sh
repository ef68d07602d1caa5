# Shared steps of the user scenarios (tests/e2e/scenario_*_e2e.sh) and of scripts/demo.sh, on
# top of e2e-lib.sh: the check that the build holds what a scenario needs, the sample
# installation of samples/installation, Setup and Uninstall runs, and text snapshots of the
# registry keys and files that set-up touches, for before/after comparisons.
#
#   source "$(dirname "${BASH_SOURCE[0]}")/scenario-lib.sh"
#   scn_require setup uninstall      # before e2e_init: fails (exit 1, with the reason) when
#                                    # the program or a test program is missing
#   e2e_init my_scenario
#   scn_make_install
#   scn_snapshot "$E2E_DIR/before"
#   scn_setup /s                     # E2E_RC: exit code
#   scn_uninstall /s                 # waits for the self-removal script as well

SCN_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=e2e-lib.sh
source "$SCN_LIB_DIR/e2e-lib.sh"

SCN_SAMPLES="$VLX_SOURCE_DIR/samples"
SCN_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox archiver'
SCN_APP_PATHS_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\Vellox.exe'
SCN_USER_KEY='HKCU\Software\Vellox'
SCN_MACHINE_KEY='HKLM\Software\Vellox'
SCN_CLASSES='HKLM\Software\Classes'
# A per-user installation's keys.
SCN_USER_CLASSES='HKCU\Software\Classes'
SCN_USER_UNINSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox archiver'
SCN_USER_APP_PATHS_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\Vellox.exe'
SCN_PENDING_KEY='HKLM\System\CurrentControlSet\Control\Session Manager'

# --- What a scenario needs --------------------------------------------------------------------
#
# Every part of the program is built from this tree, so a part is there exactly when
# uninstall.exe is. The part names stay, for the reader of a scenario: they say what it
# exercises. A scenario never passes without having run its checks: whatever it needs and does
# not find makes it fail.

SCN__PARTS=' startup setup uninstall self_removal app_paths associations shell_extension
  shortcuts uninstall_entry settings_file language_file language_library '

# scn_has PART: exit 0 when the built program carries that part (that is, when it is built);
# exit 2 for a name that is no part.
scn_has() {
  case $SCN__PARTS in
    *[[:space:]]"$1"[[:space:]]*) ;;
    *)
      e2e_log "scn_has: unknown part $1"
      return 2
      ;;
  esac
  [ -f "$E2E_UNINSTALL_EXE" ]
}

# scn_require NEED...: call before e2e_init. A NEED is a part of the program (see scn_has),
# program:NAME (a test program of tests/programs, e.g. program:holdfile.exe) or tool:NAME (a
# command of the host, e.g. tool:lnkinfo). When anything is missing, prints "FAIL: ..."
# naming all of it and exits 1.
scn_require() {
  local missing=() need program_missing=0
  for need in "$@"; do
    case $need in
      program:*)
        [ -f "$E2E_PROGRAMS/${need#program:}" ] || missing+=("test program ${need#program:}")
        ;;
      tool:*)
        command -v "${need#tool:}" >/dev/null 2>&1 || missing+=("host tool ${need#tool:}")
        ;;
      *)
        local found=0
        scn_has "$need" || found=$?
        case $found in
          0) ;;
          2) missing+=("part $need (no such part)") ;;
          *) program_missing=1 ;;
        esac
        ;;
    esac
  done
  [ "$program_missing" = 0 ] || missing+=("the program $E2E_UNINSTALL_EXE")
  if [ ${#missing[@]} -gt 0 ]; then
    local list
    list=$(printf '%s; ' "${missing[@]}")
    echo "FAIL: $(basename "$0" .sh) cannot run: missing ${list%; }"
    exit 1
  fi
}

# --- Sample installation -----------------------------------------------------------------------

# scn_make_install [WINDOWS_FOLDER]: lays out the sample installation, by default in
# C:\Program Files\Vellox: uninstall.exe, the archiver stand-in Vellox.exe, stand-in files for
# the two shell extension libraries, license.txt, Vlx.txt and the Uninstall.lst of
# samples/installation (CR LF line ends, as the installer writes it). Sets E2E_INSTALL and
# E2E_INSTALL_WIN like e2e_make_install.
scn_make_install() {
  E2E_INSTALL_WIN=${1:-'C:\Program Files\Vellox'}
  E2E_INSTALL=$(e2e_unixpath "$E2E_INSTALL_WIN")
  if [ -z "$E2E_INSTALL" ]; then
    e2e_fail "map $E2E_INSTALL_WIN into the prefix"
    return 1
  fi
  mkdir -p "$E2E_INSTALL"
  cp "$E2E_UNINSTALL_EXE" "$E2E_INSTALL/uninstall.exe"
  cp "$E2E_PROGRAMS/Vellox.exe" "$E2E_INSTALL/Vellox.exe"
  local f
  for f in license.txt Vlx.txt Uninstall.lst; do
    cp "$SCN_SAMPLES/installation/$f" "$E2E_INSTALL/$f"
  done
  # The shell extension libraries are only registered, never loaded, by this program: files
  # of the right names stand in for them.
  printf 'MZ stand-in for the 64-bit shell extension\r\n' >"$E2E_INSTALL/vlxext.dll"
  printf 'MZ stand-in for the 32-bit shell extension\r\n' >"$E2E_INSTALL/vlxext32.dll"
}

# scn_install_files: the files of the installation folder, one relative path a line, sorted.
scn_install_files() {
  (cd "$E2E_INSTALL" 2>/dev/null && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort)
}

# scn_deny_machine_keys: the machine-wide keys that Setup writes refuse every write from now on,
# as for a standard user (Wine runs every process as an administrator); then the registry is
# snapshot into $E2E_DIR/reg-before and its machine-wide part into $E2E_DIR/machine-before.
scn_deny_machine_keys() {
  e2e_run 30 "$E2E_PROGRAMS/lock_registry_key.exe" "$SCN_APP_PATHS_KEY" "$SCN_UNINSTALL_KEY" \
    "$SCN_MACHINE_KEY" "$SCN_CLASSES\\Vellox" "$SCN_CLASSES\\Vellox.ZIP" "$SCN_CLASSES\\Vellox.REV"
  e2e_check_eq "the machine-wide keys are locked" 0 "$E2E_RC"
  scn_snapshot "$E2E_DIR/reg-before"
  grep -v '^\[HKEY_CURRENT_USER' "$E2E_DIR/reg-before" >"$E2E_DIR/machine-before"
}

# --- Runs --------------------------------------------------------------------------------------

# scn_setup ARGS...: runs "uninstall.exe /setup ARGS" from the installation folder, where the
# installer archive starts it, and waits at most 90 seconds. Sets E2E_RC.
scn_setup() {
  cd "$E2E_INSTALL" || return 1
  e2e_run 90 "$E2E_INSTALL_WIN\\uninstall.exe" /setup "$@"
  cd "$E2E_CWD" || return 1
}

# scn_uninstall ARGS...: runs "uninstall.exe ARGS" as the installed-programs list does (from
# an unrelated folder) and waits at most 90 seconds, then waits at most 30 more seconds for the
# self-removal script to finish with the installation folder. Sets E2E_RC.
scn_uninstall() {
  e2e_run 90 "$E2E_INSTALL_WIN\\uninstall.exe" "$@"
  scn_wait_gone "$E2E_INSTALL" 30 || true
}

# scn_wait_gone UNIXPATH TIMEOUT: waits until the path no longer exists; exit 1 if it still does.
scn_wait_gone() {
  local i
  for i in $(seq 1 $(($2 * 10))); do
    [ -e "$1" ] || return 0
    sleep 0.1
  done
  return 1
}

# --- Snapshots ---------------------------------------------------------------------------------

# The registry keys that Setup mode writes or that it must give back unchanged: the archive
# extensions with their volume extensions, the class keys, the shell extension's COM and
# handler keys, App Paths, the uninstall entry, the registered-application value and the
# suite's own settings, in both roots and both registry views (reg_snapshot.exe arguments).
SCN_CLASS_NAMES='.vlx;.zip;.cab;.arj;.lz;.tlz;.lzh;.lha;.7z;.tar;.gz;.tgz;.uue;.xxe;.uu;.bz2;.tbz2;.bz;.tbz;.jar;.iso;.z;.taz;.xz;.txz;.zipx;.zst;.tzst;.001;.rev;.ace;.r??;Vellox;Vellox.ZIP;Vellox.REV'
scn__concerned_keys() {
  local root classes handler
  for root in HKLM HKCU; do
    for classes in "$root\\Software\\Classes" "$root\\Software\\Classes\\Wow6432Node"; do
      printf '%s\n' "$classes|$SCN_CLASS_NAMES" "$classes\\CLSID|{7A2C90E1-*}"
      for handler in '*' Folder Drive Directory lnkfile exefile; do
        printf '%s\n' "$classes\\$handler\\shellex"
      done
    done
    printf '%s\n' "$root\\Software\\Vellox" "$root\\Software\\Wow6432Node\\Vellox"
  done
  local windows
  for windows in 'HKLM\Software\Microsoft\Windows\CurrentVersion' \
    'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion' \
    'HKCU\Software\Microsoft\Windows\CurrentVersion'; do
    printf '%s\n' "$windows\\App Paths\\Vellox.exe" "$windows\\Uninstall\\Vellox archiver" \
      "$windows\\Shell Extensions\\Approved"
  done
  printf '%s\n' 'HKLM\Software\RegisteredApplications' 'HKCU\Software\RegisteredApplications' \
    'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce'
}

# scn_reg_dump ARGS...: reg_snapshot.exe with those arguments, sorted without regard to letter
# case (as Windows compares key names) and without carriage returns.
scn_reg_dump() {
  wine "$E2E_PROGRAMS/reg_snapshot.exe" "$@" </dev/null 2>/dev/null | tr -d '\r' |
    LC_ALL=C sort -f
}

# scn_snapshot FILE: every key and value concerned by set-up (see above), one line each. The
# shell's own handler folders (shellex with its ContextMenuHandlers, DragDropHandlers and
# PropertySheetHandlers) and RegisteredApplications exist on every Windows installation; that
# Setup creates them on a bare Wine prefix and leaves them empty after the removal is no
# leftover, so their bare existence is not recorded. Their values are.
scn_snapshot() {
  local keys=()
  mapfile -t keys < <(scn__concerned_keys)
  scn_reg_dump "${keys[@]}" |
    grep -v -i -E '^\[HKEY_[A-Z_]+\\Software\\(Classes\\(Wow6432Node\\)?[^\\]+\\shellex(\\(ContextMenuHandlers|DragDropHandlers|PropertySheetHandlers))?|RegisteredApplications)\] <key>$' \
      >"$1"
}

# scn_file_snapshot FILE: the files and folders of the prefix's drive C: outside the Windows
# folder and the temporary folders, one path a line, sorted.
scn_file_snapshot() {
  (cd "$WINEPREFIX/drive_c" && find . -mindepth 1 \
    -path ./windows -prune -o -path '*/AppData/Local/Temp' -prune -o \
    -path './users/*/Temp' -prune -o -print | sed 's|^\./||' | LC_ALL=C sort) >"$1"
}

# scn_check_same DESCRIPTION BEFORE AFTER: passes when the two snapshots are equal; otherwise
# fails and prints the difference.
scn_check_same() {
  if diff -u "$2" "$3" >"$E2E_DIR/snapshot.diff"; then
    e2e_pass "$1"
  else
    e2e_fail "$1; difference:"
    sed -n '3,60p' "$E2E_DIR/snapshot.diff"
  fi
}

# scn_value KEY VALUE: the data of a value as "reg query" shows it (texts as they are, numbers
# as 0x1), or "<missing>". Use "" as VALUE for the default value. Read through reg_snapshot.exe,
# whose output is UTF-8: "reg query" prints in the console code page, which loses letters.
scn_value() {
  local name=@
  [ -n "$2" ] && name="\"$2\""
  wine "$E2E_PROGRAMS/reg_snapshot.exe" "$1" </dev/null 2>/dev/null | tr -d '\r' |
    awk -v name="$name" '
      NR == 1 { head = substr($0, 1, index($0, "] ")) }
      index($0, head " " name "=") == 1 {
        data = substr($0, length(head " " name "=") + 1)
        if (data ~ /^"/) {
          data = substr(data, 2, length(data) - 2)
          out = ""
          for (i = 1; i <= length(data); i++) {
            c = substr(data, i, 1)
            if (c == "\\") { i++; c = substr(data, i, 1) }
            out = out c
          }
          print out
        } else if (data ~ /^dword:/) {
          hex = tolower(substr(data, 7)); sub(/^0+/, "", hex)
          print "0x" (hex == "" ? "0" : hex)
        } else {
          print data
        }
        found = 1
        exit
      }
      END { if (!found) print "<missing>" }'
}

# scn_ini_text FILE: a UTF-16LE settings file as UTF-8 text without its byte-order mark and
# carriage returns.
scn_ini_text() {
  tail -c +3 "$1" | iconv -f UTF-16LE -t UTF-8 | tr -d '\r'
}

# scn_check_value DESCRIPTION KEY VALUE EXPECTED: the value's data ("<missing>" when absent)
# equals EXPECTED. Use "" as VALUE for the default value.
scn_check_value() {
  e2e_check_eq "$1" "$4" "$(scn_value "$2" "$3")"
}

# scn_check_key_absent DESCRIPTION KEY
scn_check_key_absent() {
  e2e_check_not "$1" e2e_reg_exists "$2"
}

# scn_open_with_shell UNIXFILE: opens a document the way Explorer does (wine start, which goes
# through ShellExecute "open") and waits for the program it starts. The archiver stand-in
# records its command line in SCN_STANDIN_LOG.
SCN_STANDIN_LOG=
scn_open_with_shell() {
  SCN_STANDIN_LOG="$E2E_DIR/standin.log"
  rm -f "$SCN_STANDIN_LOG"
  local document
  document=$(e2e_winpath "$1")
  export VELLOX_STANDIN_LOG
  VELLOX_STANDIN_LOG=$(e2e_winpath "$SCN_STANDIN_LOG")
  e2e_run 60 start /wait "$document"
  unset VELLOX_STANDIN_LOG
}

# scn_standin_lines: what the archiver stand-in recorded, as UTF-8 text.
scn_standin_lines() {
  [ -f "$SCN_STANDIN_LOG" ] && tr -d '\r' <"$SCN_STANDIN_LOG"
}

# scn_write_sample_zip UNIXFILE: an empty ZIP archive (the end-of-central-directory record).
scn_write_sample_zip() {
  printf 'PK\005\006\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000' >"$1"
}

# scn_temp_scripts: self-removal scripts (Uninstall_Vlx.Bat, Uninstall_Vlx_2.Bat, ...) left in
# the user's temporary folder.
scn_temp_scripts() {
  find "$WINEPREFIX/drive_c/users" -iname 'Uninstall_Vlx*.Bat' 2>/dev/null
}
# scn_no_temp_script: exit 0 when no self-removal script is left (for e2e_wait_for).
scn_no_temp_script() { [ -z "$(scn_temp_scripts)" ]; }

# scn_printed_code FILE: the whole exit code that run_command_line.exe printed into FILE (wine
# hands a Unix parent only the low eight bits of a code; the runner prints all of it).
scn_printed_code() { tr -d '\r' <"$1" | grep -E '^[0-9]+$' | tail -n 1; }

# --- The administrator's log --------------------------------------------------------------------

# scn_log_state NAME: both exported hives ("reg export", UTF-16) and a listing of drive C:
# outside the Windows folder (path, type, size, time of the last write), as E2E_DIR/NAME.*.
scn_log_state() {
  local part pids=()
  for part in 'HKEY_LOCAL_MACHINE\Software' HKEY_CURRENT_USER; do
    wine reg export "$part" "$(e2e_winpath "$E2E_DIR/$1.${part%%\\*}.reg")" /y </dev/null \
      >/dev/null 2>&1 &
    pids+=($!)
  done
  wait "${pids[@]}"
  (cd "$WINEPREFIX/drive_c" && find . -mindepth 1 -path ./windows -prune -o \
    -printf '%P\t%y\t%s\t%T@\n') >"$E2E_DIR/$1.files"
}

# scn_check_replay DESCRIPTION LOG LOG_FOLDER BEFORE AFTER [REPLAY OPTIONS...]: the run whose
# start line is the last one of the log (a Unix path) replays from state BEFORE to state AFTER
# (scn_log_state) with tests/e2e/log_replay.py; LOG_FOLDER, the folder of drive C: that holds
# the log, is no change of the program's.
scn_check_replay() {
  local start
  start=$(grep -n -P '^\S+ \S+\tstart\t' "$2" | tail -1 | cut -d: -f1)
  if python3 "$SCN_LIB_DIR/log_replay.py" --links "$WINEPREFIX/system.reg" "${@:6}" "$2" \
    "${start:-1}" "$E2E_DIR/$4".HKEY_*.reg -- "$E2E_DIR/$5".HKEY_*.reg -- "$E2E_DIR/$4.files" \
    "$E2E_DIR/$5.files" "$3" >"$E2E_DIR/replay.out" 2>&1; then
    e2e_pass "$1 ($(tail -1 "$E2E_DIR/replay.out"))"
  else
    e2e_fail "$1:"
    head -40 "$E2E_DIR/replay.out"
  fi
}
