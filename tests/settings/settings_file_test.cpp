#include "settings/settings_file.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/error_handler.h"
#include "settings/folders.h"
#include "settings/settings_file_internal.h"
#include "settings/settings_store.h"
#include "settings_test_env.h"
#if defined(VLX_FAILING_ALLOCATIONS)
#include "failing_allocations.h"
#endif
#include "support/change_recorder.h"
#include "support/error_state.h"
#include "support/scoped_environment.h"
#include "support/utf16_bytes.h"

namespace {

// The access list of a file as the system describes it.
std::wstring DaclText(const std::wstring& path) {
  DWORD needed = 0;
  (void)GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  std::vector<unsigned char> sd(needed);
  if (needed == 0 ||
      !GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, sd.data(), needed, &needed)) {
    return L"<unreadable>";
  }
  wchar_t* text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
          sd.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return L"<unconvertible>";
  }
  std::wstring result = text;
  LocalFree(text);
  return result;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  // Loads lines given as UTF-16 text (the mark is added).
  void Load(const std::wstring& lines) { LoadBytes(Utf16Le(lines)); }
  void LoadBytes(const std::string& bytes) {
    env_.WriteIni(bytes);
    LoadSettingsFile();
    ASSERT_TRUE(SettingsFileInUse());
  }
  SettingsEnvironment env_;
};

TEST_F(SettingsFileTest, HeadersAndCommentsAreDroppedAndTheSwitchesAdded) {
  Load(L"[Settings]\r\n; a comment\r\n");
  ASSERT_TRUE(SaveSettingsFile());
  EXPECT_EQ(env_.ReadIni(),
            SavedFile({L"Global\\AppData=1", L"Global\\Integration=1", L"Global\\SaveSettings=1"}));
}

TEST_F(SettingsFileTest, SavesSortedWithEachKindWrittenBack) {
  Load(
      L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.iso\"\r\nb=2\r\nKey=bin:0A0B\r\n"
      L"HKCU\\Setup\\Links\\Desktop=1\r\nGlobal\\AppData=7\r\nA=\"\"\r\n");
  ASSERT_TRUE(SaveSettingsFile());
  EXPECT_EQ(env_.ReadIni(),
            SavedFile({L"A=\"\"", L"Global\\AppData=1", L"Global\\Integration=1",
                       L"Global\\SaveSettings=1", L"HKCU\\Setup\\Links\\Desktop=1",
                       L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.iso\"", L"Key=bin:0A0B", L"b=2"}));
}

TEST_F(SettingsFileTest, LineRulesGiveNamesAndValuesAsWritten) {
  Load(
      L"HKCU\\Setup\\ShellExt = 0\r\n  HKCU\\Lead=1\r\n1Digit=1\r\nNoEquals\r\n"
      L"Open=\"abc\r\nEmpty=\r\nEq==\r\nTrail=x \t \r\n=alone\r\n");
  EXPECT_EQ(ReadUserInt(L"Setup", L"ShellExt", 9), 9u);  // the name ends in a blank
  EXPECT_STREQ(IniFindValue(L"HKCU\\Setup\\ShellExt "), L" 0");
  EXPECT_EQ(IniFindValue(L"HKCU\\Lead"), nullptr);
  EXPECT_EQ(IniFindValue(L"1Digit"), nullptr);
  EXPECT_EQ(IniFindValue(L"NoEquals"), nullptr);
  EXPECT_STREQ(IniFindValue(L"Open"), L"abc");
  EXPECT_STREQ(IniFindValue(L"Empty"), L"");
  EXPECT_STREQ(IniFindValue(L"Eq"), L"=");
  EXPECT_STREQ(IniFindValue(L"Trail"), L"x");
  EXPECT_EQ(IniFindValue(L""), nullptr);
  ASSERT_TRUE(SaveSettingsFile());
  EXPECT_EQ(env_.ReadIni(), SavedFile({L"Empty=", L"Eq==", L"Global\\AppData=1",
                                       L"Global\\Integration=1", L"Global\\SaveSettings=1",
                                       L"HKCU\\Setup\\ShellExt = 0", L"Open=\"abc\"", L"Trail=x"}));
}

