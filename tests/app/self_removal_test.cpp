#include "app/self_removal.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/setup_flags.h"
#include "common/test_seams.h"
#include "common/win_handles.h"
#include "support/process_list.h"
#include "support/scoped_environment.h"
#include "support/scratch_folder.h"

namespace {

// The script's bytes as the program would write them; empty when it would write none.
std::string ScriptBytes(const wchar_t* program, const wchar_t* folder, const wchar_t* script,
                        bool silent) {
  std::string bytes;
  if (!ComposeSelfRemovalScript(program, folder, script, silent, bytes))
    return {};
  return bytes;
}

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  if (start != bytes.size())
    lines.push_back("<unterminated>" + bytes.substr(start));
  return lines;
}

// Self-removal as Uninstall mode starts it, with the program path and current directory of
// an installation; restores the current directory and Silent.
bool RunSelfRemoval(const std::wstring& program, const std::wstring& folder, bool silent,
                    std::wstring* currentAfter = nullptr) {
  wchar_t before[2048];
  GetCurrentDirectoryW(2048, before);
  bool wasSilent = SetupFlags.Silent;
  SetupFlags.Silent = silent;
  (void)SetCurrentDirectoryW(folder.c_str());
  const bool started = StartSelfRemoval(program.c_str(), folder.c_str());
  if (currentAfter != nullptr) {
    wchar_t after[2048];
    GetCurrentDirectoryW(2048, after);
    *currentAfter = after;
  }
  SetCurrentDirectoryW(before);
  SetupFlags.Silent = wasSilent;
  return started;
}

// Waits for the interpreters this process started (at most a minute each); false when one
// was still running then.
bool WaitForInterpreters() {
  std::vector<UniqueHandle> interpreters;
  const auto ours = [](const PROCESSENTRY32W& entry) {
    return entry.th32ParentProcessID == GetCurrentProcessId() &&
           _wcsicmp(entry.szExeFile, L"cmd.exe") == 0;
  };
  if (!OpenProcessesWhere(SYNCHRONIZE, ours, interpreters))
    return false;
  bool allEnded = true;
  for (const UniqueHandle& process : interpreters) {
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0)
      allEnded = false;
  }
  return allEnded;
}

}  // namespace

TEST(SelfRemovalScript, HasItsExactLines) {
  std::string bytes = ScriptBytes(L"C:\\Tools\\App\\uninstall.exe", L"C:\\Tools\\App",
                                  L"C:\\Temp\\Uninstall_Vlx.Bat", false);
  const std::vector<std::string> expected = {
      "\"C:\\Tools\\App\\uninstall.exe\" /wait",
      "set vlx_tries=0",
      ":again",
      "del \"C:\\Tools\\App\\uninstall.exe\"",
      "rd \"C:\\Tools\\App\"",
      "if not exist \"C:\\Tools\\App\\uninstall.exe\" goto done",
      "set /a vlx_tries+=1",
      "if %vlx_tries% geq 30 goto done",
      "\"%SystemRoot%\\System32\\ping.exe\" -n 2 127.0.0.1 >nul",
      "goto again",
      ":done",
      "if exist \"C:\\Tools\\App\\uninstall.exe\" \"C:\\Tools\\App\\uninstall.exe\" /warning",
      "del \"C:\\Temp\\Uninstall_Vlx.Bat\""};
  EXPECT_EQ(Lines(bytes), expected);
  // No header and no bare line feeds.
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.front(), '"');
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      EXPECT_EQ(bytes[i - 1], '\r') << "at " << i;
    }
  }

  // Silent: no warning line; a drive root keeps its backslash; every '%' of a path doubled.
  std::vector<std::string> silent =
      Lines(ScriptBytes(L"D:\\uninstall.exe", L"D:\\", L"C:\\T\\Uninstall_Vlx.Bat", true));
  ASSERT_EQ(silent.size(), expected.size() - 1);
  EXPECT_EQ(silent[4], "rd \"D:\\\"");
  EXPECT_EQ(silent[10], ":done");
  EXPECT_EQ(silent[11], "del \"C:\\T\\Uninstall_Vlx.Bat\"");
  std::vector<std::string> percents = Lines(ScriptBytes(
      L"C:\\50%\\%PATH%\\uninstall.exe", L"C:\\50%\\%PATH%", L"C:\\T%\\Uninstall_Vlx.Bat", false));
  ASSERT_EQ(percents.size(), expected.size());
  EXPECT_EQ(percents[0], "\"C:\\50%%\\%%PATH%%\\uninstall.exe\" /wait");
  EXPECT_EQ(percents[4], "rd \"C:\\50%%\\%%PATH%%\"");
  EXPECT_EQ(percents[12], "del \"C:\\T%%\\Uninstall_Vlx.Bat\"");
}

