#include "app/self_removal.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/setup_flags.h"
#include "support/scratch_folder.h"

namespace {

// Writes the script into a scratch file and returns its bytes.
std::string ScriptBytes(const ScratchFolder& scratch, const wchar_t* program, const wchar_t* folder,
                        const wchar_t* script, bool silent) {
  std::wstring path = scratch.Join(L"script.bat");
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (f == nullptr)
    return {};
  WriteSelfRemovalScript(f, program, folder, script, silent);
  fclose(f);
  std::string bytes;
  ReadWholeFile(path, bytes);
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

// Sets an environment variable for the lifetime of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old[2048];
    DWORD n = GetEnvironmentVariableW(name, old, 2048);
    had_ = n > 0 && n < 2048;
    if (had_)
      old_ = old;
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedEnvironment() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

 private:
  std::wstring name_, old_;
  bool had_ = false;
};

}  // namespace

TEST(SelfRemovalScript, HasNineteenExactLines) {
  ScratchFolder scratch;
  std::string bytes = ScriptBytes(scratch, L"C:\\Tools\\App\\uninstall.exe", L"C:\\Tools\\App",
                                  L"C:\\Temp\\Uninstall_Vlx.Bat", false);
  std::vector<std::string> lines = Lines(bytes);
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[0], "\"C:\\Tools\\App\\uninstall.exe\" /wait");
  for (int block = 0; block < 5; ++block) {
    EXPECT_EQ(lines[1 + 3 * block], "del \"C:\\Tools\\App\\uninstall.exe\"");
    EXPECT_EQ(lines[2 + 3 * block], "rd \"C:\\Tools\\App\"");
    EXPECT_EQ(lines[3 + 3 * block], "if not exist \"C:\\Tools\\App\\uninstall.exe\" goto done");
  }
  EXPECT_EQ(lines[16], ":done");
  EXPECT_EQ(
      lines[17],
      "if exist \"C:\\Tools\\App\\uninstall.exe\" \"C:\\Tools\\App\\uninstall.exe\" /warning");
  EXPECT_EQ(lines[18], "del \"C:\\Temp\\Uninstall_Vlx.Bat\"");
  // No header and no bare line feeds.
  EXPECT_EQ(bytes.front(), '"');
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      EXPECT_EQ(bytes[i - 1], '\r') << "at " << i;
    }
  }
}

TEST(SelfRemovalScript, SilentRunHasNoWarningLine) {
  ScratchFolder scratch;
  std::vector<std::string> lines =
      Lines(ScriptBytes(scratch, L"D:\\uninstall.exe", L"D:\\", L"C:\\T\\Uninstall_Vlx.Bat", true));
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines[2], "rd \"D:\\\"");
  EXPECT_EQ(lines[16], ":done");
  EXPECT_EQ(lines[17], "del \"C:\\T\\Uninstall_Vlx.Bat\"");
}

TEST(SelfRemovalScript, PercentSignsAreDoubled) {
  ScratchFolder scratch;
  std::vector<std::string> lines =
      Lines(ScriptBytes(scratch, L"C:\\50%\\%PATH%\\uninstall.exe", L"C:\\50%\\%PATH%",
                        L"C:\\T%\\Uninstall_Vlx.Bat", false));
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[0], "\"C:\\50%%\\%%PATH%%\\uninstall.exe\" /wait");
  EXPECT_EQ(lines[2], "rd \"C:\\50%%\\%%PATH%%\"");
  EXPECT_EQ(lines[18], "del \"C:\\T%%\\Uninstall_Vlx.Bat\"");
}

TEST(SelfRemovalScript, WrittenInTheInterpretersCodePage) {
  if (ScriptCodePage() != 437)
    GTEST_SKIP() << "expects the US OEM code page";
  ScratchFolder scratch;
  std::vector<std::string> lines =
      Lines(ScriptBytes(scratch, L"C:\\Programme\\Vell\u00f6x\\uninstall.exe",
                        L"C:\\Programme\\Vell\u00f6x", L"C:\\T\\Uninstall_Vlx.Bat", false));
  ASSERT_EQ(lines.size(), 19u);
  // o with diaeresis is 0x94 in the OEM code page (0xF6 would be the ANSI code page).
  EXPECT_EQ(lines[2], "rd \"C:\\Programme\\Vell\x94x\"");
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
  std::vector<std::string> lines = Lines(
      ScriptBytes(scratch, program.c_str(), folder.c_str(), L"C:\\T\\Uninstall_Vlx.Bat", false));
  ASSERT_EQ(lines.size(), 19u);
  EXPECT_EQ(lines[2], "rd \"" + expected + "\"");
  // The program's own name is longer than 8.3, so it is shortened too.
  EXPECT_EQ(lines[1].rfind("del \"" + expected + "\\", 0), 0u) << lines[1];
}

TEST(WriteScriptLine, UnmappableCharactersNeverBecomeWildcards) {
  ScratchFolder scratch;
  std::wstring path = scratch.Join(L"line.bin");
  FILE* f = _wfopen(path.c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  // No such file exists, so there is no short form to fall back on.
  EXPECT_TRUE(WriteScriptLine(f, L"del \"C:\\missing\\\u4e2d.exe\"\r\n"));
  EXPECT_TRUE(WriteScriptLine(f, L""));
  fclose(f);
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(path, bytes));
  EXPECT_EQ(bytes.find('?'), std::string::npos);
  EXPECT_EQ(bytes.find('*'), std::string::npos);
  EXPECT_EQ(bytes.substr(0, 16), "del \"C:\\missing\\");
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

TEST(StartSelfRemoval, WritesTheScriptToTheTemporaryFolderAndLeavesTheFolder) {
  ScratchFolder scratch;
  std::wstring temp = scratch.MakeFolder(L"temp");
  std::wstring install = scratch.MakeFolder(L"inst");
  ScopedEnvironment tmp(L"TMP", temp.c_str());
  ScopedEnvironment tempVariable(L"TEMP", temp.c_str());
  // No interpreter: the script is written but nothing is started.
  ScopedEnvironment comspec(L"COMSPEC", scratch.Join(L"no-such-cmd.exe").c_str());
  wchar_t before[2048];
  GetCurrentDirectoryW(2048, before);
  ASSERT_TRUE(SetCurrentDirectoryW(install.c_str()));
  bool silent = SetupFlags.Silent;
  SetupFlags.Silent = true;

  std::wstring program = install + L"\\uninstall.exe";
  StartSelfRemoval(program.c_str(), install.c_str());

  wchar_t after[2048];
  GetCurrentDirectoryW(2048, after);
  SetCurrentDirectoryW(before);
  SetupFlags.Silent = silent;
  EXPECT_EQ(_wcsicmp(after, scratch.Path().c_str()), 0) << "the parent becomes current";
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(temp + L"\\Uninstall_Vlx.Bat", bytes));
  std::vector<std::string> lines = Lines(bytes);
  EXPECT_EQ(lines.size(), 18u);
}
