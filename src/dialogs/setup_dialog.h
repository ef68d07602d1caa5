#pragma once
// The integration settings dialog SETUPDLG: loads the user's integration choices, lets the
// /init text and then the user change them, and on OK saves and applies them. In a silent run
// it confirms itself before it is ever shown.

#include <windows.h>

#include "integration/integration_options.h"

// Runs Setup mode's settings step. True when the choices were saved and applied (false when
// nothing at all could be integrated, see ConfirmIntegrationChoices): after OK, or
// in a silent run, also without any window when no dialog can be created (no desktop, a
// template missing from both the language library and the program). A silent run builds no
// dialog when every template it could use has a box for every choice: the dialog would only
// confirm the same choices. False when nothing was
// applied: after Cancel, or when an interactive run cannot show the dialog; ExitCode is then 1.
bool ShowSetupDialog();

// Ends with 1 after OK (choices saved and applied) and 0 after Cancel (ExitCode = 1).
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Applies the letter codes of the /init switch: "A" with up to 20 digits for the association
// slots in order, "D", "M", "P", "S", "C", "I" with one character each for the shortcut and
// shell flags ('1' sets, anything else clears). Unknown codes skip one character; a code
// without its character is ignored. Letters in either case.
void ApplyInitText(const wchar_t* initText, IntegrationOptions& options);
// Sets every check box from the record and enables the boxes that depend on the shell
// integration box.
void ShowOptionsInDialog(HWND dialog, const IntegrationOptions& options);
// Sets every field that has a box to 1 (checked) or 0; slots 18 and 19 are left alone.
void ReadOptionsFromDialog(HWND dialog, IntegrationOptions& options);
// Checks every association box when any existing one is unchecked, else clears them all.
void ToggleAllAssociations(HWND dialog);
// What OK does with the choices: save, apply (filling GroupFolder), the uninstall entry unless
// an installer package owns the installation, and the release of ".ace". When the first
// machine-wide write is refused, the apply starts over in User scope (a per-user installation).
// False when not even that could write anything: ExitCode is then 1603, the log and an
// interactive user are told, and the run shows no completion dialog.
[[nodiscard]] bool ConfirmIntegrationChoices(const IntegrationOptions& options);

// Tests: forget that the one-time notice about the single top-level item was shown.
void ResetSingleTopItemNoticeForTesting();