TEST_F(SettingsFileTest, ANumberWrittenOverQuotedTextTurnsPlain) {
  Load(L"HKCU\\Setup\\Mode=\"fast\"\r\n");
  EXPECT_EQ(WriteUserInt(L"Setup", L"Mode", 4294967295u), ERROR_SUCCESS);
  EXPECT_EQ(WriteUserString(L"Setup", L"Name", L"a \"b\""), ERROR_SUCCESS);
  ASSERT_TRUE(SaveSettingsFile());
  EXPECT_EQ(env_.ReadIni(),
            SavedFile({L"Global\\AppData=1", L"Global\\Integration=1", L"Global\\SaveSettings=1",
                       L"HKCU\\Setup\\Mode=4294967295", L"HKCU\\Setup\\Name=\"a \"b\"\""}));
  // The text comes back as written (its last quotation mark is the closing one).
  wchar_t text[32];
  ResetSettingsFileForTesting();
  EXPECT_TRUE(ReadUserString(L"Setup", L"Name", text, L"", 32));
  EXPECT_STREQ(text, L"a \"b\"");
}

TEST_F(SettingsFileTest, DuplicatesReadTheFirstAndSurviveASaveInOrder) {
  Load(L"HKCU\\D\\V=first\r\nHKCU\\D\\V=second\r\n");
  wchar_t text[16];
  EXPECT_TRUE(ReadUserString(L"D", L"V", text, L"", 16));
  EXPECT_STREQ(text, L"first");
  (void)WriteUserString(L"D", L"V", L"new");  // replaces the first only
  ASSERT_TRUE(SaveSettingsFile());
  EXPECT_EQ(env_.ReadIni(),
            SavedFile({L"Global\\AppData=1", L"Global\\Integration=1", L"Global\\SaveSettings=1",
                       L"HKCU\\D\\V=\"new\"", L"HKCU\\D\\V=second"}));
  DeleteUserValue(L"D", L"V");
  EXPECT_EQ(IniFindValue(L"HKCU\\D\\V"), nullptr);
}

TEST_F(SettingsFileTest, ManyDuplicatesKeepTheirOrderThroughASave) {
  // The sort is not stable by nature; equal names must still keep the file's order.
  std::wstring lines;
  for (int i = 0; i < 200; ++i) {
    lines += L"N" + std::to_wstring(i % 7) + L"=" + std::to_wstring(i) + L"\r\n";
  }
  Load(lines);
  ASSERT_TRUE(SaveSettingsFile());
  ResetSettingsFileForTesting();
  LoadSettingsFile();
  for (int k = 0; k < 7; ++k) {
    EXPECT_STREQ(IniFindValue((L"N" + std::to_wstring(k)).c_str()), std::to_wstring(k).c_str());
  }
}

TEST_F(SettingsFileTest, NamesAreCaseSensitive) {
  Load(L"hkcu\\setup\\shellext=0\r\n");
  EXPECT_EQ(ReadUserInt(L"Setup", L"ShellExt", 1), 1u);
  EXPECT_FALSE(SettingsKeyExists(HKEY_CURRENT_USER, L"Setup"));
}

TEST_F(SettingsFileTest, Utf8AndBigEndianFilesLoad) {
  LoadBytes("\xEF\xBB\xBFHKCU\\T\\Name=\"\xC3\xA9t\xC3\xA9\"\r\n");
  EXPECT_STREQ(IniFindValue(L"HKCU\\T\\Name"), L"\u00e9t\u00e9");
  LoadBytes(Utf16Be(L"HKCU\\T\\Name=\"\u4e2d\"\r\n"));
  EXPECT_STREQ(IniFindValue(L"HKCU\\T\\Name"), L"\u4e2d");
  ASSERT_TRUE(SaveSettingsFile());
  EXPECT_EQ(env_.ReadIni().substr(0, 2), "\xFF\xFE");
}

