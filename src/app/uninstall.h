#pragma once
// Uninstall mode: what the Windows list of installed programs runs.

// After the user confirms (not asked when silent): removes all shell integration and settings,
// deletes every entry of "Uninstall.lst" in repeated walks, schedules files in use for deletion
// at restart, removes the browser control's data folder and starts the self-removal script.
// With /msi only the integration and settings go. A list that cannot be opened is reported (even
// in silent runs) and nothing is removed. Never changes the exit code.
void RunUninstall();
