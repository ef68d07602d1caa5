#pragma once
// Adapting a dialog to the language file while it initialises: translated control texts,
// caption and size, and the mirrored layout of right-to-left languages. Called by the common
// dialog pre-handler; the dialogs themselves know nothing of localisation.

#include <windows.h>

// Sets the texts of the controls that the language file names for the dialog (by its
// template name, such as "SETUPDLG"), scales the dialog and its controls by the dialog's
// SIZE entry (percentages "width*height") and sets its CAPTION entry. Whatever the file
// lacks, or gives in a malformed way, stays as the template made it; nothing is reported.
void LocalizeDialog(HWND dialog, const wchar_t* name);

// Adds WS_EX_LAYOUTRTL to the window while RightToLeft is on; otherwise does nothing.
void ApplyRtlLayout(HWND window);
