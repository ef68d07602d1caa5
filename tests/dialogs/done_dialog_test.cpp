#include "dialogs/done_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "dialog_test_util.h"
#include "dialogs/dialog_common.h"
#include "dialogs/dialog_resources.h"
#include "resources/resource.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"

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
  EXPECT_EQ(HelpCalls()[0].File, TestProgramFolder() + L"\\vellox.chm");
}

TEST_F(DoneDialogTest, SilentRunEndsBeforeTheDialogIsShown) {
  SetupFlags.Silent = true;
  EXPECT_EQ(RunModalDialog(L"DONEDLG", nullptr, DoneDialogProc, 0), 1);
}

// What only dialogs need is prepared by the first one, and released at the end of the run.
TEST_F(DoneDialogTest, TheFirstDialogPreparesTheIconAndTheBoldFont) {
  SetupFlags.BoldFont = nullptr;
  SetupFlags.Silent = true;
  EXPECT_EQ(RunModalDialog(L"DONEDLG", nullptr, DoneDialogProc, 0), 1);
  EXPECT_NE(SetupFlags.AppIcon, nullptr);
  EXPECT_NE(SetupFlags.BoldFont, nullptr);
  ReleaseDialogResources();
  EXPECT_EQ(SetupFlags.BoldFont, nullptr);
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

// The licence and home-page buttons hand their targets to the shell. The sandbox's classes
// send text files and https addresses to the archiver stand-in, which logs what it was given;
// the address comes from a translation, so it must be the localised message's text.
namespace {

class DoneDialogShellTest : public DoneDialogTest {
 protected:
  void SetUp() override {
    DoneDialogTest::SetUp();
    const std::wstring open = L"\"" + TestProgramFolder() + L"\\Vellox.exe\" \"%1\"";
    RegWriteString(HKEY_CLASSES_ROOT, L".txt", L"", L"VelloxTest.Text");
    RegWriteString(HKEY_CLASSES_ROOT, L"VelloxTest.Text\\shell\\open\\command", L"", open.c_str());
    RegWriteString(HKEY_CLASSES_ROOT, L"https", L"URL Protocol", L"");
    RegWriteString(HKEY_CLASSES_ROOT, L"https\\shell\\open\\command", L"", open.c_str());
    SetEnvironmentVariableW(L"VELLOX_STANDIN_LOG", log_.c_str());
    const std::wstring lng =
        L"***messages***\r\n:STRINGS\r\nIDS_HOMEURL \"https://vellox.example/de/\"\r\n";
    ParseLanguageFileText(lng.c_str(), lng.size());
  }
  void TearDown() override {
    ClearLanguageFile();
    SetEnvironmentVariableW(L"VELLOX_STANDIN_LOG", nullptr);
    DoneDialogTest::TearDown();
  }
  // The arguments of the stand-in's next start (it is not waited for by the shell): the text
  // after its own path, once its line is complete; empty when it never started.
  std::string NextStart() {
    std::string bytes;
    for (int i = 0; i < 400; ++i) {
      if (ReadWholeFile(log_, bytes) && !bytes.empty() && bytes.back() == '\n')
        break;
      bytes.clear();
      Sleep(25);
    }
    DeleteFileW(log_.c_str());
    const size_t tab = bytes.find('\t');
    return tab == std::string::npos ? std::string() : bytes.substr(tab + 1);
  }
  static std::string Utf8(const std::wstring& text) {
    char bytes[2048];
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes, 2048, nullptr, nullptr);
    return n > 0 ? std::string(bytes, n - 1) : std::string();
  }

  RegistrySandbox sandbox_;
  ScratchFolder scratch_;
  std::wstring log_ = scratch_.Join(L"opened.log");
};

}  // namespace

TEST_F(DoneDialogShellTest, LicenceOpensTheCurrentFoldersFileAndHomePageTheLocalisedAddress) {
  const std::wstring folder = scratch_.MakeFolder(L"Vellox Suite");
  scratch_.WriteFile(L"Vellox Suite\\license.txt", "licence");
  wchar_t saved[2048];
  GetCurrentDirectoryW(2048, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
  HWND d = Create(L"DONEDLG", DoneDialogProc);
  ASSERT_NE(d, nullptr);
  SendMessageW(d, WM_COMMAND, IDC_VIEWLICENSE, 0);
  SetCurrentDirectoryW(saved);
  EXPECT_EQ(NextStart(), "1\t" + Utf8(folder) + "\\license.txt\n");

  SendMessageW(d, WM_COMMAND, IDC_HOMEPAGE, 0);
  EXPECT_EQ(NextStart(), "1\thttps://vellox.example/de/\n");
  EXPECT_TRUE(IsWindow(d)) << "the dialog stays open";
}
