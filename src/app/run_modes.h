#pragma once

#include <windows.h>
// The two run modes as the entry routine starts them.

// Setup mode's settings dialog SETUPDLG, modal, from ResourceModule (the program's own
// template when the library's cannot be created), no owner, parameter 0. Non-zero when the
// choices were saved and applied; 0 after Cancel or when nothing was applied.
INT_PTR RunSetupDialog();
// Setup mode's completion dialog DONEDLG, the same way; its result is not used. A silent run,
// where it would close itself unseen, does not build it.
void RunDoneDialog();
// Uninstall mode.
void RunUninstallMode();
