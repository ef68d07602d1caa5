#include "dialogs/done_dialog.h"

#include <shellapi.h>

#include "common/path_util.h"
#include "common/setup_flags.h"
#include "common/string_util.h"
#include "dialogs/dialog_common.h"
#include "lang/help.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "settings/settings_store.h"

namespace {

// The installation folder is the process's current directory (the installer starts the
// program there). Empty when it cannot be read or does not fit.
void CurrentFolder(wchar_t* dest) {
  DWORD length = GetCurrentDirectoryW(kPathBufferCapacity, dest);
  if (length == 0 || length >= kPathBufferCapacity)
    dest[0] = 0;
}

void InitDialog(HWND dialog) {
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(SetupFlags.AppIcon));
  SendDlgItemMessageW(dialog, IDC_THANKS, WM_SETFONT, reinterpret_cast<WPARAM>(SetupFlags.BoldFont),
                      0);
  wchar_t folder[kPathBufferCapacity];
  CurrentFolder(folder);
  SetDlgItemTextW(dialog, IDC_INSTFOLDERPATH, folder);
  // A per-user installation says so: it is for this user only.
  if (GetInstallScope() == InstallScope::User)
    SetDlgItemTextW(dialog, IDC_INSTINFOFOLDER, MessageText(IDS_FORCURRENTUSER));
  if (SetupFlags.Silent)
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
}

// The shell's own handling of a missing file or an address it cannot open is all the user
// sees; the dialog stays open either way.
void OpenWithShell(const wchar_t* target) {
  (void)ShellExecuteW(nullptr, L"open", target, nullptr, L"", SW_SHOWNORMAL);
}

void OpenLicence() {
  wchar_t path[kPathBufferCapacity];
  CurrentFolder(path);
  (void)EnsureTrailingBackslash(path, kPathBufferCapacity);
  AppendBounded(path, L"license.txt", kPathBufferCapacity);
  ApplyLanguageFolder(path, path, kPathBufferCapacity);
  OpenWithShell(path);
}

}  // namespace

INT_PTR CALLBACK DoneDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleCommonDialogMessage(dialog, message, wParam, lParam, L"DONEDLG", nullptr)) {
    return TRUE;
  }
  switch (message) {
    case WM_INITDIALOG:
      InitDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
          EndDialog(dialog, 1);
          break;
        case IDC_VIEWHELP:
          (void)ShowHelp(dialog, nullptr);
          break;
        case IDC_VIEWLICENSE:
          OpenLicence();
          break;
        case IDC_HOMEPAGE:
          OpenWithShell(MessageText(IDS_HOMEURL));
          break;
        default:
          break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}

void ShowDoneDialog() {
  (void)RunModalDialog(L"DONEDLG", nullptr, DoneDialogProc, 0);
}
