#pragma once
// The modern context-menu package of the new shell: "VlxExtPackage.msix" and its installer
// "VlxExtInstaller.exe", both beside this program.

// Runs the package installer with "-install" (install) or "-Uninstall" (not install) and
// records the choice in the per-user setting "Setup\NewContextMenu" (1 or 0).
// Does nothing while the settings store has integration switched off, and nothing (the
// setting keeps its value) when the package or the installer is missing. A failed start
// still records the choice. The install run is not waited for; the uninstall run is waited
// for at most 20 seconds, so a hanging installer cannot stop an uninstall.
void RunContextMenuPackage(bool install);
