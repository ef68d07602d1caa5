#include <windows.h>

#include "app/run_modes.h"
#include "app/uninstall.h"
#include "dialogs/done_dialog.h"
#include "dialogs/setup_dialog.h"

// Non-zero only when the choices were saved and applied. A settings dialog that cannot be
// created at all (no desktop, no template) is not an OK: a silent run then confirms its choices
// without a window, an interactive one ends with exit code 1 and nothing applied.
INT_PTR RunSetupDialog() {
  return ShowSetupDialog() ? 1 : 0;
}

void RunDoneDialog() {
  ShowDoneDialog();
}

void RunUninstallMode() {
  RunUninstall();
}
