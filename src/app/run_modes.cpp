#include <windows.h>

#include "app/run_modes.h"
#include "app/uninstall.h"

// NOT YET CONNECTED: the settings dialog and the completion dialog are separate pieces of work
// that replace these bodies when they arrive; until then Setup mode behaves like a cancelled
// settings dialog. Uninstall mode runs the uninstall procedure.

INT_PTR RunSetupDialog() {
  // To become: DialogBoxParamW(ResourceModule, L"SETUPDLG", nullptr, SetupDialogProc, 0).
  return 0;
}

void RunDoneDialog() {
  // To become: DialogBoxParamW(ResourceModule, L"DONEDLG", nullptr, DoneDialogProc, 0).
}

void RunUninstallMode() {
  RunUninstall();
}
