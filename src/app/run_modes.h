#pragma once

#include <windows.h>
// The two run modes as the entry routine starts them.

// Setup mode's settings dialog SETUPDLG, modal, from ResourceModule, no owner, parameter 0.
// Returns the dialog's result: 0 when it was cancelled, non-zero after OK.
INT_PTR RunSetupDialog();
// Setup mode's completion dialog DONEDLG, the same way; its result is not used.
void RunDoneDialog();
// Uninstall mode.
void RunUninstallMode();
