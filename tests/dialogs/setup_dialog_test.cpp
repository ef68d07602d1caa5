#include "dialogs/setup_dialog.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/string_util.h"
#include "dialog_test_util.h"
#include "dialogs/context_items_dialog.h"
#include "dialogs/dialog_template.h"
#include "resources/resource.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"

using dialog_test::DialogTest;
using dialog_test::HelpCalls;

namespace {

IntegrationOptions AllOff() {
  return IntegrationOptions{};
}

IntegrationOptions Filled(uint8_t value) {
  IntegrationOptions o = {};
  for (auto& a : o.Associations)
    a = value;
  o.Desktop = o.StartMenu = o.Programs = o.ShellExt = value;
  o.CascadedMenu = o.MenuIcons = o.LegacyMenu = value;
  return o;
}

constexpr int kAssociationIds[] = {
    IDC_ASSOCVLX, IDC_ASSOCZIP, IDC_ASSOCCAB, IDC_ASSOCARJ,  IDC_ASSOCLZ,  IDC_ASSOCLZH,
    IDC_ASSOC7Z,  IDC_ASSOCTAR, IDC_ASSOCGZ,  IDC_ASSOCUUE,  IDC_ASSOCBZ2, IDC_ASSOCJAR,
    IDC_ASSOCISO, IDC_ASSOCZ,   IDC_ASSOCXZ,  IDC_ASSOCZIPX, IDC_ASSOCZST, IDC_ASSOC001};

}  // namespace

// --- The /init text --------------------------------------------------------------------------

TEST(ApplyInitText, AssociationRunThenDesktop) {
  IntegrationOptions o = Filled(1);
  o.Associations[4] = 0;
  o.Desktop = 0;
  ApplyInitText(L"A1100D1", o);
  EXPECT_EQ(o.Associations[0], 1);
  EXPECT_EQ(o.Associations[1], 1);
  EXPECT_EQ(o.Associations[2], 0);
  EXPECT_EQ(o.Associations[3], 0);
  EXPECT_EQ(o.Associations[4], 0) << "slots behind the run keep their values";
  EXPECT_EQ(o.Associations[5], 1);
  EXPECT_EQ(o.Desktop, 1);
  EXPECT_EQ(o.StartMenu, 1);
}

TEST(ApplyInitText, LowerCaseLetters) {
  IntegrationOptions o = Filled(1);
  ApplyInitText(L"a0s0", o);
  EXPECT_EQ(o.Associations[0], 0);
  EXPECT_EQ(o.Associations[1], 1);
  EXPECT_EQ(o.ShellExt, 0);
  EXPECT_EQ(o.Desktop, 1);
}

TEST(ApplyInitText, UnknownCodeSkipsItsValue) {
  IntegrationOptions o = AllOff();
  ApplyInitText(L"X1D1", o);
  EXPECT_EQ(o.Desktop, 1);
  IntegrationOptions unchanged = AllOff();
  EXPECT_EQ(memcmp(&o.Associations, &unchanged.Associations, sizeof o.Associations), 0);
  // "XD" is one skipped pair: the D is X's value, not a code.
  o = AllOff();
  ApplyInitText(L"XD1", o);
  EXPECT_EQ(o.Desktop, 0);
}

TEST(ApplyInitText, CodeWithoutValueChangesNothing) {
  const IntegrationOptions all = Filled(1);
  IntegrationOptions o = all;
  ApplyInitText(L"D", o);
  EXPECT_EQ(memcmp(&o, &all, sizeof o), 0);
  ApplyInitText(L"M0D", o);
  EXPECT_EQ(o.StartMenu, 0);
  EXPECT_EQ(o.Desktop, 1);
}

