# Shared helpers for the end-to-end scenarios (tests/e2e/*_e2e.sh).
#
# Each scenario runs the real programs in a throwaway Wine prefix of its own, with its own
# wine server and its own virtual display, and leaves nothing behind but its screenshots in
# $VLX_BUILD_DIR/artifacts. Usage:
#
#   source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"
#   e2e_init myname                  # prefix, server, display, clean-up on any exit
#   e2e_make_install                 # sample installation in C:\Program Files\Vellox
#   e2e_run 30 "$E2E_INSTALL_WIN\\uninstall.exe" /wait
#   e2e_check_eq "/wait exits 0" 0 "$E2E_RC"
#   e2e_finish                       # prints "N passed, N failed", exits non-zero on failure
#
# Environment: VLX_BUILD_DIR (set by ctest; default <source>/build), VLX_SOURCE_DIR,
# VLX_WINE_TEMPLATE (the template prefix to copy; default $VLX_BUILD_DIR/wine-template),
# VLX_E2E_KEEP=1 keeps the scratch folder for a look after the run.

E2E_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${VLX_SOURCE_DIR:=$(cd "$E2E_LIB_DIR/../.." && pwd)}"
: "${VLX_BUILD_DIR:=$VLX_SOURCE_DIR/build}"
export VLX_SOURCE_DIR VLX_BUILD_DIR
# shellcheck source=../../scripts/wine-lib.sh
source "$VLX_SOURCE_DIR/scripts/wine-lib.sh"

E2E_PASSED=0
E2E_FAILED=0
E2E_FINISHED=0
E2E_NAME=
E2E_DIR=
E2E_XVFB_PID=
E2E_ARTIFACTS="$VLX_BUILD_DIR/artifacts"
# Built programs: the product and the helpers of tests/programs.
E2E_UNINSTALL_EXE="$VLX_BUILD_DIR/uninstall.exe"
E2E_PROGRAMS="$VLX_BUILD_DIR/tests"

e2e_log() { printf '%s\n' "$*" >&2; }

# --- Set-up and clean-up ---------------------------------------------------------------------

# e2e_init NAME: makes a scratch folder, copies the template prefix into it, points Wine at it
# (HOME inside the scratch folder, never the host's), starts a virtual display and a wine
# server of its own and changes to an empty working folder. Everything is undone on exit,
# also when the script fails or is interrupted.
e2e_init() {
  E2E_NAME=${1:-$(basename "$0" .sh)}
  # Without these the window and screen checks would see nothing and pass: a missing one
  # fails the scenario before it starts.
  local tool missing=
  for tool in wine wineserver winepath Xvfb xdotool import; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
  done
  if [ -n "$missing" ]; then
    echo "FAIL: $E2E_NAME cannot run: missing host tools:$missing"
    exit 1
  fi
  mkdir -p "$VLX_BUILD_DIR/e2e-scratch" "$E2E_ARTIFACTS"
  E2E_DIR=$(mktemp -d "$VLX_BUILD_DIR/e2e-scratch/$E2E_NAME.XXXXXX")
  trap e2e__on_exit EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM

  local template=${VLX_WINE_TEMPLATE:-$VLX_BUILD_DIR/wine-template}
  if [ ! -f "$template/.ready" ]; then
    vlx_make_template_prefix "$template"
  fi
  vlx_clone_prefix "$template" "$E2E_DIR/wine"
  vlx_use_prefix "$E2E_DIR/wine"
  export TMPDIR="$E2E_DIR/tmp"
  mkdir -p "$TMPDIR"

  e2e__start_display || { e2e_fail "start a virtual display"; exit 1; }
  vlx_start_server

  # Programs under test run from an empty folder: nothing they do relative to the current
  # folder can touch the source tree or the build.
  E2E_CWD="$E2E_DIR/cwd"
  mkdir -p "$E2E_CWD"
  cd "$E2E_CWD" || exit 1
}

