#include <windows.h>

#include "app/run_modes.h"
#include "app/uninstall.h"
#include "common/setup_flags.h"
#include "dialogs/done_dialog.h"
#include "dialogs/setup_dialog.h"

// Non-zero only when the choices were saved and applied. A settings dialog that cannot be
// created at all (no desktop, no template) is not an OK: a silent run then confirms its choices
// without a window, an interactive one ends with exit code 1 and nothing applied.
INT_PTR RunSetupDialog() {
  return ShowSetupDialog() ? 1 : 0;
}

void RunDoneDialog() {
  // A silent run's completion dialog closes itself before it is shown and changes nothing.
  if (SetupFlags.Silent)
    return;
  ShowDoneDialog();
}

void RunUninstallMode() {
  RunUninstall();
}