TEST_F(SettingsFileTest, SwitchesAreReadAsZeroOrOneAndWrittenBack) {
  Load(L"Global\\AppData=0\r\nGlobal\\Integration=12\r\n");
  EXPECT_FALSE(IniAppDataSwitch());
  EXPECT_TRUE(IniIntegrationSwitch());
  EXPECT_STREQ(IniFindValue(L"Global\\Integration"), L"1");
  EXPECT_STREQ(IniFindValue(L"Global\\SaveSettings"), L"1");
  // The switches keep their values when the store is freed.
  FreeSettingsFile();
  EXPECT_FALSE(IniAppDataSwitch());
}

TEST_F(SettingsFileTest, SaveSettingsOffKeepsTheFileAsItIs) {
  const std::string original = Utf16Le(L"Global\\SaveSettings=0\r\n[x]\r\nHKCU\\A\\B=1\r\n");
  LoadBytes(original);
  (void)WriteUserInt(L"A", L"B", 2);
  EXPECT_FALSE(SaveSettingsFile());
  EXPECT_EQ(env_.ReadIni(), original);
}

TEST_F(SettingsFileTest, ReportsEntryChangesOnceTheFileHoldsThemAndASaveThatFailed) {
  Load(
      L"Global\\AppData=1\r\nGlobal\\Integration=5\r\nGlobal\\SaveSettings=1\r\n"
      L"HKCU\\A\\B=1\r\nHKCU\\A\\C=\"x\"\r\n");
  const std::wstring file = env_.IniPath();
  {
    ChangeRecorder changes;
    (void)WriteUserInt(L"A", L"B", 2);
    (void)WriteUserString(L"A", L"New", L"t");
    DeleteUserValue(L"A", L"C");
    (void)WriteUserString(L"A", L"Gone", L"t");
    DeleteUserValue(L"A", L"Gone");
    EXPECT_EQ(changes.Lines(), std::vector<std::wstring>{});  // in memory only as yet
    ASSERT_TRUE(SaveSettingsFile());
    // Only what the file took, in name order; the switches that kept their values are none.
    const std::vector<std::wstring> expected = {
        L"file-created|" + file + L"|-|-|-|replaced",
        L"setting-set|" + file + L"|Global\\Integration|5|1|-",
        L"setting-set|" + file + L"|HKCU\\A\\B|1|2|-",
        L"setting-deleted|" + file + L"|HKCU\\A\\C|x|-|-",
        L"setting-set|" + file + L"|HKCU\\A\\New|-|t|-",
    };
    EXPECT_EQ(changes.Lines(), expected);
    changes.Clear();
    (void)WriteUserInt(L"A", L"B", 3);
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(SaveSettingsFile());
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(changes.Lines(),
              std::vector<std::wstring>{L"notice|" + file +
                                        L"|-|-|-|not written, the file keeps its former content: 1 "
                                        L"change not saved"});
  }
  // With SaveSettings off nothing reaches the file, so nothing is reported.
  Load(L"Global\\SaveSettings=0\r\nHKCU\\A\\B=1\r\n");
  ChangeRecorder changes;
  (void)WriteUserInt(L"A", L"B", 2);
  EXPECT_FALSE(SaveSettingsFile());
  EXPECT_EQ(changes.Lines(), std::vector<std::wstring>{});
}

TEST_F(SettingsFileTest, TheFileInTheApplicationDataFolderIsFoundSecond) {
  env_.Scratch().WriteFile(L"appdata\\Vellox\\Vellox.ini", Utf16Le(L"HKCU\\Where=\"appdata\"\r\n"));
  LoadSettingsFile();
  wchar_t path[2048];
  ASSERT_TRUE(SettingsFileInUse(path, 2048));
  EXPECT_EQ(std::wstring(path), env_.AppDataFolder() + L"\\Vellox\\Vellox.ini");
  // One beside the program wins.
  env_.WriteIni(Utf16Le(L"HKCU\\Where=\"program\"\r\n"));
  LoadSettingsFile();
  EXPECT_STREQ(IniFindValue(L"HKCU\\Where"), L"program");
}

