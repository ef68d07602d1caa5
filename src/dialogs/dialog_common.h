#pragma once
// What the three Setup-mode dialogs share: the pre-handler every dialog procedure runs first
// (localisation, right-to-left layout, help), small control operations, and the creation of a
// modal dialog from the language library with the program's own template as the fallback.

#include <windows.h>

// Runs before a dialog procedure looks at a message. WM_SETFONT mirrors the dialog for a
// right-to-left language, WM_INITDIALOG localises it under dialogName; both still reach the
// procedure. F1 (WM_HELP) shows helpTopic when there is one and is always swallowed; the Help
// button (IDHELP) shows it too and still reaches the procedure. helpTopic may be null.
// Returns true when the procedure must return TRUE at once.
bool HandleCommonDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                               const wchar_t* dialogName, const wchar_t* helpTopic);

void EnableControl(HWND dialog, int controlId, bool enable);
// Shows (SW_RESTORE) or hides (SW_HIDE) a control.
void ShowControl(HWND dialog, int controlId, bool show);
// Makes a control read left to right again under a right-to-left language (for fields that
// hold file names and wildcards); does nothing otherwise.
void ClearRtlReading(HWND control);

// DialogBoxParamW on the template of the language library (ResourceModule); when that dialog
// cannot be created at all (-1: a library without the template, no desktop to show it on), the
// same from the program's own template (OwnInstance). -1 only when both failed. Prepares what
// dialogs need first (PrepareDialogResources).
INT_PTR RunModalDialog(const wchar_t* templateName, HWND owner, DLGPROC procedure, LPARAM param);

// The context-menu items dialog, owned by owner; cascaded tells it whether the settings dialog
// has the cascaded menu checked. Returns the dialog result (1 OK, 0 Cancel, -1 not created).
INT_PTR ShowContextItemsDialog(HWND owner, bool cascaded);