TEST(ApplyInitText, EveryFlagCodeAndNonOneValues) {
  IntegrationOptions o = AllOff();
  ApplyInitText(L"D1M1P1S1C1I1", o);
  EXPECT_EQ(o.Desktop, 1);
  EXPECT_EQ(o.StartMenu, 1);
  EXPECT_EQ(o.Programs, 1);
  EXPECT_EQ(o.ShellExt, 1);
  EXPECT_EQ(o.CascadedMenu, 1);
  EXPECT_EQ(o.MenuIcons, 1);
  EXPECT_EQ(o.LegacyMenu, 0) << "the legacy menu has no code";
  ApplyInitText(L"D2MyPxs0", o);
  EXPECT_EQ(o.Desktop, 0);
  EXPECT_EQ(o.StartMenu, 0);
  EXPECT_EQ(o.Programs, 0);
  EXPECT_EQ(o.ShellExt, 0);
}

TEST(ApplyInitText, AssociationRunStopsAtTwentyDigitsOrANonDigit) {
  IntegrationOptions o = AllOff();
  // 21 ones: the 21st digit is read as a code letter with "D" as its value (both skipped),
  // and the final "1" is a code without a value.
  ApplyInitText(L"A111111111111111111111D1", o);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(o.Associations[i], 1) << i;
  EXPECT_EQ(o.Desktop, 0);

  o = AllOff();
  ApplyInitText(L"A19P1", o);  // any digit other than 1 clears
  EXPECT_EQ(o.Associations[0], 1);
  EXPECT_EQ(o.Associations[1], 0);
  EXPECT_EQ(o.Programs, 1);

  o = Filled(1);
  ApplyInitText(L"A", o);  // an empty run changes nothing
  EXPECT_EQ(o.Associations[0], 1);
}

// --- The dialog ------------------------------------------------------------------------------

class SetupDialogTest : public DialogTest {
 protected:
  RegistrySandbox sandbox_;
};

TEST_F(SetupDialogTest, ShowsAndReadsBackEveryBox) {
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  IntegrationOptions in = AllOff();
  for (int i = 0; i < kAssociationRows; i += 3)
    in.Associations[i] = 1;
  in.StartMenu = in.ShellExt = in.MenuIcons = 1;
  in.Associations[18] = 1;  // no box
  ShowOptionsInDialog(d, in);
  for (int i = 0; i < kAssociationRows; ++i) {
    EXPECT_EQ(Checked(d, kAssociationIds[i]), in.Associations[i] != 0) << i;
  }
  EXPECT_FALSE(Checked(d, IDC_LINKDESKTOP));
  EXPECT_TRUE(Checked(d, IDC_LINKSTARTMENU));
  EXPECT_TRUE(Checked(d, IDC_SHELLICONS));

  IntegrationOptions out = Filled(7);
  ReadOptionsFromDialog(d, out);
  for (int i = 0; i < kAssociationRows; ++i)
    EXPECT_EQ(out.Associations[i], in.Associations[i]);
  EXPECT_EQ(out.Associations[18], 7) << "slots without a box are not touched";
  EXPECT_EQ(out.Associations[19], 7);
  EXPECT_EQ(out.Desktop, 0);
  EXPECT_EQ(out.StartMenu, 1);
  EXPECT_EQ(out.Programs, 0);
  EXPECT_EQ(out.ShellExt, 1);
  EXPECT_EQ(out.CascadedMenu, 0);
  EXPECT_EQ(out.MenuIcons, 1);
  EXPECT_EQ(out.LegacyMenu, 0);
}