TEST_F(SettingsFileTest, AFailedSaveLeavesThePreviousFileAndNoLeftovers) {
  const std::string original = Utf16Le(L"HKCU\\A=1\r\n");
  LoadBytes(original);
  (void)WriteUserInt(L"", L"A", 2);
  // The new content cannot be created: a folder is in the way of the sibling file.
  std::wstring blocker = env_.Scratch().MakeFolder(L"program\\Vellox.ini.tmp");
  EXPECT_FALSE(SaveSettingsFile());
  EXPECT_EQ(env_.ReadIni(), original);
  RemoveDirectoryW(blocker.c_str());

  // A read-only file is not replaced, and the sibling file does not stay behind.
  SetFileAttributesW(env_.IniPath().c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(SaveSettingsFile());
  SetFileAttributesW(env_.IniPath().c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(env_.ReadIni(), original);
  EXPECT_FALSE(PathExists(env_.IniPath() + L".tmp"));

  ASSERT_TRUE(SaveSettingsFile());
  EXPECT_NE(env_.ReadIni().find(Utf16Le(L"HKCU\\A=2", false)), std::string::npos);
  EXPECT_FALSE(PathExists(env_.IniPath() + L".tmp"));
}

TEST_F(SettingsFileTest, AReadErrorPartWayServesWhatWasReadAndNeverWritesBack) {
  const std::wstring head = L"HKCU\\A=1\r\nHKCU\\B=2\r\nHKCU\\C=3";
  const std::string original = Utf16Le(head + L"45\r\nHKCU\\D=4\r\n");
  env_.WriteIni(original);
  const CleanErrorState errors;  // the provoked error is forgotten at the end of the test
  FlakyFile file(static_cast<uint32_t>(Utf16Le(head).size()));  // fails inside C's value
  TheSettingsFile().LoadFrom(env_.IniPath().c_str(), file);
  EXPECT_EQ(Errors().ExitCode, static_cast<uint32_t>(VLX_EXIT_READ));
  ASSERT_TRUE(SettingsFileInUse());
  EXPECT_EQ(ReadUserInt(L"", L"B", 0), 2u);  // what was read is served
  EXPECT_EQ(ReadUserInt(L"", L"C", 9), 9u);  // a value cut short is not served as 3
  EXPECT_EQ(ReadUserInt(L"", L"D", 9), 9u);
  (void)WriteUserInt(L"", L"A", 7);
  EXPECT_FALSE(SaveSettingsFile());
  EXPECT_EQ(env_.ReadIni(), original);
}

#if defined(VLX_FAILING_ALLOCATIONS)
TEST_F(SettingsFileTest, RunningOutOfMemoryPartWayServesWhatWasReadAndNeverWritesBack) {
  std::wstring lines;
  for (int i = 0; i < 200; ++i)
    lines += L"HKCU\\K\\V" + std::to_wstring(i) + L"=" + std::to_wstring(i) + L"\r\n";
  const std::string original = Utf16Le(lines);
  bool cutInsideTheEntries = false;
  // Allocations run out at several points of reading and parsing.
  for (unsigned failAt : {1u, 40u, 150u, 300u, 450u}) {
    CleanErrorState errors;
    env_.WriteIni(original);
    FailAllocationAt(failAt);
    LoadSettingsFile();
    FailAllocationAt(0);
    ASSERT_TRUE(SettingsFileInUse()) << failAt;
    EXPECT_EQ(Errors().ExitCode, VLX_EXIT_MEMORY) << failAt;
    // What is served is the beginning of the file, whole entries only.
    int served = 0;
    while (served < 200 && ReadUserInt(L"K", (L"V" + std::to_wstring(served)).c_str(), 999) ==
                               static_cast<uint32_t>(served)) {
      ++served;
    }
    for (int i = served; i < 200; ++i)
      EXPECT_EQ(ReadUserInt(L"K", (L"V" + std::to_wstring(i)).c_str(), 999), 999u) << failAt;
    cutInsideTheEntries = cutInsideTheEntries || (served > 0 && served < 200);
    (void)WriteUserInt(L"K", L"V0", 5);
    EXPECT_FALSE(SaveSettingsFile()) << failAt;
    ResetSettingsFileForTesting();  // no write back at the end either
    EXPECT_EQ(env_.ReadIni(), original) << failAt;
  }
  EXPECT_TRUE(cutInsideTheEntries) << "no point ran out of memory among the entries";
}
#endif

TEST_F(SettingsFileTest, AfterTheFreeNothingSearchesLoadsOrWritesAFile) {
  // Another installation's temporary folder, both in the registry and in a settings file in
  // the application-data folder: neither may be reached once the program's own file is freed.
  const std::wstring other = env_.Scratch().MakeFolder(L"other-temp");
  RegWriteString(HKEY_CURRENT_USER, L"Software\\Vellox\\Paths", L"TempFolder", other.c_str());
  const std::string appDataIni = Utf16Le(L"HKCU\\Paths\\TempFolder=\"" + other + L"\"\r\n");
  const std::wstring appDataIniPath =
      env_.Scratch().WriteFile(L"appdata\\Vellox\\Vellox.ini", appDataIni);
  Load(L"HKCU\\Setup\\ShellExt=0\r\n");
  const std::wstring registryBefore = env_.Registry().Snapshot();

  FreeSettingsFile();
  ASSERT_TRUE(DeleteFileW(env_.IniPath().c_str()));  // as the uninstall list deletes it
  wchar_t temp[2048];
  GetTempFolder(temp, 2048);
  wchar_t system[2048];
  ASSERT_GT(GetTempPathW(2048, system), 0u);
  EXPECT_STREQ(temp, system);
  EXPECT_FALSE(SettingsFileInUse());
  // A write goes nowhere lasting: neither to the registry nor to any file.
  EXPECT_EQ(WriteUserInt(L"Setup", L"ShellExt", 1), ERROR_SUCCESS);
  EXPECT_FALSE(SaveSettingsFile());
  EXPECT_EQ(env_.Registry().Snapshot(), registryBefore);
  EXPECT_FALSE(PathExists(env_.IniPath()));
  std::string appDataAfter;
  ASSERT_TRUE(ReadWholeFile(appDataIniPath, appDataAfter));
  EXPECT_EQ(appDataAfter, appDataIni);
}

TEST_F(SettingsFileTest, ASaveKeepsTheAttributesAndAccessRightsOfTheFile) {
  Load(L"HKCU\\A=1\r\n");
  const std::wstring ini = env_.IniPath();
  // Rights of its own (everyone may change it), not those a new file in its folder gets.
  PSECURITY_DESCRIPTOR own = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;FA;;;WD)",
                                                                   SDDL_REVISION_1, &own, nullptr));
  ASSERT_TRUE(SetFileSecurityW(ini.c_str(), DACL_SECURITY_INFORMATION, own));
  LocalFree(own);
  ASSERT_TRUE(SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_HIDDEN));
  const std::wstring rights = DaclText(ini);
  ASSERT_NE(rights, DaclText(env_.Scratch().WriteFile(L"program\\new.txt", "x")));

  (void)WriteUserInt(L"", L"A", 2);
  ASSERT_TRUE(SaveSettingsFile());
  EXPECT_NE(env_.ReadIni().find(Utf16Le(L"HKCU\\A=2", false)), std::string::npos);
  EXPECT_EQ(DaclText(ini), rights);
  EXPECT_NE(GetFileAttributesW(ini.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_FALSE(PathExists(ini + L".tmp"));
}

TEST_F(SettingsFileTest, EntryNamesLeadWithTheRootAndEndInTheValueName) {
  Load(L"");
  wchar_t name[kIniEntryNameCapacity];
  ASSERT_TRUE(IniEntryNameFor(HKEY_CURRENT_USER, L"Setup\\Links", L"Desktop", name, 1024));
  EXPECT_STREQ(name, L"HKCU\\Setup\\Links\\Desktop");
  ASSERT_TRUE(
      IniEntryNameFor(HKEY_LOCAL_MACHINE, L"Capabilities", L"ApplicationDescription", name, 1024));
  EXPECT_STREQ(name, L"HKLM\\Capabilities\\ApplicationDescription");
  ASSERT_TRUE(IniEntryNameFor(nullptr, L"Global", L"Integration", name, 1024));
  EXPECT_STREQ(name, L"Global\\Integration");
  ASSERT_TRUE(IniEntryNameFor(HKEY_CURRENT_USER, L"", L"", name, 1024));
  EXPECT_STREQ(name, L"HKCU\\");
  EXPECT_FALSE(IniEntryNameFor(HKEY_CLASSES_ROOT, L".vlx", L"", name, 1024));
  EXPECT_FALSE(IniEntryNameFor(HKEY_CURRENT_USER, L"\\Software\\X", L"", name, 1024));
}

TEST_F(SettingsFileTest, ANameTooLongForItsBufferIsNeverCutToAnother) {
  Load(L"");
  // Cut at 1023 characters this name would be the one of the entry below.
  const std::wstring path(1100, L'p');
  const std::wstring cut = (L"HKCU\\" + path).substr(0, 1023);
  IniSetValue(cut.c_str(), L"keep", EntryKind::Quoted);
  EXPECT_NE(WriteUserString(path.c_str(), L"v", L"new"), ERROR_SUCCESS);
  EXPECT_STREQ(IniFindValue(cut.c_str()), L"keep");
  wchar_t text[16];
  EXPECT_FALSE(ReadUserString(path.c_str(), L"v", text, L"def", 16));
  EXPECT_STREQ(text, L"def");
  EXPECT_EQ(ReadUserInt(path.c_str(), L"v", 3), 3u);
  DeleteSettingsTree(HKEY_CURRENT_USER, path.c_str());
  EXPECT_STREQ(IniFindValue(cut.c_str()), L"keep");
}

TEST_F(SettingsFileTest, ManyEntriesAndLongValuesLoadAndSave) {
  std::wstring lines;
  for (int i = 0; i < 50000; ++i)
    lines += L"HKCU\\K\\V" + std::to_wstring(i) + L"=" + std::to_wstring(i) + L"\r\n";
  const std::wstring longText(100000, L'x');
  lines += L"HKCU\\K\\Long=\"" + longText + L"\"\r\n";
  Load(lines);
  EXPECT_EQ(ReadUserInt(L"K", L"V0", 9), 0u);
  EXPECT_EQ(ReadUserInt(L"K", L"V49999", 9), 49999u);
  ASSERT_TRUE(SaveSettingsFile());
  ResetSettingsFileForTesting();
  EXPECT_EQ(ReadUserInt(L"K", L"V31337", 9), 31337u);
  EXPECT_EQ(std::wstring(IniFindValue(L"HKCU\\K\\Long")), longText);
}

// --- Randomized: the loader takes any bytes, and a saved file reloads to the same file ---

std::string Mutate(std::string bytes, std::mt19937& random) {
  static const std::string kPieces[] = {"=",
                                        "\"",
                                        "\r",
                                        "\n",
                                        std::string("\0", 1),
                                        "bin:",
                                        "\xFF\xFE",
                                        "\xFE\xFF",
                                        "\xEF\xBB\xBF",
                                        " ",
                                        "\t",
                                        "HKCU\\",
                                        "Global\\SaveSettings=",
                                        "\xC3",
                                        "\xED\xA0\x80"};
  int edits = 1 + static_cast<int>(random() % 8);
  for (int i = 0; i < edits; ++i) {
    size_t at = bytes.empty() ? 0 : random() % (bytes.size() + 1);
    switch (random() % 5) {
      case 0:  // flip a byte
        if (!bytes.empty())
          bytes[at % bytes.size()] = static_cast<char>(random());
        break;
      case 1:  // insert a piece that matters to the format
        bytes.insert(at, kPieces[random() % (sizeof(kPieces) / sizeof(kPieces[0]))]);
        break;
      case 2:  // cut the file short
        bytes.resize(at);
        break;
      case 3:  // random bytes
        for (int n = static_cast<int>(random() % 16); n > 0; --n) {
          bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       static_cast<char>(random()));
        }
        break;
      default:  // drop a byte
        if (!bytes.empty())
          bytes.erase(at % bytes.size(), 1);
        break;
    }
  }
  return bytes;
}

