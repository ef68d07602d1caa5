#pragma once
// The completion dialog DONEDLG: where the archiver was installed, and the help file, the
// licence and the home page. A silent run passes through it without showing it.

#include <windows.h>

// Shows the dialog (from the language library, else the program's own template); a dialog
// that cannot be shown is no error.
void ShowDoneDialog();

// Always ends with 1; OK, Esc and the close button all just close it.
INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