TEST_F(SetupDialogTest, InitLoadsStoredChoicesAndAppliesInitText) {
  RegWriteDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\.cab", L"Set", 0);
  RegWriteDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\Links", L"StartMenu", 1);
  CopyBounded(SetupFlags.InitText, L"A1100D1");
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(Checked(d, IDC_ASSOCVLX));
  EXPECT_TRUE(Checked(d, IDC_ASSOCZIP));
  EXPECT_FALSE(Checked(d, IDC_ASSOCCAB));
  EXPECT_FALSE(Checked(d, IDC_ASSOCARJ));
  EXPECT_TRUE(Checked(d, IDC_ASSOCLZ)) << "default of an unstored association";
  EXPECT_FALSE(Checked(d, IDC_ASSOCJAR)) << ".jar is not the archiver's";
  EXPECT_TRUE(Checked(d, IDC_LINKDESKTOP));
  EXPECT_TRUE(Checked(d, IDC_LINKSTARTMENU));
  EXPECT_TRUE(Checked(d, IDC_LINKPROGRAMS));
  EXPECT_TRUE(Checked(d, IDC_SHELLEXT));
  EXPECT_FALSE(Checked(d, IDC_SHELLCASCADED)) << "old shell default";
  // Nothing is written before OK.
  EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\.vlx", L"Set"));
  EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\Links", L"Desktop"));
}

TEST_F(SetupDialogTest, ExplanationIsBuiltFromTheSixMessages) {
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  wchar_t text[4096] = L"";
  GetDlgItemTextW(d, IDC_SETUPINFOTEXT, text, 4096);
  std::wstring expected = L"    ";
  expected += MessageText(IDS_INSTHELP1);
  expected += L" ";
  expected += MessageText(IDS_INSTHELP2);
  std::wstring got = text;
  EXPECT_EQ(got.substr(0, expected.size()), expected);
  std::wstring last = MessageText(IDS_INSTHELP6);
  ASSERT_GE(got.size(), last.size() + 5);
  EXPECT_EQ(got.substr(got.size() - last.size()), last);
  // The last piece stands on a line of its own, indented by four spaces (the rich-edit
  // control may keep the line break as CR alone).
  std::wstring beforeLast = got.substr(0, got.size() - last.size());
  EXPECT_EQ(beforeLast.substr(beforeLast.size() - 4), L"    ");
  EXPECT_NE(beforeLast.find(L'\r'), std::wstring::npos);
  EXPECT_NE(got.find(MessageText(IDS_INSTHELP5)), std::wstring::npos);
}

TEST_F(SetupDialogTest, ToggleAllChecksWhenAnyIsClearedThenClearsAll) {
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  ShowOptionsInDialog(d, Filled(1));
  CheckDlgButton(d, IDC_ASSOC001, BST_UNCHECKED);
  Click(d, IDC_ASSOCALL);
  for (int id : kAssociationIds)
    EXPECT_TRUE(Checked(d, id)) << id;
  Click(d, IDC_ASSOCALL);
  for (int id : kAssociationIds)
    EXPECT_FALSE(Checked(d, id)) << id;
  EXPECT_TRUE(Checked(d, IDC_SHELLEXT)) << "other boxes are not touched";
  Click(d, IDC_ASSOCALL);
  for (int id : kAssociationIds)
    EXPECT_TRUE(Checked(d, id)) << id;
}

TEST_F(SetupDialogTest, ShellExtensionBoxGovernsDependentBoxesOnTheOldShell) {
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  ShowOptionsInDialog(d, Filled(1));
  EXPECT_TRUE(Enabled(d, IDC_SHELLCASCADED));
  EXPECT_TRUE(Enabled(d, IDC_SHELLICONS));
  EXPECT_FALSE(Enabled(d, IDC_SHELLLEGACYMENU)) << "no legacy menu choice on the old shell";
  Click(d, IDC_SHELLEXT);
  EXPECT_FALSE(Checked(d, IDC_SHELLEXT));
  EXPECT_FALSE(Enabled(d, IDC_SHELLCASCADED));
  EXPECT_FALSE(Enabled(d, IDC_SHELLICONS));
  EXPECT_FALSE(Enabled(d, IDC_SHELLLEGACYMENU));
  EXPECT_TRUE(Checked(d, IDC_SHELLCASCADED)) << "dependent boxes keep their states";
  Click(d, IDC_SHELLEXT);
  EXPECT_TRUE(Enabled(d, IDC_SHELLCASCADED));
  EXPECT_FALSE(Enabled(d, IDC_SHELLLEGACYMENU));
}

