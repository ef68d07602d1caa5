#pragma once
// The suite's help file vellox.chm, shown through the Windows HTML Help viewer. The viewer's
// library hhctrl.ocx is loaded from the Windows system folder only (never from the program's
// folder or the search path), on the first request, and kept until the process ends.

#include <windows.h>

// Opens the help file at the page html/<topic>.htm, or at its contents when topic is null.
// The viewer's owner is always the desktop window; caller is not used. Returns the viewer's
// window or null; nothing is ever reported to the user. When the viewer fails on a help-file
// path that the ANSI code page cannot carry, the request is repeated once per process with the
// short form of the program's folder.
HWND ShowHelp(HWND caller, const wchar_t* topic);

// Tests only: a return to the state of a fresh process (library kept; entry, path and retry
// forgotten). The viewer itself is stood in for through the help-viewer seam.
void ResetHelpForTesting();
