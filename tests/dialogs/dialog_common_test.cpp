#include "dialogs/dialog_common.h"

#include <gtest/gtest.h>

#include "dialog_test_util.h"
#include "resources/resource.h"
#include "support/scratch_folder.h"

using dialog_test::DialogTest;
using dialog_test::HelpCalls;

namespace {

// A procedure that only counts what reaches it past the pre-handler.
int g_seenHelp;
int g_seenCommands;
INT_PTR CALLBACK CountingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (HandleCommonDialogMessage(dialog, message, wParam, lParam, L"DONEDLG", nullptr)) {
    return TRUE;
  }
  if (message == WM_HELP)
    ++g_seenHelp;
  if (message == WM_COMMAND)
    ++g_seenCommands;
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

INT_PTR CALLBACK CloseAtOnceProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG)
    return FALSE;
  EndDialog(dialog, 7);
  return TRUE;
}

class DialogCommonTest : public DialogTest {};

}  // namespace

TEST_F(DialogCommonTest, HelpKeyIsAlwaysSwallowedAndShowsTheTopicWhenThereIsOne) {
  HWND d = Create(L"DONEDLG", CountingProc);
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(HandleCommonDialogMessage(d, WM_HELP, 0, 0, L"DONEDLG", nullptr));
  EXPECT_TRUE(HelpCalls().empty());
  EXPECT_TRUE(HandleCommonDialogMessage(d, WM_HELP, 0, 0, L"DONEDLG", L"HELPContextItems"));
  ASSERT_EQ(HelpCalls().size(), 1u);
  EXPECT_EQ(HelpCalls()[0].Command, 0u);  // HH_DISPLAY_TOPIC
  EXPECT_EQ(HelpCalls()[0].File, TestProgramFolder() + L"\\vellox.chm::/html/HELPContextItems.htm");

  // Through a real procedure: F1 never reaches it.
  g_seenHelp = 0;
  HELPINFO info = {};
  info.cbSize = sizeof info;
  SendMessageW(d, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(g_seenHelp, 0);
}

TEST_F(DialogCommonTest, HelpButtonShowsTheTopicAndStillReachesTheProcedure) {
  HWND d = Create(L"DONEDLG", CountingProc);
  ASSERT_NE(d, nullptr);
  EXPECT_FALSE(
      HandleCommonDialogMessage(d, WM_COMMAND, IDHELP, 0, L"X", L"HELPIntegrationSettings"));
  ASSERT_EQ(HelpCalls().size(), 1u);
  EXPECT_NE(HelpCalls()[0].File.find(L"::/html/HELPIntegrationSettings.htm"), std::wstring::npos);
  EXPECT_FALSE(HandleCommonDialogMessage(d, WM_COMMAND, IDHELP, 0, L"X", nullptr));
  EXPECT_FALSE(HandleCommonDialogMessage(d, WM_COMMAND, IDOK, 0, L"X", L"HELPContextItems"));
  EXPECT_EQ(HelpCalls().size(), 1u) << "other commands and no topic show nothing";

  g_seenCommands = 0;
  SendMessageW(d, WM_COMMAND, IDHELP, 0);
  EXPECT_EQ(g_seenCommands, 1);
}

TEST_F(DialogCommonTest, CreationMessagesAreLeftToTheProcedure) {
  HWND d = Create(L"DONEDLG", CountingProc);
  ASSERT_NE(d, nullptr);
  EXPECT_FALSE(HandleCommonDialogMessage(d, WM_SETFONT, 0, 0, L"DONEDLG", nullptr));
  EXPECT_FALSE(HandleCommonDialogMessage(d, WM_INITDIALOG, 0, 0, L"DONEDLG", nullptr));
  EXPECT_FALSE(HandleCommonDialogMessage(d, WM_CLOSE, 0, 0, L"DONEDLG", L"HELPContextItems"));
  EXPECT_TRUE(HelpCalls().empty());
}

TEST_F(DialogCommonTest, RightToLeftLanguageMirrorsTheDialogFromItsCreation) {
  RightToLeft = true;
  HWND mirrored = Create(L"DONEDLG", CountingProc);
  ASSERT_NE(mirrored, nullptr);
  EXPECT_NE(GetWindowLongW(mirrored, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, 0);
  RightToLeft = false;
  HWND plain = Create(L"DONEDLG", CountingProc);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(GetWindowLongW(plain, GWL_EXSTYLE) & WS_EX_LAYOUTRTL, 0);
}

TEST_F(DialogCommonTest, EnableAndShowControl) {
  HWND d = Create(L"DONEDLG", CountingProc);
  ASSERT_NE(d, nullptr);
  HWND button = GetDlgItem(d, IDC_VIEWHELP);
  EnableControl(d, IDC_VIEWHELP, false);
  EXPECT_FALSE(IsWindowEnabled(button));
  EnableControl(d, IDC_VIEWHELP, true);
  EXPECT_TRUE(IsWindowEnabled(button));
  ShowControl(d, IDC_VIEWHELP, false);
  EXPECT_FALSE(Visible(d, IDC_VIEWHELP));
  ShowControl(d, IDC_VIEWHELP, true);
  EXPECT_TRUE(Visible(d, IDC_VIEWHELP));
}

TEST_F(DialogCommonTest, ClearRtlReadingOnlyUnderRightToLeftLanguage) {
  HWND d = Create(L"DONEDLG", CountingProc);
  ASSERT_NE(d, nullptr);
  HWND text = GetDlgItem(d, IDC_INSTFOLDERPATH);
  LONG style = GetWindowLongW(text, GWL_EXSTYLE) | WS_EX_RTLREADING | WS_EX_NOPARENTNOTIFY;
  SetWindowLongW(text, GWL_EXSTYLE, style);
  ClearRtlReading(text);
  EXPECT_EQ(GetWindowLongW(text, GWL_EXSTYLE), style);
  RightToLeft = true;
  ClearRtlReading(text);
  EXPECT_EQ(GetWindowLongW(text, GWL_EXSTYLE), style & ~WS_EX_RTLREADING);
}

TEST_F(DialogCommonTest, TemplateMissingFromTheLanguageLibraryComesFromTheProgram) {
  ResourceModule = GetModuleHandleW(L"kernel32.dll");  // holds none of our templates
  EXPECT_EQ(RunModalDialog(L"DONEDLG", nullptr, CloseAtOnceProc, 0), 7);
  OwnInstance = ResourceModule;
  EXPECT_EQ(RunModalDialog(L"DONEDLG", nullptr, CloseAtOnceProc, 0), -1);
  OwnInstance = GetModuleHandleW(nullptr);
  ResourceModule = OwnInstance;
  EXPECT_EQ(RunModalDialog(L"NOSUCHDLG", nullptr, CloseAtOnceProc, 0), -1);
}
