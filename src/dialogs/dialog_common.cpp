#include "dialogs/dialog_common.h"

#include "dialogs/context_items_dialog.h"
#include "dialogs/dialog_resources.h"
#include "lang/dialog_localize.h"
#include "lang/help.h"
#include "lang/language_file.h"
#include "lang/messages.h"

bool HandleCommonDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/,
                               const wchar_t* dialogName, const wchar_t* helpTopic) {
  switch (message) {
    case WM_SETFONT:
      // The first message a dialog gets while it is being created: mirroring it now lays out
      // every control mirrored from the start.
      ApplyRtlLayout(dialog);
      return false;
    case WM_INITDIALOG:
      LocalizeDialog(dialog, dialogName);
      return false;
    case WM_HELP:
      if (helpTopic != nullptr)
        (void)ShowHelp(dialog, helpTopic);
      return true;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDHELP && helpTopic != nullptr)
        (void)ShowHelp(dialog, helpTopic);
      return false;
    default:
      return false;
  }
}

void EnableControl(HWND dialog, int controlId, bool enable) {
  (void)EnableWindow(GetDlgItem(dialog, controlId), enable ? TRUE : FALSE);
}

void ShowControl(HWND dialog, int controlId, bool show) {
  (void)ShowWindow(GetDlgItem(dialog, controlId), show ? SW_RESTORE : SW_HIDE);
}

void ClearRtlReading(HWND control) {
  if (!RightToLeft)
    return;
  LONG style = GetWindowLongW(control, GWL_EXSTYLE);
  (void)SetWindowLongW(control, GWL_EXSTYLE, style & ~WS_EX_RTLREADING);
}

INT_PTR RunModalDialog(const wchar_t* templateName, HWND owner, DLGPROC procedure, LPARAM param) {
  PrepareDialogResources();
  INT_PTR result = DialogBoxParamW(ResourceModule, templateName, owner, procedure, param);
  if (result == -1 && OwnInstance != ResourceModule) {
    result = DialogBoxParamW(OwnInstance, templateName, owner, procedure, param);
  }
  return result;
}

INT_PTR ShowContextItemsDialog(HWND owner, bool cascaded) {
  return RunModalDialog(L"SETUPCONTEXTITEMS", owner, ContextItemsDialogProc, cascaded ? 1 : 0);
}