# A display of our own, whatever DISPLAY says, so that window searches and screenshots see
# only this scenario's windows. Xvfb picks a free display number itself (-displayfd).
e2e__start_display() {
  local fdfile="$E2E_DIR/display"
  : >"$fdfile"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" </dev/null >/dev/null 2>&1 &
  E2E_XVFB_PID=$!
  local i n
  for i in $(seq 1 100); do
    n=$(tr -dc '0-9' <"$fdfile")
    if [ -n "$n" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    kill -0 "$E2E_XVFB_PID" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

e2e__on_exit() {
  local rc=$?
  trap - EXIT INT TERM
  cd / || true
  if [ -n "${WINEPREFIX:-}" ] && [ -n "$E2E_DIR" ] && [[ "$WINEPREFIX" == "$E2E_DIR"/* ]]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true  # this scenario's prefix only
  fi
  if [ -n "$E2E_XVFB_PID" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null || true
    wait "$E2E_XVFB_PID" 2>/dev/null || true
  fi
  if [ -n "$E2E_DIR" ] && [ -d "$E2E_DIR" ]; then
    if [ "${VLX_E2E_KEEP:-0}" = 1 ]; then
      e2e_log "Scratch folder kept: $E2E_DIR"
    else
      rm -rf "$E2E_DIR"
    fi
  fi
  if [ "$E2E_FINISHED" != 1 ]; then
    # The script stopped before e2e_finish: report what ran, and never report success.
    echo "$E2E_PASSED passed, $E2E_FAILED failed (scenario stopped early, status $rc)"
    [ "$rc" = 0 ] && rc=1
  fi
  exit "$rc"
}

# --- Running programs ------------------------------------------------------------------------

# e2e_wine ARGS...: runs wine in this prefix with no terminal input.
e2e_wine() {
  wine "$@" </dev/null
}

# e2e_run TIMEOUT PROGRAM ARGS...: runs a Windows program (Windows or Unix path) and waits at
# most TIMEOUT seconds. Sets E2E_RC (the exit code; 124 when the time ran out, after which the
# prefix's processes are killed and the server restarted) and E2E_SECONDS (elapsed, decimal).
e2e_run() {
  local limit=$1
  shift
  local start end
  start=$(date +%s.%N)
  E2E_RC=0
  timeout -k 5 "$limit" wine "$@" </dev/null >"$E2E_DIR/last-stdout" 2>"$E2E_DIR/last-stderr" ||
    E2E_RC=$?
  end=$(date +%s.%N)
  E2E_SECONDS=$(echo "$end - $start" | bc)
  if [ "$E2E_RC" = 124 ] || [ "$E2E_RC" = 137 ]; then
    E2E_RC=124
    e2e__restart_server
  fi
}

# e2e_start PROGRAM ARGS...: starts a Windows program in the background (for programs that
# show windows to be found and answered); E2E_PID is the wine loader's process id.
e2e_start() {
  E2E_START_TIME=$(date +%s.%N)
  wine "$@" </dev/null >"$E2E_DIR/last-stdout" 2>"$E2E_DIR/last-stderr" &
  E2E_PID=$!
}

# e2e_wait TIMEOUT: waits for the program of e2e_start; sets E2E_RC (124 when it was still
# running after TIMEOUT seconds; it is then killed with the rest of the prefix's processes)
# and E2E_SECONDS (since e2e_start).
e2e_wait() {
  local limit=$1 i
  for i in $(seq 1 $((limit * 10))); do
    kill -0 "$E2E_PID" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$E2E_PID" 2>/dev/null; then
    E2E_RC=124
    e2e__restart_server
    wait "$E2E_PID" 2>/dev/null || true
  else
    E2E_RC=0
    wait "$E2E_PID" || E2E_RC=$?
  fi
  E2E_SECONDS=$(echo "$(date +%s.%N) - $E2E_START_TIME" | bc)
}

# e2e_wait_watched TIMEOUT [NAME]: e2e_wait that watches the screen while the program runs.
# E2E_WINDOW is the title of the first visible window whose title matches NAME (a regular
# expression; default: any window) seen meanwhile, or empty. A window that waits for an answer
# keeps the program running, so it cannot slip by unseen; once one is seen the program gets
# five more seconds, then it is stopped (E2E_RC 124).
e2e_wait_watched() {
  local limit=$1 name=${2:-.} i id
  E2E_WINDOW=
  for i in $(seq 1 $((limit * 10))); do
    kill -0 "$E2E_PID" 2>/dev/null || break
    id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -n 1)
    if [ -n "$id" ]; then
      E2E_WINDOW=$(xdotool getwindowname "$id" 2>/dev/null)
      [ -n "$E2E_WINDOW" ] || E2E_WINDOW="window $id"
      break
    fi
    sleep 0.1
  done
  e2e_wait 5
}

# e2e_run_watched TIMEOUT PROGRAM ARGS...: e2e_run that watches the screen while the program
# runs (see e2e_wait_watched): E2E_RC, E2E_SECONDS and E2E_WINDOW.
e2e_run_watched() {
  local limit=$1
  shift
  e2e_start "$@"
  e2e_wait_watched "$limit"
}

# e2e_wait_for TIMEOUT COMMAND ARGS...: runs the command every tenth of a second until it
# exits 0 (exit 0) or TIMEOUT seconds have passed (exit 1).
e2e_wait_for() {
  local limit=$1 i
  shift
  for i in $(seq 1 $((limit * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

e2e__restart_server() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  vlx_start_server
}

# e2e_winpath UNIXPATH: the Windows form of a path inside this prefix.
e2e_winpath() {
  winepath -w "$1" 2>/dev/null </dev/null
}

# e2e_unixpath WINPATH: the Unix form of a Windows path of this prefix.
e2e_unixpath() {
  winepath -u "$1" 2>/dev/null </dev/null
}

# --- Sample installation ---------------------------------------------------------------------

# e2e_make_install [WINDOWS_FOLDER]: lays out an installed suite, by default in
# C:\Program Files\Vellox: uninstall.exe, the archiver stand-in Vellox.exe (when built),
# license.txt, Vlx.txt and an Uninstall.lst naming them all (CR LF line ends, as the installer
# writes it). Sets E2E_INSTALL (Unix path) and E2E_INSTALL_WIN (Windows path).
e2e_make_install() {
  E2E_INSTALL_WIN=${1:-'C:\Program Files\Vellox'}
  E2E_INSTALL=$(e2e_unixpath "$E2E_INSTALL_WIN")
  if [ -z "$E2E_INSTALL" ]; then
    e2e_fail "map $E2E_INSTALL_WIN into the prefix"
    return 1
  fi
  mkdir -p "$E2E_INSTALL"
  cp "$E2E_UNINSTALL_EXE" "$E2E_INSTALL/uninstall.exe"
  local names=(uninstall.exe license.txt Vlx.txt)
  if [ -f "$E2E_PROGRAMS/Vellox.exe" ]; then
    cp "$E2E_PROGRAMS/Vellox.exe" "$E2E_INSTALL/Vellox.exe"
    names+=(Vellox.exe)
  fi
  printf 'Vellox licence agreement (test copy).\r\n' >"$E2E_INSTALL/license.txt"
  printf 'Vellox console manual (test copy).\r\n' >"$E2E_INSTALL/Vlx.txt"
  : >"$E2E_INSTALL/Uninstall.lst"
  local n
  for n in "${names[@]}"; do printf '%s\r\n' "$n" >>"$E2E_INSTALL/Uninstall.lst"; done
}

# --- Registry --------------------------------------------------------------------------------

# e2e_reg_exists KEY [VALUE]: exit 0 when the key (or its value) exists, 1 when missing.
e2e_reg_exists() {
  if [ $# -ge 2 ]; then
    wine reg query "$1" /v "$2" </dev/null >/dev/null 2>&1
  else
    wine reg query "$1" </dev/null >/dev/null 2>&1
  fi
}

# e2e_reg_value KEY VALUE: prints the data of a value (as reg query shows it); exit 1 when
# the value is missing. Use "" as VALUE for the default value.
e2e_reg_value() {
  local out
  if [ -z "$2" ]; then
    out=$(wine reg query "$1" /ve </dev/null 2>/dev/null) || return 1
  else
    out=$(wine reg query "$1" /v "$2" </dev/null 2>/dev/null) || return 1
  fi
  printf '%s\n' "$out" | tr -d '\r' | awk -v name="${2:-(Default)}" '
    BEGIN { head = "    " name "    " }
    index($0, head) == 1 {
      rest = substr($0, length(head) + 1)
      p = index(rest, "    ")
      if (p > 0) print substr(rest, p + 4); else print ""
      found = 1
      exit
    }
    END { if (!found) exit 1 }'
}

# e2e_reg ARGS...: any other reg command (add, delete, export) in this prefix.
e2e_reg() {
  wine reg "$@" </dev/null >/dev/null 2>&1
}

# --- Windows and screenshots -----------------------------------------------------------------

# e2e_find_window NAME [TIMEOUT]: prints the X window id of the first visible window whose
# title matches NAME (a regular expression), waiting up to TIMEOUT seconds (default 20).
e2e_find_window() {
  local name=$1 limit=${2:-20}
  timeout "$limit" xdotool search --sync --onlyvisible --name "$name" 2>/dev/null | head -n 1
}

# e2e_window_gone ID [TIMEOUT]: waits until the window is no longer visible; exit 1 if it is.
e2e_window_gone() {
  local id=$1 limit=${2:-10} i
  for i in $(seq 1 $((limit * 10))); do
    xdotool search --onlyvisible --name '.' 2>/dev/null | grep -qx "$id" || return 0
    sleep 0.1
  done
  return 1
}

# e2e_key ID KEYS...: sends keys to a window (focus first; there is no window manager).
e2e_key() {
  local id=$1
  shift
  xdotool windowfocus --sync "$id" 2>/dev/null || true
  xdotool key --window "$id" "$@"
}

# e2e_screenshot LABEL: saves the whole virtual screen as artifacts/<scenario>-<label>.png
# and prints the file's path.
e2e_screenshot() {
  local file="$E2E_ARTIFACTS/$E2E_NAME-$1.png"
  import -display "$DISPLAY" -window root "$file" 2>/dev/null </dev/null
  printf '%s\n' "$file"
}

# --- Checks ----------------------------------------------------------------------------------

e2e_pass() {
  E2E_PASSED=$((E2E_PASSED + 1))
  echo "PASS: $*"
}

e2e_fail() {
  E2E_FAILED=$((E2E_FAILED + 1))
  echo "FAIL: $*"
}

# e2e_check DESCRIPTION COMMAND ARGS...: passes when the command exits 0.
e2e_check() {
  local desc=$1
  shift
  if "$@"; then e2e_pass "$desc"; else e2e_fail "$desc"; fi
}

# e2e_check_not DESCRIPTION COMMAND ARGS...: passes when the command exits non-zero.
e2e_check_not() {
  local desc=$1
  shift
  if "$@"; then e2e_fail "$desc"; else e2e_pass "$desc"; fi
}

# e2e_check_eq DESCRIPTION EXPECTED ACTUAL
e2e_check_eq() {
  if [ "$2" = "$3" ]; then
    e2e_pass "$1"
  else
    e2e_fail "$1 (expected '$2', got '$3')"
  fi
}

# e2e_check_contains DESCRIPTION TEXT NEEDLE
e2e_check_contains() {
  if [[ "$2" == *"$3"* ]]; then
    e2e_pass "$1"
  else
    e2e_fail "$1 ('$3' not in '$2')"
  fi
}

# e2e_check_between DESCRIPTION LOW HIGH VALUE: LOW <= VALUE <= HIGH (decimals allowed).
e2e_check_between() {
  if [ "$(echo "$2 <= $4 && $4 <= $3" | bc)" = 1 ]; then
    e2e_pass "$1 ($4)"
  else
    e2e_fail "$1 ($4 not within $2..$3)"
  fi
}

# e2e_finish: prints the closing line and exits: non-zero when a check failed or none ran.
e2e_finish() {
  E2E_FINISHED=1
  echo "$E2E_PASSED passed, $E2E_FAILED failed"
  if [ "$E2E_FAILED" -gt 0 ] || [ "$E2E_PASSED" -eq 0 ]; then exit 1; fi
  exit 0
}