TEST_F(SetupDialogTest, ShellExtensionBoxGovernsLegacyMenuOnTheNewShell) {
  dialog_test::UseNewShell(true);
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(Checked(d, IDC_SHELLCASCADED)) << "new shell without the package: cascaded";
  EXPECT_TRUE(Enabled(d, IDC_SHELLLEGACYMENU));
  Click(d, IDC_SHELLEXT);
  EXPECT_FALSE(Enabled(d, IDC_SHELLLEGACYMENU));
  EXPECT_FALSE(Enabled(d, IDC_SHELLCASCADED));
  Click(d, IDC_SHELLEXT);
  EXPECT_TRUE(Enabled(d, IDC_SHELLLEGACYMENU));
}

TEST_F(SetupDialogTest, SingleTopItemNoticeIsShownOncePerProcess) {
  ResetSingleTopItemNoticeForTesting();
  dialog_test::UseNewShell(true);
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(Checked(d, IDC_SHELLCASCADED));
  SetMessageBoxAnswerForTesting(IDOK);
  Click(d, IDC_SHELLCASCADED);  // checked -> unchecked: the notice
  EXPECT_EQ(MessageBoxCountForTesting(), 1);
  EXPECT_STREQ(LastMessageBoxForTesting().Text, MessageText(IDS_SINGLETOPITEM));
  EXPECT_STREQ(LastMessageBoxForTesting().Caption, MessageText(IDS_UNINSTTITLE));
  EXPECT_EQ(LastMessageBoxForTesting().Flags & 0xF0u, static_cast<UINT>(MB_ICONINFORMATION));
  Click(d, IDC_SHELLCASCADED);  // checking it never shows anything
  Click(d, IDC_SHELLCASCADED);  // unchecking again: already shown
  EXPECT_EQ(MessageBoxCountForTesting(), 1);
}

TEST_F(SetupDialogTest, NoSingleTopItemNoticeOnTheOldShell) {
  ResetSingleTopItemNoticeForTesting();
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  CheckDlgButton(d, IDC_SHELLCASCADED, BST_CHECKED);
  SetMessageBoxAnswerForTesting(IDOK);
  Click(d, IDC_SHELLCASCADED);
  EXPECT_EQ(MessageBoxCountForTesting(), 0);
}

