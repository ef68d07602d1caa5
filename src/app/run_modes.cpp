#include <windows.h>

#include "app/run_modes.h"

// NOT YET CONNECTED. The settings dialog, the completion dialog and the uninstall procedure
// are separate pieces of work that replace these bodies when they arrive; until then Setup
// mode behaves like a cancelled settings dialog and Uninstall mode does nothing at all.

INT_PTR RunSetupDialog() {
  // To become: DialogBoxParamW(ResourceModule, L"SETUPDLG", nullptr, SetupDialogProc, 0).
  return 0;
}

void RunDoneDialog() {
  // To become: DialogBoxParamW(ResourceModule, L"DONEDLG", nullptr, DoneDialogProc, 0).
}

void RunUninstallMode() {
  // To become: RunUninstall().
}
