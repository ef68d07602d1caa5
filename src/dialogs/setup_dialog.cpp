#include "dialogs/setup_dialog.h"

#include <richedit.h>

#include "common/change_record.h"
#include "common/exit_codes.h"
#include "common/platform_services.h"
#include "common/setup_flags.h"
#include "common/string_util.h"
#include "dialogs/dialog_common.h"
#include "dialogs/dialog_template.h"
#include "integration/apply_integration.h"
#include "integration/associations.h"
#include "integration/os_version.h"
#include "integration/uninstall_entry.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "settings/settings_store.h"

namespace {

constexpr size_t kInfoTextCapacity = 4096;
constexpr int kInitDigits = 20;

// The boxes of the record's fields other than the associations (those follow the association
// table's rows).
struct FlagBox {
  int ControlId;
  uint8_t IntegrationOptions::*Field;
};
constexpr FlagBox kFlagBoxes[] = {
    {IDC_LINKDESKTOP, &IntegrationOptions::Desktop},
    {IDC_LINKSTARTMENU, &IntegrationOptions::StartMenu},
    {IDC_LINKPROGRAMS, &IntegrationOptions::Programs},
    {IDC_SHELLEXT, &IntegrationOptions::ShellExt},
    {IDC_SHELLCASCADED, &IntegrationOptions::CascadedMenu},
    {IDC_SHELLICONS, &IntegrationOptions::MenuIcons},
    {IDC_SHELLLEGACYMENU, &IntegrationOptions::LegacyMenu},
};

// The /init letters with one value character each.
struct InitCode {
  wchar_t Letter;
  uint8_t IntegrationOptions::*Field;
};
constexpr InitCode kInitCodes[] = {
    {L'D', &IntegrationOptions::Desktop},      {L'M', &IntegrationOptions::StartMenu},
    {L'P', &IntegrationOptions::Programs},     {L'S', &IntegrationOptions::ShellExt},
    {L'C', &IntegrationOptions::CascadedMenu}, {L'I', &IntegrationOptions::MenuIcons},
};

// The notice about the single top-level item of the new shell is shown once per process.
bool SingleTopItemShown;

// How the last settings dialog ended; tells ShowSetupDialog whether the OK sequence already ran
// when the dialog reports that it could not be created.
// Failed: confirmed, but nothing could be integrated (the exit code says so).
enum class SetupOutcome { None, Confirmed, Cancelled, Failed };
SetupOutcome Outcome;

void SetInfoText(HWND dialog) {
  wchar_t text[kInfoTextCapacity] = L"   ";
  for (int id = IDS_INSTHELP1; id <= IDS_INSTHELP5; ++id) {
    AppendBounded(text, L" ");
    AppendBounded(text, MessageText(id));
  }
  AppendBounded(text, L"\r\n    ");
  AppendBounded(text, MessageText(IDS_INSTHELP6));
  SetDlgItemTextW(dialog, IDC_SETUPINFOTEXT, text);
}

void InitDialog(HWND dialog) {
  SetInfoText(dialog);
  IntegrationOptions options = {};
  LoadIntegrationOptions(options);
  ApplyInitText(SetupFlags.InitText, options);
  ShowOptionsInDialog(dialog, options);
  (void)SetForegroundWindow(dialog);
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(SetupFlags.AppIcon));
  SendDlgItemMessageW(dialog, IDC_SETUPINFOTEXT, EM_SETBKGNDCOLOR, 0,
                      static_cast<LPARAM>(GetSysColor(COLOR_BTNFACE)));
  // A silent run confirms the choices before the dialog is ever shown.
  if (SetupFlags.Silent)
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
}

void OnCascadedClicked(HWND dialog) {
  if (SingleTopItemShown || !IsNewShell() || IsDlgButtonChecked(dialog, IDC_SHELLCASCADED) != 0) {
    return;
  }
  const wchar_t* text = MessageText(IDS_SINGLETOPITEM);
  const wchar_t* caption = MessageText(IDS_UNINSTTITLE);
  (void)ShowMessageBox(dialog, text, caption, MB_ICONINFORMATION);
  SingleTopItemShown = true;
}

