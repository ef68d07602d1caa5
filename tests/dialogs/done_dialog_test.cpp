#include "dialogs/done_dialog.h"

#include <gtest/gtest.h>

#include "dialog_test_util.h"
#include "dialogs/dialog_common.h"
#include "resources/resource.h"

using dialog_test::DialogTest;
using dialog_test::HelpCalls;

namespace {

class DoneDialogTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    font_ = CreateFontW(-12, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, L"MS Shell Dlg");
    SetupFlags.BoldFont = font_;
  }
  void TearDown() override {
    DialogTest::TearDown();
    DeleteObject(font_);
  }
  HFONT font_ = nullptr;
};

}  // namespace

TEST_F(DoneDialogTest, ShowsTheCurrentFolderAndTheBoldThanks) {
  wchar_t cwd[2048];
  GetCurrentDirectoryW(2048, cwd);
  HWND d = Create(L"DONEDLG", DoneDialogProc);
  ASSERT_NE(d, nullptr);
  wchar_t shown[2048] = L"";
  GetDlgItemTextW(d, IDC_INSTFOLDERPATH, shown, 2048);
  EXPECT_STREQ(shown, cwd);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendDlgItemMessageW(d, IDC_THANKS, WM_GETFONT, 0, 0)), font_);
  EXPECT_NE(reinterpret_cast<HFONT>(SendDlgItemMessageW(d, IDC_INSTINFOHELP, WM_GETFONT, 0, 0)),
            font_);
}

TEST_F(DoneDialogTest, FolderLineOfADriveRootKeepsItsBackslash) {
  wchar_t cwd[2048];
  GetCurrentDirectoryW(2048, cwd);
  ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\"));
  HWND d = Create(L"DONEDLG", DoneDialogProc);
  SetCurrentDirectoryW(cwd);
  ASSERT_NE(d, nullptr);
  wchar_t shown[64] = L"";
  GetDlgItemTextW(d, IDC_INSTFOLDERPATH, shown, 64);
  EXPECT_STREQ(shown, L"C:\\");
}

TEST_F(DoneDialogTest, HelpButtonOpensTheContentsAndF1DoesNothing) {
  HWND d = Create(L"DONEDLG", DoneDialogProc);
  ASSERT_NE(d, nullptr);
  HELPINFO info = {};
  info.cbSize = sizeof info;
  SendMessageW(d, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_TRUE(HelpCalls().empty());
  SendMessageW(d, WM_COMMAND, IDC_VIEWHELP, 0);
  ASSERT_EQ(HelpCalls().size(), 1u);
  EXPECT_EQ(HelpCalls()[0].Command, 1u);  // HH_DISPLAY_TOC
  EXPECT_EQ(HelpCalls()[0].File, dialog_test::ProgramFolder() + L"vellox.chm");
}

TEST_F(DoneDialogTest, SilentRunEndsBeforeTheDialogIsShown) {
  SetupFlags.Silent = true;
  EXPECT_EQ(RunModalDialog(L"DONEDLG", nullptr, DoneDialogProc, 0), 1);
}

// Esc and the close button end the dialog as OK does: a timer inside the modal loop presses
// them.
namespace {
UINT g_closeCommand;
void CALLBACK PressClose(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND d = FindWindowW(nullptr, L"Vellox setup");
  if (d == nullptr || !IsWindowVisible(d))
    return;
  KillTimer(nullptr, timer);
  if (g_closeCommand == WM_CLOSE) {
    PostMessageW(d, WM_CLOSE, 0, 0);
  } else {
    PostMessageW(d, WM_COMMAND, g_closeCommand, 0);
  }
}
}  // namespace

TEST_F(DoneDialogTest, EscapeAndCloseEndWithOne) {
  for (UINT command :
       {static_cast<UINT>(IDCANCEL), static_cast<UINT>(WM_CLOSE), static_cast<UINT>(IDOK)}) {
    g_closeCommand = command;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, PressClose);
    ASSERT_NE(timer, 0u);
    EXPECT_EQ(RunModalDialog(L"DONEDLG", nullptr, DoneDialogProc, 0), 1) << command;
    KillTimer(nullptr, timer);
  }
}
