#pragma once
// The entry of the suite in the Windows list of installed programs.

#include <cstddef>

// The entry's key, absolute under HKEY_LOCAL_MACHINE (leading backslash): written by
// WriteUninstallEntry, deleted whole by the removal. In User scope the same path under
// HKEY_CURRENT_USER is the per-user installation's entry.
inline constexpr wchar_t kUninstallKey[] =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vellox archiver";

// Writes "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox archiver" under
// HKEY_LOCAL_MACHINE. Its uninstall command is this program's path, quoted, without arguments
// (Uninstall mode); the quiet one adds /s. EstimatedSize is the size of the files below the
// program's folder in KiB, rounded up, without entering links. The removal deletes the whole
// key, these values with it. In User scope the entry is the per-user one and both commands
// carry /user ("<path>" /user, "<path>" /user /s).
void WriteUninstallEntry();
// True when the installation in folder is a per-user one: in Machine scope, no machine-wide
// entry names folder as its InstallLocation and the per-user entry does. False in User scope.
bool IsPerUserInstallation(const wchar_t* folder);
// Appends the version text "6.21 (<bitness>)" to text, behind a blank when text is not empty.
// Never writes past capacity (characters, terminator included).
void AppendVersionText(wchar_t* text, size_t capacity);