void OnCommand(HWND dialog, int id) {
  switch (id) {
    case IDOK: {
      IntegrationOptions options = {};
      ReadOptionsFromDialog(dialog, options);
      const bool applied = ConfirmIntegrationChoices(options);
      Outcome = applied ? SetupOutcome::Confirmed : SetupOutcome::Failed;
      EndDialog(dialog, applied ? 1 : 0);
      break;
    }
    case IDCANCEL:
      SetupFlags.ExitCode = 1;
      Outcome = SetupOutcome::Cancelled;
      EndDialog(dialog, 0);
      break;
    case IDC_SHELLEXT: {
      IntegrationOptions options = {};
      ReadOptionsFromDialog(dialog, options);
      ShowOptionsInDialog(dialog, options);
      break;
    }
    case IDC_SHELLCASCADED:
      OnCascadedClicked(dialog);
      break;
    case IDC_ASSOCALL:
      ToggleAllAssociations(dialog);
      break;
    case IDC_SETCONTEXTMENU:
      (void)ShowContextItemsDialog(dialog, IsDlgButtonChecked(dialog, IDC_SHELLCASCADED) != 0);
      break;
    default:
      break;
  }
}

// The stored choices with the /init text applied, as the dialog's boxes hold them: each
// association row and each flag that has a box on or off, the rest (slots 18 and 19) off.
IntegrationOptions ChoicesAsTheBoxesHoldThem() {
  IntegrationOptions loaded = {};
  LoadIntegrationOptions(loaded);
  ApplyInitText(SetupFlags.InitText, loaded);
  IntegrationOptions options = {};
  for (int row = 0; row < kAssociationRows; ++row) {
    options.Associations[row] = loaded.Associations[row] != 0 ? 1 : 0;
  }
  for (const FlagBox& box : kFlagBoxes)
    options.*box.Field = loaded.*box.Field != 0 ? 1 : 0;
  return options;
}

// True when every settings dialog that RunModalDialog could create has a check box for every
// choice: a silent one would then confirm exactly ChoicesAsTheBoxesHoldThem. (With no template
// at all no dialog can be created, and a silent run confirms those choices all the same.)
bool EveryDialogHoldsEveryChoice() {
  int ids[kAssociationRows + ARRAYSIZE(kFlagBoxes)];
  size_t count = 0;
  for (int row = 0; row < kAssociationRows; ++row)
    ids[count++] = AssociationTable[row].DialogControl;
  for (const FlagBox& box : kFlagBoxes)
    ids[count++] = box.ControlId;
  const HMODULE modules[] = {ResourceModule, OwnInstance};
  for (HMODULE module : modules) {
    if (HasDialogTemplate(module, L"SETUPDLG") &&
        !TemplateHasCheckBoxes(module, L"SETUPDLG", ids, count)) {
      return false;
    }
  }
  return true;
}

}  // namespace

void ApplyInitText(const wchar_t* initText, IntegrationOptions& options) {
  const wchar_t* p = initText;
  while (*p != 0) {
    wchar_t code = UpperChar(*p++);
    if (code == L'A') {
      for (int slot = 0; slot < kInitDigits && IsAsciiDigit(*p); ++slot, ++p) {
        options.Associations[slot] = *p == L'1' ? 1 : 0;
      }
      continue;
    }
    if (*p == 0)
      break;  // a code without its value character
    wchar_t value = *p++;
    for (const InitCode& known : kInitCodes) {
      if (known.Letter == code)
        options.*known.Field = value == L'1' ? 1 : 0;
    }
  }
}

void ShowOptionsInDialog(HWND dialog, const IntegrationOptions& options) {
  for (int row = 0; row < kAssociationRows; ++row) {
    CheckDlgButton(dialog, AssociationTable[row].DialogControl,
                   options.Associations[row] != 0 ? BST_CHECKED : BST_UNCHECKED);
  }
  for (const FlagBox& box : kFlagBoxes) {
    CheckDlgButton(dialog, box.ControlId, options.*box.Field != 0 ? BST_CHECKED : BST_UNCHECKED);
  }
  bool shellExt = options.ShellExt != 0;
  EnableControl(dialog, IDC_SHELLCASCADED, shellExt);
  EnableControl(dialog, IDC_SHELLICONS, shellExt);
  EnableControl(dialog, IDC_SHELLLEGACYMENU, shellExt && IsNewShell());
}

