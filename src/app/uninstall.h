#pragma once
// Uninstall mode: what the Windows list of installed programs runs.

// After the user confirms (not asked when silent): removes all shell integration and settings,
// deletes every entry of "Uninstall.lst" in repeated walks, schedules files in use for deletion
// at restart, removes the browser control's data folder and starts the self-removal script.
// With /msi only the integration and settings go. A list that cannot be opened is logged and,
// unless silent, shown, and nothing is removed. Sets the exit code: 1602 when the user
// declined, 1603 when the list cannot be opened or the removal script could not be written or
// started (the program stays), 3010 when files in use go at the next restart, else unchanged.
void RunUninstall();
