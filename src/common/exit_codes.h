#pragma once
// The process exit codes, as deployment tools read them. The installer codes are the system's
// own (winerror.h), so that a tool that runs installer packages reads these runs the same way.

constexpr int kExitDone = 0;
// The settings dialog was cancelled, or an interactive run could not show it: nothing applied.
constexpr int kExitCancelled = 1;
// The user answered No to the uninstall question: nothing changed.
constexpr int kExitDeclined = 1602;  // ERROR_INSTALL_USER_EXIT
// The run could not do its work: the file list is missing or unreadable, the removal script
// could not be written or started (the program stays), or the installation was removed while
// Setup waited for its turn.
constexpr int kExitFailed = 1603;  // ERROR_INSTALL_FAILURE
// Another Setup or Uninstall run held the machine-wide lock for the whole wait: nothing changed.
constexpr int kExitAlreadyRunning = 1618;  // ERROR_INSTALL_ALREADY_RUNNING
// Done; files in use are deleted at the next restart, which completes the removal.
constexpr int kExitRestartNeeded = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