TEST_F(SetupDialogTest, HelpKeyAndButtonOpenTheSettingsPage) {
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  SendMessageW(d, WM_COMMAND, IDHELP, 0);
  HELPINFO info = {};
  info.cbSize = sizeof info;
  SendMessageW(d, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  ASSERT_EQ(HelpCalls().size(), 2u);
  for (const auto& call : HelpCalls()) {
    EXPECT_NE(call.File.find(L"vellox.chm::/html/HELPIntegrationSettings.htm"), std::wstring::npos)
        << std::string(call.File.begin(), call.File.end());
  }
}

TEST_F(SetupDialogTest, CancelWritesNothingAndSetsExitCode) {
  std::wstring before = sandbox_.Snapshot();
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  Click(d, IDC_ASSOCALL);
  Click(d, IDC_LINKDESKTOP);
  SendMessageW(d, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(SetupFlags.ExitCode, 1);
  EXPECT_EQ(sandbox_.Snapshot(), before);
}

// Both sample translations name the Cancel button of the settings dialog, and the dialog
// shows their text instead of the template's.
TEST_F(SetupDialogTest, SampleTranslationsReachTheCancelButton) {
  for (const wchar_t* language : {L"German", L"Hebrew"}) {
    const std::wstring file =
        TestProgramFolder() + L"\\languages\\" + language + L"\\uninstall.lng";
    ParseLanguageFile(file.c_str());
    wchar_t translated[256] = L"";
    EXPECT_TRUE(FindTextByKey("$SETUPDLG:IDCANCEL", translated, 256)) << file.c_str();
    HWND d = Create(L"SETUPDLG", SetupDialogProc);
    wchar_t shown[256] = L"";
    GetDlgItemTextW(d, IDCANCEL, shown, 256);
    ClearLanguageFile();
    ASSERT_NE(d, nullptr);
    EXPECT_STRNE(shown, L"Cancel") << language;
    EXPECT_STREQ(shown, translated) << language;
  }
}

// The context-menu items dialog is modal: a timer that fires inside its message loop confirms
// it, as a user pressing OK would.
namespace {
void CALLBACK ConfirmContextItems(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND items = FindWindowW(nullptr, L"Context menu items");
  if (items == nullptr)
    return;
  KillTimer(nullptr, timer);
  CheckDlgButton(items, IDC_CONTEXTNEWZIP, BST_UNCHECKED);
  SendMessageW(items, WM_COMMAND, IDOK, 0);
}
}  // namespace

TEST_F(SetupDialogTest, CancelAfterConfirmedContextItemsKeepsThoseAndExitsWithOne) {
  HWND d = Create(L"SETUPDLG", SetupDialogProc);
  ASSERT_NE(d, nullptr);
  UINT_PTR timer = SetTimer(nullptr, 0, 50, ConfirmContextItems);
  ASSERT_NE(timer, 0u);
  SendMessageW(d, WM_COMMAND, IDC_SETCONTEXTMENU, 0);  // returns when the dialog is closed
  KillTimer(nullptr, timer);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\MenuItems", L"NewZIP"), 0u);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\MenuItems", L"NewVLX"), 1u);
  SendMessageW(d, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(SetupFlags.ExitCode, 1);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\MenuItems", L"NewZIP"), 0u);
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\.vlx"));
}

// Without any dialog template (resources from a module that has none), an interactive run
// applies nothing and ends with exit code 1.
TEST_F(SetupDialogTest, InteractiveRunWithoutAnyDialogAppliesNothing) {
  HMODULE none = GetModuleHandleW(L"kernel32.dll");
  ResourceModule = none;
  OwnInstance = none;
  std::wstring before = sandbox_.Snapshot();
  EXPECT_FALSE(ShowSetupDialog());
  EXPECT_EQ(SetupFlags.ExitCode, 1);
  EXPECT_EQ(sandbox_.Snapshot(), before);
}

namespace {
int g_dialogsMade;
LRESULT CALLBACK CountDialogs(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND &&
      reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->lpszClass == WC_DIALOG) {
    ++g_dialogsMade;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

// Templates with a box for every choice: a silent run confirms its choices without a dialog.
// The templates are read for their boxes; one missing, or one that is no check box, counts.
TEST_F(SetupDialogTest, SilentRunConfirmsWithoutBuildingTheDialog) {
  SetupFlags.Silent = true;
  CopyBounded(SetupFlags.InitText, L"A1D0M0P0S0");
  g_dialogsMade = 0;
  HHOOK hook = SetWindowsHookExW(WH_CBT, CountDialogs, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  EXPECT_TRUE(ShowSetupDialog());
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(g_dialogsMade, 0);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\.vlx", L"Set"), 1u);
  const int boxes[] = {IDC_ASSOCVLX, IDC_LINKDESKTOP, IDC_SHELLLEGACYMENU};
  const int withButton[] = {IDC_ASSOCVLX, IDC_ASSOCALL};
  EXPECT_TRUE(TemplateHasCheckBoxes(OwnInstance, L"SETUPDLG", boxes, 3));
  EXPECT_FALSE(TemplateHasCheckBoxes(OwnInstance, L"SETUPDLG", withButton, 2));
  EXPECT_FALSE(TemplateHasCheckBoxes(OwnInstance, L"DONEDLG", boxes, 3));
}