// The interpreter answers del and rd of a path longer than its limit with "File name is too
// long": such a path goes in its short form, and without one the script is not written at all.
TEST(SelfRemovalScript, PathsTooLongForTheInterpreterGoInTheirShortForm) {
  ScratchFolder scratch;
  std::wstring deep = L"Deep";
  while (scratch.Join(deep).size() < 254)
    deep += L"\\A Folder Name Longer Than Eight";
  std::wstring folder = scratch.MakeFolder(deep);
  std::wstring program = scratch.WriteFile(deep + L"\\uninstall.exe", "x");
  ASSERT_GT(program.size(), 260u);
  wchar_t shortFolder[2048];
  ASSERT_GT(GetShortPathNameW(folder.c_str(), shortFolder, 2048), 0u);
  std::vector<std::string> lines =
      Lines(ScriptBytes(program.c_str(), folder.c_str(), L"C:\\T\\Uninstall_Vlx.Bat", true));
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[4], "rd \"" + std::string(shortFolder, shortFolder + wcslen(shortFolder)) + "\"");
  EXPECT_LT(lines[3].size(), 260u) << lines[3];
  // A path with no short form (it does not exist) and too long: no script.
  std::wstring missing = L"C:\\" + std::wstring(300, L'x') + L"\\uninstall.exe";
  EXPECT_EQ(ScriptBytes(missing.c_str(), L"C:\\x", L"C:\\T\\Uninstall_Vlx.Bat", true), "");
}

// The interpreter's code page is the console's. The console a test runner hands over may
// refuse another code page (Wine's console for a program without a terminal does), so the test
// runs itself again as a child that takes a console of its own, sets the US OEM code page and
// writes the script where the parent says. That code page's byte for o with diaeresis (0x94)
// no ANSI code page shares (1252 has 0xF6, UTF-8 C3 B6).
TEST(SelfRemovalScript, WrittenInTheInterpretersCodePage) {
  const wchar_t kChildVariable[] = L"VLX_TEST_CODE_PAGE_SCRIPT";
  wchar_t childScript[2048];
  DWORD length = GetEnvironmentVariableW(kChildVariable, childScript, 2048);
  if (length > 0 && length < 2048) {
    (void)FreeConsole();
    ASSERT_TRUE(AllocConsole()) << GetLastError();
    ASSERT_TRUE(SetConsoleCP(437)) << GetLastError();
    std::string bytes =
        ScriptBytes(L"C:\\Programme\\Vell\u00f6x\\uninstall.exe", L"C:\\Programme\\Vell\u00f6x",
                    L"C:\\T\\Uninstall_Vlx.Bat", false);
    FILE* f = _wfopen(childScript, L"wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return;
  }

  ScratchFolder scratch;
  std::wstring script = scratch.Join(L"script.bat");
  wchar_t self[2048];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, 2048), 0u);
  {
    ScopedEnvironment child(kChildVariable, script.c_str());
    ASSERT_EQ(RunAndWait(L"\"" + std::wstring(self) +
                         L"\" --gtest_filter=SelfRemovalScript.WrittenInTheInterpretersCodePage"),
              0);
  }
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(script, bytes));
  std::vector<std::string> lines = Lines(bytes);
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[4], "rd \"C:\\Programme\\Vell\x94x\"");
}

TEST(SelfRemovalScript, UnrepresentablePathsUseTheirShortForm) {
  ScratchFolder scratch;
  std::wstring folder = scratch.MakeFolder(L"Vell\u00f6x \u4e2d\u6587");
  std::wstring program = scratch.WriteFile(L"Vell\u00f6x \u4e2d\u6587\\uninstall.exe", "x");
  wchar_t shortFolder[2048];
  ASSERT_GT(GetShortPathNameW(folder.c_str(), shortFolder, 2048), 0u);
  std::string expected;
  for (const wchar_t* p = shortFolder; *p != 0; ++p) {
    ASSERT_LT(*p, 128) << "short form is not plain ASCII";
    expected += static_cast<char>(*p);
  }
  std::vector<std::string> lines =
      Lines(ScriptBytes(program.c_str(), folder.c_str(), L"C:\\T\\Uninstall_Vlx.Bat", false));
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[4], "rd \"" + expected + "\"");
  // The program's own name is longer than 8.3, so it is shortened too.
  EXPECT_EQ(lines[3].rfind("del \"" + expected + "\\", 0), 0u) << lines[1];
}