TEST_F(SettingsFileTest, RandomFilesLoadAndReloadToTheSameSavedFile) {
  const std::string seeds[] = {
      Utf16Le(L"Global\\Integration=1\r\nHKCU\\Setup\\A=\"x y\"\r\nHKCU\\B=bin:0A\r\nC=1\r\n"),
      Utf16Be(L"HKCU\\Setup\\A=\"\u00e9\"\r\nHKLM\\X=2\r\n"),
      "\xEF\xBB\xBFHKCU\\Setup\\A=\"\xC3\xA9\"\r\nD=3\n\nE=\"\r\n",
      "HKCU\\Setup\\A=1\r\n[x]\r\n;c\r\nZ=\"q\"\r\n",
  };
  std::mt19937 random(20240611);
  int saved = 0;
  for (int round = 0; round < 1500; ++round) {
    std::string bytes = Mutate(seeds[round % 4], random);
    env_.WriteIni(bytes);
    LoadSettingsFile();
    ASSERT_TRUE(SettingsFileInUse()) << "round " << round;
    // A request of each kind must behave on whatever was read.
    (void)ReadUserInt(L"Setup", L"A", 0);
    (void)WriteUserString(L"Setup", L"W", L"w");
    if (!SaveSettingsFile())
      continue;  // SaveSettings=0 came out of the mutation
    ++saved;
    std::string first = env_.ReadIni();
    ASSERT_EQ(first.substr(0, 2), "\xFF\xFE") << "round " << round;
    ResetSettingsFileForTesting();
    LoadSettingsFile();
    ASSERT_TRUE(SaveSettingsFile()) << "round " << round;
    ASSERT_EQ(env_.ReadIni(), first) << "round " << round;
  }
  EXPECT_GT(saved, 1000);
}

