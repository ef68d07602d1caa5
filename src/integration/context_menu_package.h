#pragma once
// The modern context-menu package of the new shell: "VlxExtPackage.msix" and its installer
// "VlxExtInstaller.exe", both beside this program.

enum class PackageAction { Install, Uninstall };
// Runs the package installer with "-install" or "-Uninstall" and records the choice in the
// per-user setting "Setup\NewContextMenu" (1 for Install, 0 for Uninstall).
// Does nothing while the settings store has integration switched off, and nothing (the
// setting keeps its value) when the package or the installer is missing. A failed start
// still records the choice. The install run is not waited for; the uninstall run is waited
// for at most 20 seconds, so a hanging installer cannot stop an uninstall.
void RunContextMenuPackage(PackageAction action);
