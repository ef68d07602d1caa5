#pragma once
// The archiver's shortcuts: one on the desktop, one in the Start menu, and the program group
// "Vellox" (per-user and all-users) holding shortcuts to the archiver, its help file, its
// console manual and its release notes. COM must be initialised on the calling thread.

#include <cstddef>

#include "integration/integration_options.h"

// The special folder of a CSIDL in buffer (capacity of at least 260 characters), or
// "unknown_folder" and false when it cannot be found. A test may point a folder elsewhere
// (SetSpecialFolderForTesting); an empty override stands for a folder the shell cannot find.
bool GetKnownFolder(wchar_t* buffer, size_t capacity, int csidl);

// Creates or updates the shortcut file linkPath to target. An existing shortcut is loaded
// first, so what is not set here (hot key, show command, arguments) carries over. workDir and
// description may be null (left unchanged); a null iconPath gives an empty icon location, so
// the shortcut shows its target's icon. True when the shortcut was saved.
bool CreateShellLink(const wchar_t* target, const wchar_t* linkPath, const wchar_t* workDir,
                     const wchar_t* description, const wchar_t* iconPath);

// Creates, updates or removes the desktop and Start-menu shortcuts and both program groups by
// options.Desktop, StartMenu and Programs; the zero record removes them all. groupFolder (may
// be null) receives the program group made: the all-users one when it could be made, else the
// per-user one. iconPath (may be null) is the icon of the shortcuts to the archiver. Does
// nothing while the settings store has integration switched off. Failures are skipped.
void UpdateShortcuts(const IntegrationOptions& options, wchar_t* groupFolder, size_t capacity,
                     const wchar_t* iconPath);
