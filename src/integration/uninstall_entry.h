#pragma once
// The entry of the suite in the Windows list of installed programs.

// Writes "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox archiver" under
// HKEY_LOCAL_MACHINE; its uninstall command is this program without arguments.
void WriteUninstallEntry();