void ReadOptionsFromDialog(HWND dialog, IntegrationOptions& options) {
  for (int row = 0; row < kAssociationRows; ++row) {
    options.Associations[row] =
        IsDlgButtonChecked(dialog, AssociationTable[row].DialogControl) != 0 ? 1 : 0;
  }
  for (const FlagBox& box : kFlagBoxes) {
    options.*box.Field = IsDlgButtonChecked(dialog, box.ControlId) != 0 ? 1 : 0;
  }
}

void ToggleAllAssociations(HWND dialog) {
  bool anyUnchecked = false;
  for (int id = IDC_ASSOCVLX; id <= IDC_ASSOC001; ++id) {
    if (GetDlgItem(dialog, id) != nullptr && IsDlgButtonChecked(dialog, id) == BST_UNCHECKED) {
      anyUnchecked = true;
      break;
    }
  }
  for (int id = IDC_ASSOCVLX; id <= IDC_ASSOC001; ++id) {
    CheckDlgButton(dialog, id, anyUnchecked ? BST_CHECKED : BST_UNCHECKED);
  }
}

bool ConfirmIntegrationChoices(const IntegrationOptions& options) {
  // Setup writes most keys' values one after another: each such run opens its key once.
  const SettingsWriteBatch batch;
  SaveIntegrationOptions(options);
  IntegrationResult result =
      ApplyIntegration(options, SetupFlags.GroupFolder, ARRAYSIZE(SetupFlags.GroupFolder));
  if (result == IntegrationResult::Denied && GetInstallScope() == InstallScope::Machine) {
    // The machine-wide keys cannot be written, and nothing was: start over for this user.
    RecordChange(ChangeKind::Notice, L"", nullptr,
                 L"no write access to the machine-wide keys: installing for the current user");
    SetInstallScope(InstallScope::User);
    result = ApplyIntegration(options, SetupFlags.GroupFolder, ARRAYSIZE(SetupFlags.GroupFolder));
  }
  if (result == IntegrationResult::Denied) {
    // Not even the user's own keys: nothing is integrated, and the run says so.
    SetupFlags.ExitCode = kExitFailed;
    RecordChange(ChangeKind::Notice, L"", nullptr,
                 L"no write access to the user's keys either: nothing integrated");
    if (!SetupFlags.Silent) {
      (void)ShowMessageBox(nullptr, MessageText(IDS_NOTHINGINTEGRATED),
                           MessageText(IDS_UNINSTTITLE), MB_ICONERROR | MB_SETFOREGROUND);
    }
    return false;
  }
  // Class keys refused after the rest was written still count as confirmed: the rest of the
  // sequence runs and the user keeps the choices that could be written.
  if (!SetupFlags.Msi)
    WriteUninstallEntry();
  // Earlier versions took ".ace" over; it is always given back.
  ReleaseAceAssociation();
  if (GetInstallScope() == InstallScope::User)
    RecordChange(ChangeKind::Notice, L"", nullptr, L"installed for the current user only");
  return true;
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleCommonDialogMessage(dialog, message, wParam, lParam, L"SETUPDLG",
                                L"HELPIntegrationSettings")) {
    return TRUE;
  }
  switch (message) {
    case WM_INITDIALOG:
      InitDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      OnCommand(dialog, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

bool ShowSetupDialog() {
  // A silent dialog confirms itself before it is shown. Where that confirms exactly what the
  // choices are without it, it is not built at all.
  if (SetupFlags.Silent && EveryDialogHoldsEveryChoice())
    return ConfirmIntegrationChoices(ChoicesAsTheBoxesHoldThem());
  Outcome = SetupOutcome::None;
  INT_PTR result = RunModalDialog(L"SETUPDLG", nullptr, SetupDialogProc, 0);
  if (Outcome != SetupOutcome::None)
    return Outcome == SetupOutcome::Confirmed;
  if (result != -1) {
    // Closed without OK or Cancel (the system ended it): nothing was applied.
    SetupFlags.ExitCode = 1;
    return false;
  }

  // No dialog could be created. A silent run needs none: it confirms exactly what the dialog
  // would have confirmed by itself. An interactive run must not pretend the user agreed.
  if (!SetupFlags.Silent) {
    SetupFlags.ExitCode = 1;
    return false;
  }
  return ConfirmIntegrationChoices(ChoicesAsTheBoxesHoldThem());
}

void ResetSingleTopItemNoticeForTesting() {
  SingleTopItemShown = false;
}
