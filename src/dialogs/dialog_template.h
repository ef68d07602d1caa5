#pragma once
// Reading a dialog template resource without creating the dialog.

#include <windows.h>

#include <cstddef>

// True when the dialog template templateName (RT_DIALOG, either layout) of module holds, for
// every one of the ids, a control of the button class with a check-box style: a box that
// CheckDlgButton sets and IsDlgButtonChecked reads back. False when the template is missing,
// cannot be read, or lacks one of them. Checks the first control of each id, the one that
// GetDlgItem finds.
bool TemplateHasCheckBoxes(HMODULE module, const wchar_t* templateName, const int* ids,
                           size_t count);
// True when module has the template at all.
bool HasDialogTemplate(HMODULE module, const wchar_t* templateName);