// --- Process exit: the store is written back (or not) as the process ends ---

// Runs only inside a child process started by the test below: makes one change and exits
// without freeing anything, so the store's own teardown decides what reaches the disk.
TEST(SettingsFileExitChild, ChangeAndExit) {
  wchar_t program[2048];
  if (GetEnvironmentVariableW(L"VLX_SETTINGS_CHILD", program, 2048) == 0) {
    GTEST_SKIP() << "runs as a child process only";
  }
  RegistrySandbox registry;  // nothing may reach the real registry, whatever happens
  SetProgramPathForTesting(program);
  ResetSettingsFileForTesting();
  EXPECT_EQ(WriteUserInt(L"Setup", L"Exit", 1), ERROR_SUCCESS);
  EXPECT_TRUE(SettingsFileInUse());
}

TEST_F(SettingsFileTest, TheProcessWritesTheFileBackAtExitUnlessSaveSettingsIsOff) {
  wchar_t self[2048];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, 2048), 0u);
  std::wstring command =
      L"\"" + std::wstring(self) + L"\" --gtest_filter=SettingsFileExitChild.ChangeAndExit";
  const ScopedEnvironment child(L"VLX_SETTINGS_CHILD", env_.ProgramFolder() + L"\\uninstall.exe");

  env_.WriteIni(Utf16Le(L"[x]\r\n"));
  EXPECT_EQ(RunAndWait(command), 0);
  EXPECT_EQ(env_.ReadIni(), SavedFile({L"Global\\AppData=1", L"Global\\Integration=1",
                                       L"Global\\SaveSettings=1", L"HKCU\\Setup\\Exit=1"}));

  const std::string off = Utf16Le(L"Global\\SaveSettings=0\r\n[x]\r\n");
  env_.WriteIni(off);
  EXPECT_EQ(RunAndWait(command), 0);
  EXPECT_EQ(env_.ReadIni(), off);
}

}  // namespace