TEST(AppendScriptLine, UnmappableCharactersNeverBecomeWildcards) {
  std::string bytes;
  // No such file exists, so there is no short form to fall back on.
  EXPECT_TRUE(AppendScriptLine(bytes, L"del \"C:\\missing\\\u4e2d.exe\"\r\n"));
  EXPECT_TRUE(AppendScriptLine(bytes, L""));
  EXPECT_EQ(bytes.find('?'), std::string::npos);
  EXPECT_EQ(bytes.find('*'), std::string::npos);
  EXPECT_EQ(bytes.substr(0, 16), "del \"C:\\missing\\");
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

// The real interpreter, started from temporary folders whose names the interpreter would
// otherwise misread on its command line, removes an installation in a folder of the same kind.
TEST(StartSelfRemoval, RunsFromAnyTemporaryFolder) {
  wchar_t interpreter[2048];
  DWORD length = GetEnvironmentVariableW(L"COMSPEC", interpreter, 2048);
  ASSERT_TRUE(length > 0 && length < 2048 && PathExists(interpreter)) << "no command interpreter";
  for (const wchar_t* name : {L"R&D (Work)", L"Max (Work) ^@100%", L"%OS% 50%% x%PATH%"}) {
    SCOPED_TRACE(testing::Message() << name);
    ScratchFolder scratch;
    std::wstring profile = scratch.MakeFolder(name);
    std::wstring temp = scratch.MakeFolder(std::wstring(name) + L"\\Temp");
    std::wstring folder = scratch.MakeFolder(std::wstring(name) + L"\\Vellox");
    std::wstring program = scratch.WriteFile(std::wstring(name) + L"\\Vellox\\uninstall.exe", "x");
    ScopedEnvironment tmp(L"TMP", temp.c_str());
    ScopedEnvironment tempVariable(L"TEMP", temp.c_str());
    // Another run's script, still to run, is never overwritten: this run takes a name of its own.
    std::wstring otherScript =
        scratch.WriteFile(std::wstring(name) + L"\\Temp\\Uninstall_Vlx.Bat", "rem another run\r\n");
    std::wstring current;
    EXPECT_TRUE(RunSelfRemoval(program, folder, true, &current));
    ASSERT_TRUE(WaitForInterpreters());
    std::string otherBytes;
    EXPECT_TRUE(ReadWholeFile(otherScript, otherBytes));
    EXPECT_EQ(otherBytes, "rem another run\r\n");
    (void)DeleteFileW(otherScript.c_str());
    EXPECT_EQ(_wcsicmp(current.c_str(), profile.c_str()), 0) << "the parent becomes current";
    EXPECT_FALSE(PathExists(folder)) << "the installation folder stays";
    EXPECT_FALSE(PathExists(temp + L"\\Uninstall_Vlx_2.Bat")) << "the script stays";
  }
}

// A temporary folder that is the installation folder, lies inside it or names it by its short
// form gets no script: the program stays, and the user is told unless the run is silent. The
// folder of a drive root is never removed, so a temporary folder below a root still serves.
TEST(StartSelfRemoval, NeverWritesTheScriptIntoTheFolderItRemoves) {
  ScratchFolder scratch;
  std::wstring folder = scratch.MakeFolder(L"Vellox Installation");
  std::wstring program = scratch.WriteFile(L"Vellox Installation\\uninstall.exe", "x");
  std::wstring inside = scratch.MakeFolder(L"Vellox Installation\\Temp");
  wchar_t shortFolder[2048];
  ASSERT_GT(GetShortPathNameW(folder.c_str(), shortFolder, 2048), 0u);
  ASSERT_NE(_wcsicmp(shortFolder, folder.c_str()), 0) << "no short form to test";
  // Nothing may run even if a script were written.
  ScopedEnvironment comspec(L"COMSPEC", scratch.Join(L"no-such-cmd.exe").c_str());
  SetProgramPathForTesting(program.c_str());
  for (const std::wstring& temp : {folder, inside, std::wstring(shortFolder) + L"\\Temp"}) {
    SCOPED_TRACE(testing::Message() << temp);
    ScopedEnvironment tmp(L"TMP", temp.c_str());
    ScopedEnvironment tempVariable(L"TEMP", temp.c_str());
    for (bool silent : {false, true}) {
      SetMessageBoxAnswerForTesting(IDOK);
      EXPECT_FALSE(RunSelfRemoval(program, folder, silent));
      EXPECT_FALSE(PathExists(temp + L"\\Uninstall_Vlx.Bat"));
      EXPECT_EQ(MessageBoxCountForTesting(), silent ? 0 : 1);
      if (!silent) {
        EXPECT_NE(std::wstring(LastMessageBoxForTesting().Text).find(program), std::wstring::npos)
            << LastMessageBoxForTesting().Text;
      }
    }
  }
  EXPECT_TRUE(PathExists(program));

  // An installation at the root of the scratch folder's drive.
  std::wstring root = folder.substr(0, 3);
  std::wstring temp = scratch.MakeFolder(L"temp");
  ScopedEnvironment tmp(L"TMP", temp.c_str());
  ScopedEnvironment tempVariable(L"TEMP", temp.c_str());
  SetMessageBoxAnswerForTesting(IDOK);
  // The interpreter is missing: the script is written, cannot start, and is deleted again; the
  // program stays and the user is told, since nothing will ever remove it.
  EXPECT_FALSE(RunSelfRemoval(root + L"no-such-uninstall.exe", root, false));
  EXPECT_FALSE(PathExists(temp + L"\\Uninstall_Vlx.Bat"));
  EXPECT_EQ(MessageBoxCountForTesting(), 1);
  SetMessageBoxAnswerForTesting(0);
  SetProgramPathForTesting(nullptr);
}
