#include "lang/help.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_seams.h"
#include "common/text_encoding.h"
#include "support/scratch_folder.h"

namespace {

struct ViewerCall {
  HWND Owner;
  std::wstring File;
  UINT Command;
  DWORD_PTR Data;
};
std::vector<ViewerCall> g_calls;
HWND g_answer;

HWND WINAPI StandInViewer(HWND owner, const wchar_t* file, UINT command, DWORD_PTR data) {
  g_calls.push_back({owner, file, command, data});
  return g_answer;
}

class HelpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_answer = nullptr;
    SetHelpViewerForTesting(StandInViewer);
    ResetHelpForTesting();
  }
  void TearDown() override {
    SetHelpViewerForTesting(nullptr);
    ResetHelpForTesting();
    SetProgramPathForTesting(nullptr);
  }
};

bool SurvivesAnsi(const std::wstring& text) {
  char ansi[2048];
  wchar_t back[2048];
  WideToAnsi(text.c_str(), ansi, sizeof ansi);
  AnsiToWide(ansi, back, 2048);
  return text == back;
}

}  // namespace

TEST_F(HelpTest, LoadsTheViewerFromTheSystemFolderOnly) {
  SetProgramPathForTesting(L"C:\\Suite\\uninstall.exe");
  g_answer = GetDesktopWindow();
  EXPECT_EQ(ShowHelp(nullptr, nullptr), g_answer);
  HMODULE library = GetModuleHandleW(L"hhctrl.ocx");
  ASSERT_NE(library, nullptr);
  wchar_t loaded[2048];
  wchar_t system[2048];
  GetModuleFileNameW(library, loaded, 2048);
  GetSystemDirectoryW(system, 2048);
  EXPECT_EQ(_wcsicmp(loaded, (std::wstring(system) + L"\\hhctrl.ocx").c_str()), 0);
}

TEST_F(HelpTest, ContentsWithoutATopicAndPageAddressWithOne) {
  SetProgramPathForTesting(L"C:\\Suite\\uninstall.exe");
  g_answer = GetDesktopWindow();
  HWND caller = reinterpret_cast<HWND>(0x1234);  // never used: the desktop owns the viewer
  ShowHelp(caller, nullptr);
  ShowHelp(caller, L"HELPContextItems");
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[0].File, L"C:\\Suite\\vellox.chm");
  EXPECT_EQ(g_calls[0].Command, 1u);
  EXPECT_EQ(g_calls[1].File, L"C:\\Suite\\vellox.chm::/html/HELPContextItems.htm");
  EXPECT_EQ(g_calls[1].Command, 0u);
  for (const ViewerCall& call : g_calls) {
    EXPECT_EQ(call.Owner, GetDesktopWindow());
    EXPECT_EQ(call.Data, 0u);
  }
}

TEST_F(HelpTest, PathIsFixedByTheFirstRequest) {
  SetProgramPathForTesting(L"C:\\First\\uninstall.exe");
  g_answer = GetDesktopWindow();
  ShowHelp(nullptr, nullptr);
  SetProgramPathForTesting(L"C:\\Second\\uninstall.exe");
  ShowHelp(nullptr, nullptr);
  ASSERT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(g_calls[1].File, L"C:\\First\\vellox.chm");
}

TEST_F(HelpTest, FailureOnAnAnsiFolderIsNotRetried) {
  SetProgramPathForTesting(L"C:\\Program Files\\Vellox\\uninstall.exe");
  EXPECT_EQ(ShowHelp(nullptr, L"HELPIntegrationSettings"), nullptr);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].File,
            L"C:\\Program Files\\Vellox\\vellox.chm::/html/HELPIntegrationSettings.htm");
}

TEST_F(HelpTest, FailureOnAFolderOutsideTheAnsiCodePageRetriesOnceWithTheShortFolder) {
  std::wstring name = L"Suite \u4E2D\u6587 \u0915";
  ASSERT_FALSE(SurvivesAnsi(name)) << "the ANSI code page carries the test folder's name";
  ScratchFolder scratch;
  std::wstring program = scratch.WriteFile(name + L"\\uninstall.exe", "MZ");
  wchar_t shortProgram[2048] = L"";
  ASSERT_NE(GetShortPathNameW(program.c_str(), shortProgram, 2048), 0u);
  std::wstring shortFolder(shortProgram);
  shortFolder = shortFolder.substr(0, shortFolder.find_last_of(L'\\') + 1);
  ASSERT_TRUE(SurvivesAnsi(shortFolder)) << std::string(shortFolder.begin(), shortFolder.end());

  SetProgramPathForTesting(program.c_str());
  EXPECT_EQ(ShowHelp(nullptr, L"HELPContextItems"), nullptr);
  ASSERT_EQ(g_calls.size(), 2u);
  std::wstring longFolder = program.substr(0, program.find_last_of(L'\\') + 1);
  EXPECT_EQ(g_calls[0].File, longFolder + L"vellox.chm::/html/HELPContextItems.htm");
  EXPECT_EQ(g_calls[1].File, shortFolder + L"vellox.chm::/html/HELPContextItems.htm");

  // The retry is spent: a later failing request makes one call, with the short path kept.
  ShowHelp(nullptr, nullptr);
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[2].File, shortFolder + L"vellox.chm");
}
