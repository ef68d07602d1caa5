#!/usr/bin/env bash
# File associations in a real Wine prefix: after the archiver takes ".zip" and ".vlx", Wine's
# own shell opens such files with the archiver (the stand-in Vellox.exe in the program folder,
# which logs its arguments), also from a folder whose name has spaces; the "New" templates are
# real archives; giving the types back restores exactly what another program had there.
#
# The association is performed by the integration unit-test program with the filter
# AssociationsEndToEnd.* and VLX_E2E_ASSOCIATE set: it applies the association code itself to
# this prefix's registry, so the scenario does not depend on the Setup-mode dialogs.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/e2e-lib.sh"

e2e_init associations
e2e_make_install
classes='HKLM\Software\Classes'
tests_exe="$E2E_DIR/integration_tests.exe"
cp "$E2E_PROGRAMS/integration_tests.exe" "$tests_exe"

# Another program owns ".zip", with a null-file "New" entry; ".vlx" is unknown.
e2e_reg add "$classes\\.zip" /ve /d "Other.ZipFolder" /f
e2e_reg add "$classes\\.zip\\ShellNew" /v NullFile /d "" /f
e2e_reg delete "$classes\\.vlx" /f

associate() {
  export VLX_E2E_ASSOCIATE=$1 VLX_E2E_PROGRAM_FOLDER="$E2E_INSTALL_WIN"
  e2e_run 120 "$tests_exe" --gtest_filter='AssociationsEndToEnd.*'
  grep -q '^\[  PASSED  \] 1 test' "$E2E_DIR/last-stdout" || cat "$E2E_DIR/last-stdout" >&2
  unset VLX_E2E_ASSOCIATE VLX_E2E_PROGRAM_FOLDER
}

associate apply
e2e_check_eq "association program ran" 0 "$E2E_RC"
e2e_check_contains ".zip names the archiver's ZIP class" \
  "$(e2e_reg_value "$classes\\.zip" '')" "Vellox.ZIP"
e2e_check_contains ".vlx names the archiver's class" "$(e2e_reg_value "$classes\\.vlx" '')" "Vellox"
e2e_check_contains "open command of Vellox.ZIP" \
  "$(e2e_reg_value "$classes\\Vellox.ZIP\\shell\\open\\command" '')" \
  "\"$E2E_INSTALL_WIN\\Vellox.exe\" \"%1\""

# Wine's shell opens the files with the archiver, the file's path as its one argument.
log="$E2E_DIR/opened.log"
export VELLOX_STANDIN_LOG
VELLOX_STANDIN_LOG=$(e2e_winpath "$log")
docs_win='C:\users\Public\My Archives'
docs=$(e2e_unixpath "$docs_win")
mkdir -p "$docs"
cp "$E2E_INSTALL/zipnew.dat" "$docs/sample.zip" 2>/dev/null || : >"$docs/sample.zip"
: >"$docs/two words.vlx"
: >"$E2E_CWD/sample.zip"

open_and_check() {
  local what=$1 file=$2 expected=$3
  : >"$log"
  e2e_run 60 start /wait "$file"
  local i
  for i in $(seq 1 50); do
    [ -s "$log" ] && break
    sleep 0.1
  done
  local line
  line=$(tr -d '\r' <"$log")
  e2e_check_eq "$what opens the archiver with the file as one argument" \
    "$E2E_INSTALL_WIN\\Vellox.exe	1	$expected" "$line"
}
open_and_check "sample.zip in the current folder" sample.zip "$(e2e_winpath "$E2E_CWD")\\sample.zip"
open_and_check "a .zip in a folder with spaces" "$docs_win\\sample.zip" "$docs_win\\sample.zip"
open_and_check "a .vlx with spaces in its name" "$docs_win\\two words.vlx" "$docs_win\\two words.vlx"

# The "New" templates: an empty ZIP archive that an independent ZIP tool accepts, and the
# own format's empty archive byte for byte.
e2e_check_contains ".zip New entry names the template" \
  "$(e2e_reg_value "$classes\\.zip\\ShellNew" FileName)" "$E2E_INSTALL_WIN\\zipnew.dat"
listing=$(zipinfo "$E2E_INSTALL/zipnew.dat" 2>&1)
zip_rc=$?
e2e_check_contains "zipinfo reads zipnew.dat as a ZIP archive" "$listing" "number of entries: 0"
e2e_check_eq "zipinfo finds no error beyond the empty warning" 1 "$zip_rc"
unzip -l "$E2E_INSTALL/zipnew.dat" >/dev/null 2>&1
e2e_check_eq "unzip lists zipnew.dat as an empty archive (warning only)" 1 "$?"
e2e_check_eq "vlxnew.dat holds the empty own-format archive" \
  "566c78211a070100c1df5f56030104001d775651030504" \
  "$(xxd -p "$E2E_INSTALL/vlxnew.dat" | tr -d '\n' | cut -c1-46)"
e2e_check_eq "vlxnew.dat is 24 bytes" 24 "$(stat -c %s "$E2E_INSTALL/vlxnew.dat")"

# Giving both back restores the former owner and its null-file entry exactly, and removes
# ".vlx", which did not exist before.
associate remove
e2e_check_eq "give-back program ran" 0 "$E2E_RC"
e2e_check_contains ".zip is the other program's again" \
  "$(e2e_reg_value "$classes\\.zip" '')" "Other.ZipFolder"
e2e_check "the null-file entry is back" e2e_reg_exists "$classes\\.zip\\ShellNew" NullFile
e2e_check_not "no template file name is left" e2e_reg_exists "$classes\\.zip\\ShellNew" FileName
e2e_check_not ".vlx is gone" e2e_reg_exists "$classes\\.vlx"
e2e_check_not ".r00 is gone" e2e_reg_exists "$classes\\.r00"

e2e_finish
