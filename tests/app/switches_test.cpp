#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/switches.h"
#include "common/setup_flags.h"
#include "common/test_seams.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "support/scratch_folder.h"

namespace {

struct Requests {
  bool Setup = false;
  bool Uninstall = false;
};

class SwitchesTest : public testing::Test {
 protected:
  void SetUp() override {
    SetupFlags = SetupFlagsRecord{};
    OwnInstance = GetModuleHandleW(nullptr);
    ResourceModule = OwnInstance;
    SetMessageBoxAnswerForTesting(IDOK);
  }
  void TearDown() override {
    SetupFlags = SetupFlagsRecord{};
    SetMessageBoxAnswerForTesting(0);
    SetProgramPathForTesting(nullptr);
  }
  // Both passes, as the entry routine runs them, on a fresh SetupFlags.
  static Requests Parse(const wchar_t* sfxcmd, const wchar_t* commandLine) {
    SetupFlags = SetupFlagsRecord{};
    Requests r;
    ParseSwitches(SwitchPass::Environment, sfxcmd, r.Setup, r.Uninstall);
    ParseSwitches(SwitchPass::CommandLine, commandLine, r.Setup, r.Uninstall);
    return r;
  }
  static Requests Parse(const std::wstring& commandLine) { return Parse(L"", commandLine.c_str()); }
};

const std::wstring kProgram = L"\"C:\\Program Files\\Vellox\\uninstall.exe\"";

TEST_F(SwitchesTest, NoSwitchMeansUninstall) {
  Requests r = Parse(kProgram);
  EXPECT_TRUE(r.Uninstall);
  EXPECT_FALSE(r.Setup);
  EXPECT_FALSE(SetupFlags.Silent);
  // Plain words are no switches.
  r = Parse(kProgram + L" setup msi wait");
  EXPECT_TRUE(r.Uninstall);
  EXPECT_FALSE(r.Setup);
  EXPECT_FALSE(SetupFlags.Msi);
}

// Windows hands over the command line as it was written: an entry of an earlier version holds
// the program's path unquoted, and its folder may hold " -" or " -s1 ".
TEST_F(SwitchesTest, TheProgramsOwnPathIsNeverReadAsSwitches) {
  struct Case {
    const wchar_t* Module;
    const wchar_t* CommandLine;
    bool Silent;
    bool Uninstall;
  };
  const Case cases[] = {
      {L"D:\\Apps - Portable\\Vellox\\uninstall.exe", L"D:\\Apps - Portable\\Vellox\\uninstall.exe",
       false, true},
      {L"D:\\Apps - Portable\\Vellox\\uninstall.exe",
       L"D:\\Apps - Portable\\Vellox\\uninstall.exe /s", true, true},
      {L"C:\\x -s1 y\\uninstall.exe", L"C:\\x -s1 y\\uninstall.exe", false, true},
      {L"C:\\x -s1 y\\uninstall.exe", L"\"C:\\x -s1 y\\uninstall.exe\" /foo", false, false},
      {L"C:\\x -s1 y\\uninstall.exe", L"  c:\\X -S1 Y\\UNINSTALL.EXE\t", false, true},
      // Spelt otherwise (short names): the first argument is the program.
      {L"C:\\x -s1 y\\uninstall.exe", L"C:\\X-S1Y~1\\uninstall.exe /s", true, true},
      // The path must end where the module's path ends.
      {L"C:\\x -s1 y\\u", L"C:\\x -s1 y\\uninstall.exe", true, true},
      // Spelt with forward slashes, or a module path in its "\\?\" form: the same program.
      {L"C:\\Tools -s\\uninstall.exe", L"C:/Tools -s/uninstall.exe", false, true},
      {L"\\\\?\\C:\\Tools -s\\uninstall.exe", L"C:\\Tools -s\\uninstall.exe", false, true},
      {L"\\\\?\\UNC\\srv\\share\\Tools -s\\uninstall.exe",
       L"\"\\\\srv\\share\\Tools -s\\uninstall.exe\" /s", true, true},
      {L"\\\\?\\UNC\\srv\\share\\Tools -s\\uninstall.exe",
       L"\\\\srv\\share\\Tools -s\\uninstall.exe", false, true},
  };
  for (const Case& c : cases) {
    SetProgramPathForTesting(c.Module);
    Requests r = Parse(L"", c.CommandLine);
    EXPECT_EQ(c.Silent, SetupFlags.Silent) << c.CommandLine;
    EXPECT_EQ(c.Uninstall, r.Uninstall) << c.CommandLine;
    EXPECT_FALSE(r.Setup) << c.CommandLine;
  }

  // A module path in its short form names the same file as the long one on the command line.
  ScratchFolder scratch;
  std::wstring program = scratch.WriteFile(L"Tools -s\\uninstall.exe", "x");
  wchar_t shortProgram[2048];
  ASSERT_GT(GetShortPathNameW(program.c_str(), shortProgram, 2048), 0u);
  ASSERT_NE(program, shortProgram) << "no short form to test";
  SetProgramPathForTesting(shortProgram);
  Requests r = Parse(L"", program.c_str());
  EXPECT_FALSE(SetupFlags.Silent) << program;
  EXPECT_TRUE(r.Uninstall);
}

TEST_F(SwitchesTest, SilentSwitchesAreNotCounted) {
  for (const wchar_t* s : {L" /s", L" -S", L" /s1", L" /s-", L" /S\u00e9", L" /s /s"}) {
    Requests r = Parse(kProgram + s);
    EXPECT_TRUE(SetupFlags.Silent) << s;
    EXPECT_TRUE(r.Uninstall) << s;  // a silent uninstall
    EXPECT_FALSE(r.Setup) << s;
  }
}

TEST_F(SwitchesTest, SwitchesThatOnlyBeginWithSAreNotSilent) {
  for (const wchar_t* s : {L" /silent", L" /setup", L" /sa", L" /Sz"}) {
    Requests r = Parse(kProgram + s);
    EXPECT_FALSE(SetupFlags.Silent) << s;
    EXPECT_FALSE(r.Uninstall) << s;
  }
}

TEST_F(SwitchesTest, SetupMatchesByCaseInsensitivePrefix) {
  for (const wchar_t* s : {L" /setup", L" /SETUPX", L" -Setup", L" \"/setup\"", L" /setup=yes"}) {
    Requests r = Parse(kProgram + s);
    EXPECT_TRUE(r.Setup) << s;
    EXPECT_FALSE(r.Uninstall) << s;
  }
  for (const wchar_t* s : {L" /setu", L" /set", L" //setup", L" setup"}) {
    Requests r = Parse(kProgram + s);
    EXPECT_FALSE(r.Setup) << s;
  }
}

TEST_F(SwitchesTest, UnknownSwitchesCountButDoNothing) {
  for (const wchar_t* s : {L" /foo", L" /", L" -", L" /silent", L" /noe", L" /ms"}) {
    Requests r = Parse(kProgram + s);
    EXPECT_FALSE(r.Uninstall) << s;
    EXPECT_FALSE(r.Setup) << s;
    EXPECT_FALSE(SetupFlags.NoExplorer) << s;
    EXPECT_FALSE(SetupFlags.Msi) << s;
    EXPECT_FALSE(SetupFlags.Silent) << s;
    EXPECT_EQ(MessageBoxCountForTesting(), 0) << s;
  }
}

TEST_F(SwitchesTest, NoExplorerNeedsItsFirstFourLetters) {
  Parse(kProgram + L" /noex");
  EXPECT_TRUE(SetupFlags.NoExplorer);
  Parse(kProgram + L" -NOEXPLORER");
  EXPECT_TRUE(SetupFlags.NoExplorer);
  Parse(kProgram + L" /noe");
  EXPECT_FALSE(SetupFlags.NoExplorer);
}

TEST_F(SwitchesTest, MsiAndSetupTogether) {
  Requests r = Parse(kProgram + L" /setup /msi /s");
  EXPECT_TRUE(r.Setup);
  EXPECT_TRUE(SetupFlags.Msi);
  EXPECT_TRUE(SetupFlags.Silent);
  EXPECT_FALSE(r.Uninstall);
}

TEST_F(SwitchesTest, InitTakesTheRestOfTheArgument) {
  Parse(kProgram + L" /initA1010D1");
  EXPECT_STREQ(SetupFlags.InitText, L"A1010D1");
  Parse(kProgram + L" -INIT");
  EXPECT_STREQ(SetupFlags.InitText, L"");
  // Cut to 39 characters.
  std::wstring text(60, L'1');
  Parse(kProgram + L" /init" + text);
  EXPECT_EQ(std::wstring(SetupFlags.InitText), text.substr(0, 39));
  // Quoted text keeps its spaces; the quotes go.
  Parse(kProgram + L" \"/init A 1\"");
  EXPECT_STREQ(SetupFlags.InitText, L" A 1");
}

TEST_F(SwitchesTest, LogTakesAPathEitherWayAndKeepsTheUninstallRequest) {
  struct Case {
    std::wstring Arguments;
    const wchar_t* LogPath;
    bool Uninstall;
  } cases[] = {
      {L" /log=C:\\logs\\v.log", L"C:\\logs\\v.log", true},
      {L" -LOG \"C:\\My Logs\\v.log\" /s", L"C:\\My Logs\\v.log", true},
      {L" \"/log=C:\\My Logs\\v.log\"", L"C:\\My Logs\\v.log", true},
      {L" /log=\"C:\\My Logs\\v.log\" /setup", L"C:\\My Logs\\v.log", false},
      {L" /log", L"", true},          // no path: no log, still a known switch
      {L" /log=", L"", true},         // the same
      {L" /logs=x.log", L"", false},  // another word: unknown, so no uninstall
      {L" /log /s", L"", true},       // a word beginning with '/' is a switch, not a path
      {L" /log /setup", L"", false},
  };
  for (const Case& c : cases) {
    Requests r = Parse(kProgram + c.Arguments);
    EXPECT_STREQ(SetupFlags.LogPath, c.LogPath) << c.Arguments;
    EXPECT_EQ(r.Uninstall, c.Uninstall) << c.Arguments;
  }
  Parse(kProgram + L" /log /s");
  EXPECT_TRUE(SetupFlags.Silent);
  // A path that would have to be cut names no log at all.
  Parse(kProgram + L" /log=C:\\" + std::wstring(kPathBufferCapacity, L'x'));
  EXPECT_STREQ(SetupFlags.LogPath, L"");
  // The installer archive's variable cannot ask for a log.
  Parse(L"/log=C:\\sfx.log", kProgram.c_str());
  EXPECT_STREQ(SetupFlags.LogPath, L"");
}

TEST_F(SwitchesTest, EnvironmentPassOnlyHonoursSilent) {
  // "sfxcmd" holding /s makes the setup silent; holding /setup has no effect.
  // Nothing of "sfxcmd" is skipped as a program path: a leading /s still counts.
  Requests r = Parse(L"/s", (kProgram + L" /setup").c_str());
  EXPECT_TRUE(r.Setup);
  EXPECT_TRUE(SetupFlags.Silent);

  r = Parse(L"/setup /msi /noexplorer /initX /warning", kProgram.c_str());
  EXPECT_FALSE(r.Setup);
  EXPECT_FALSE(SetupFlags.Msi);
  EXPECT_FALSE(SetupFlags.NoExplorer);
  EXPECT_STREQ(SetupFlags.InitText, L"");
  EXPECT_EQ(MessageBoxCountForTesting(), 0);
  EXPECT_TRUE(r.Uninstall);  // only the command line's switches decide
}

TEST_F(SwitchesTest, EnvironmentPassClearsTheUninstallRequest) {
  bool setup = false;
  bool uninstall = true;
  ParseSwitches(SwitchPass::Environment, L"", setup, uninstall);
  EXPECT_FALSE(uninstall);
  EXPECT_FALSE(setup);
}

TEST_F(SwitchesTest, SetupRequestIsNeverCleared) {
  bool setup = true;
  bool uninstall = false;
  ParseSwitches(SwitchPass::CommandLine, L"x.exe", setup, uninstall);
  EXPECT_TRUE(setup);
  EXPECT_TRUE(uninstall);
  ParseSwitches(SwitchPass::Environment, L"/foo", setup, uninstall);
  EXPECT_TRUE(setup);
}

TEST_F(SwitchesTest, WarningShowsTheRemovalMessage) {
  const wchar_t* path = L"C:\\Program Files\\Vellox\\uninstall.exe";
  SetProgramPathForTesting(path);
  Requests r = Parse(kProgram + L" /s /warning");
  EXPECT_FALSE(r.Uninstall);
  ASSERT_EQ(MessageBoxCountForTesting(), 1);  // shown also in a silent run
  const MessageBoxRecord& box = LastMessageBoxForTesting();
  EXPECT_EQ(box.Flags, static_cast<UINT>(MB_ICONINFORMATION | MB_SETFOREGROUND));
  EXPECT_STREQ(box.Caption, MessageText(IDS_UNINSTALLVLX));
  std::wstring text = box.Text;
  std::wstring first = MessageText(IDS_UNINSTALLCOMPLETED);
  EXPECT_EQ(text.substr(0, first.size() + 1), first + L"\n");
  EXPECT_NE(text.find(path), std::wstring::npos);
  EXPECT_EQ(text.find(L"%s"), std::wstring::npos);
}

TEST_F(SwitchesTest, WarningTextIsCutToItsBuffer) {
  std::wstring path = L"C:\\" + std::wstring(1500, L'd') + L"\\uninstall.exe";
  SetProgramPathForTesting(path.c_str());
  Parse(kProgram + L" /warning");
  ASSERT_EQ(MessageBoxCountForTesting(), 1);
  std::wstring text = LastMessageBoxForTesting().Text;
  EXPECT_EQ(text.size(), 511u);
  EXPECT_NE(text.find(L"ddddd"), std::wstring::npos);
}

TEST_F(SwitchesTest, WaitCountsAsASwitch) {
  // It pauses and goes on scanning; the pause itself is the system's Sleep, not timed here.
  Requests r = Parse(kProgram + L" /wait /noex");
  EXPECT_FALSE(r.Uninstall);
  EXPECT_FALSE(r.Setup);
  EXPECT_TRUE(SetupFlags.NoExplorer);
}

// --- Hostile command lines ---

TEST_F(SwitchesTest, UnterminatedQuotesAndOddCharacters) {
  Requests r = Parse(L"\"C:\\Vellox\\uninstall.exe /setup");  // one argument, never closed
  EXPECT_FALSE(r.Setup);
  EXPECT_TRUE(r.Uninstall);
  r = Parse(kProgram + L" \"/setup");  // the quote toggles and is not copied
  EXPECT_TRUE(r.Setup);
  r = Parse(kProgram + L" \"\" \"\"\"\" \t\t /\u00df\u4e2d\u6587 \U0001F600 -\xD800");
  EXPECT_FALSE(r.Uninstall);
  EXPECT_FALSE(SetupFlags.Silent);
  r = Parse(L"", L"");
  EXPECT_TRUE(r.Uninstall);
  bool setup = false;
  bool uninstall = false;
  ParseSwitches(SwitchPass::CommandLine, nullptr, setup, uninstall);
  EXPECT_TRUE(uninstall);
}

TEST_F(SwitchesTest, VeryLongArgumentsAreCut) {
  std::wstring huge = L" /init" + std::wstring(100000, L'7');
  Parse(kProgram + huge);
  EXPECT_EQ(std::wstring(SetupFlags.InitText), std::wstring(39, L'7'));
  // A long plain word stays one plain word, whatever its tail holds.
  Requests r = Parse(kProgram + L" x" + std::wstring(1030, L'x') + L"/setup");
  EXPECT_FALSE(r.Setup);
  EXPECT_TRUE(r.Uninstall);
  // A long switch is still recognised by its beginning.
  r = Parse(kProgram + L" /setup" + std::wstring(5000, L'y') + L" /noex");
  EXPECT_TRUE(r.Setup);
  EXPECT_TRUE(SetupFlags.NoExplorer);
}

TEST_F(SwitchesTest, TenThousandArguments) {
  std::wstring line = kProgram;
  for (int i = 0; i < 10000; ++i)
    line += (i % 3 == 0) ? L" /s" : (i % 3 == 1 ? L" word" : L" -x");
  Requests r = Parse(line);
  EXPECT_TRUE(SetupFlags.Silent);
  EXPECT_FALSE(r.Uninstall);
  EXPECT_FALSE(r.Setup);
  line = kProgram;
  for (int i = 0; i < 10000; ++i)
    line += L" /s";
  r = Parse(line);
  EXPECT_TRUE(r.Uninstall);
}

}  // namespace
