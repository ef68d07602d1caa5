#pragma once
// The entry of the suite in the Windows list of installed programs.

#include <cstddef>

// Writes "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellox archiver" under
// HKEY_LOCAL_MACHINE; its uninstall command is this program without arguments.
void WriteUninstallEntry();
// Appends the version text "6.21 (<bitness>)" to text, behind a blank when text is not empty.
// Never writes past capacity (characters, terminator included).
void AppendVersionText(wchar_t* text, size_t capacity);
