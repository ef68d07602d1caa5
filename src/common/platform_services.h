#pragma once
// Small process services used across the program: the DLL search path, system libraries, DPI
// scaling and message boxes.

#include <windows.h>

// Removes the current directory from the DLL search path (true) or restores it (false),
// through SetDllDirectoryW looked up by name; nothing happens when it is missing.
void SetSafeDllSearchPath(bool removeCurrentDirectory);
// Loads a DLL by its full path in the Windows system folder; null on failure. Caller frees.
HMODULE LoadSystemLibrary(const wchar_t* fileName);
// True while the language in use reads right to left; set by the language file loader, read by
// message boxes and dialogs.
extern bool RightToLeft;

// length * vertical screen DPI / 96 (DPI read once per process; 0 while it cannot be read).
int ScaleForDpi(int length);
// MessageBoxW with MB_RIGHT | MB_RTLREADING added for right-to-left languages. Every message
// box of the program goes through here.
int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);
