#include "dialogs/context_items_dialog.h"

#include "dialogs/dialog_common.h"
#include "integration/os_version.h"
#include "resources/resource.h"
#include "settings/settings_store.h"

const MenuItemRow MenuItemTable[kMenuItemRows] = {
    {L"ExtrTo", IDC_CONTEXTEXTRACTTO, 1, true},
    {L"ExtrHere", IDC_CONTEXTEXTRACTHERE, 1, true},
    {L"Extr", IDC_CONTEXTEXTRACT, 1, true},
    {L"ExtrSep", IDC_CONTEXTEXTRACTSEPARATE, 1, true},
    {L"OpenSFX", IDC_CONTEXTOPENSFX, 1, true},
    {L"OpenArc", IDC_CONTEXTOPENARC, 1, true},
    {L"AddTo", IDC_CONTEXTADD, 1, true},
    {L"AddArc", IDC_CONTEXTADDARC, 1, true},
    {L"EmailArc", IDC_CONTEXTEMAILARC, 1, true},
    {L"EmailOpt", IDC_CONTEXTEMAILARCOPT, 1, true},
    {L"Test", IDC_CONTEXTTEST, 0, true},
    {L"Convert", IDC_CONTEXTCONVERT, 0, true},
    {L"NewVLX", IDC_CONTEXTNEWVLX, 1, false},
    {L"NewZIP", IDC_CONTEXTNEWZIP, 1, false},
    {L"SFXLocal", IDC_CONTEXTSFXLOCAL, 1, false},
    {L"SFXNetwork", IDC_CONTEXTSFXNETWORK, 1, false},
    {L"SFXOther", IDC_CONTEXTSFXOTHER, 1, false},
    {L"DragAdd", IDC_CONTEXTDRAGADD, 1, false},
    {L"DragExtr", IDC_CONTEXTDRAGEXTRACT, 1, false},
};

const TopMenuItemRow TopMenuItemTable[kTopMenuItemRows] = {
    {L"Extr", IDC_CONTEXTTOPEXTRACT, 1, 0},
    {L"ExtrTo", IDC_CONTEXTTOPEXTRACTTO, 0, 0},
    {L"ExtrHere", IDC_CONTEXTTOPEXTRACTHERE, 0, 0},
    {L"ExtrSep", IDC_CONTEXTTOPEXTRACTSEPARATE, 1, 1},
    {L"AddArc", IDC_CONTEXTTOPADDARC, 1, 2},
    {L"AddTo", IDC_CONTEXTTOPADD, 0, 2},
};

namespace {

constexpr const wchar_t* kMenuItemsKey = L"Setup\\MenuItems";
constexpr const wchar_t* kTopMenuItemsKey = L"Setup\\TopMenuItems";
constexpr const wchar_t* kMasksValue = L"AlwaysArc";
constexpr int kMasksCapacity = 1024;

// Set at every opening, read at OK: the top-level boxes were hidden, so their stored values
// must stay as they are.
bool TopItemsHidden;

void LoadTopItems(HWND dialog) {
  int groupOn = -1;
  for (const TopMenuItemRow& row : TopMenuItemTable) {
    if (row.Group == groupOn)
      continue;  // an earlier row of this group is already on
    uint32_t value = ReadUserInt(kTopMenuItemsKey, row.ValueName, row.Default);
    CheckDlgButton(dialog, row.ControlId, value != 0 ? BST_CHECKED : BST_UNCHECKED);
    if (value != 0)
      groupOn = row.Group;
  }
}

void InitDialog(HWND dialog, bool cascaded) {
  if (!cascaded && IsNewShell()) {
    TopItemsHidden = false;
    for (const MenuItemRow& row : MenuItemTable) {
      if (row.ClassicOnly)
        ShowControl(dialog, row.ControlId, false);
    }
    LoadTopItems(dialog);
  } else {
    TopItemsHidden = true;
    for (const TopMenuItemRow& row : TopMenuItemTable)
      ShowControl(dialog, row.ControlId, false);
  }

  for (const MenuItemRow& row : MenuItemTable) {
    uint32_t value = ReadUserInt(kMenuItemsKey, row.ValueName, row.Default);
    CheckDlgButton(dialog, row.ControlId, value);
  }

  wchar_t masks[kMasksCapacity];
  (void)ReadUserString(kMenuItemsKey, kMasksValue, masks, L"*.iso", kMasksCapacity);
  SetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, masks);
  ClearRtlReading(GetDlgItem(dialog, IDC_CONTEXTALWAYSARC));
}

// Every box is written with its state as it stands, hidden ones included (a hidden box still
// holds the value it was loaded with). Refused writes are dropped by the settings store.
void SaveChoices(HWND dialog) {
  for (const MenuItemRow& row : MenuItemTable) {
    (void)WriteUserInt(kMenuItemsKey, row.ValueName, IsDlgButtonChecked(dialog, row.ControlId));
  }
  if (!TopItemsHidden) {
    for (const TopMenuItemRow& row : TopMenuItemTable) {
      (void)WriteUserInt(kTopMenuItemsKey, row.ValueName,
                         IsDlgButtonChecked(dialog, row.ControlId));
    }
  }
  wchar_t masks[kMasksCapacity] = L"";
  (void)GetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, masks, kMasksCapacity);
  (void)WriteUserString(kMenuItemsKey, kMasksValue, masks);
  (void)SaveSettingsFile();  // portable installation: reach the disk now
}

}  // namespace

INT_PTR CALLBACK ContextItemsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleCommonDialogMessage(dialog, message, wParam, lParam, L"SETUPCONTEXTITEMS",
                                L"HELPContextItems") ||
      message == WM_HELP) {
    return TRUE;
  }
  switch (message) {
    case WM_INITDIALOG:
      InitDialog(dialog, lParam != 0);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          SaveChoices(dialog);
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}
