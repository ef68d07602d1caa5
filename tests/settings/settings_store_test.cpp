#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win_handles.h"
#include "settings/settings_file.h"
#include "settings_test_env.h"
#include "support/change_recorder.h"
#include "support/utf16_bytes.h"

namespace {

constexpr wchar_t kAppPaths[] =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Vellox.exe";

class RegistryMode : public ::testing::Test {
 protected:
  SettingsEnvironment env_;
};

TEST(SettingsKeyPath, PrefixesTheSuiteKeyUnderTheTwoRootsOnly) {
  wchar_t out[512];
  EXPECT_TRUE(SettingsKeyPath(HKEY_CURRENT_USER, L"Setup\\Links", out, 512));
  EXPECT_STREQ(out, L"Software\\Vellox\\Setup\\Links");
  EXPECT_TRUE(SettingsKeyPath(HKEY_LOCAL_MACHINE, L"", out, 512));
  EXPECT_STREQ(out, L"Software\\Vellox");
  EXPECT_TRUE(SettingsKeyPath(HKEY_LOCAL_MACHINE, L"\\Software\\Other", out, 512));
  EXPECT_STREQ(out, L"Software\\Other");
  EXPECT_TRUE(SettingsKeyPath(HKEY_CLASSES_ROOT, L"\\.vlx", out, 512));
  EXPECT_STREQ(out, L"\\.vlx");
  EXPECT_TRUE(SettingsKeyPath(HKEY_CLASSES_ROOT, L"Vellox.vlx\\shell", out, 512));
  EXPECT_STREQ(out, L"Vellox.vlx\\shell");
}

TEST(SettingsKeyPath, ReportsAPathCutShort) {
  wchar_t out[20];
  EXPECT_FALSE(SettingsKeyPath(HKEY_CURRENT_USER, L"Setup\\Links", out, 20));
  EXPECT_EQ(wcslen(out), 19u);
  EXPECT_TRUE(SettingsKeyPath(HKEY_CURRENT_USER, L"Set", out, 20));  // 19 characters fit
  EXPECT_STREQ(out, L"Software\\Vellox\\Set");
}

TEST_F(RegistryMode, NumbersAndTextsLandBelowTheSuiteKeyOfEachRoot) {
  EXPECT_EQ(ReadUserInt(L"Setup", L"ShellExt", 1), 1u);
  EXPECT_EQ(WriteUserInt(L"Setup", L"ShellExt", 0), ERROR_SUCCESS);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup", L"ShellExt"), 0u);
  EXPECT_EQ(ReadUserInt(L"Setup", L"ShellExt", 1), 0u);

  EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, L"Capabilities", L"Name", L"Vellox"),
            ERROR_SUCCESS);
  EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Vellox\\Capabilities", L"Name"),
            L"Vellox");
  wchar_t text[64];
  EXPECT_TRUE(ReadSettingString(HKEY_LOCAL_MACHINE, L"Capabilities", L"Name", text, L"d", 64));
  EXPECT_STREQ(text, L"Vellox");
  EXPECT_FALSE(ReadSettingString(HKEY_CURRENT_USER, L"Capabilities", L"Name", text, L"d", 64));
  EXPECT_STREQ(text, L"d");

  EXPECT_EQ(WriteSettingInt(HKEY_LOCAL_MACHINE, L"", L"Top", 0xFFFFFFFFu), ERROR_SUCCESS);
  EXPECT_EQ(ReadSettingInt(HKEY_LOCAL_MACHINE, L"", L"Top", 3), 0xFFFFFFFFu);
  EXPECT_EQ(RegReadDword(HKEY_LOCAL_MACHINE, L"Software\\Vellox", L"Top"), 0xFFFFFFFFu);
}

TEST_F(RegistryMode, AbsolutePathsAndClassKeysAreUsedAsGiven) {
  EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, kAppPaths, L"", L"C:\\V\\Vellox.exe"),
            ERROR_SUCCESS);
  EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kAppPaths + 1, L""), L"C:\\V\\Vellox.exe");
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Vellox"));

  EXPECT_EQ(WriteSettingString(HKEY_CLASSES_ROOT, L".vlx", L"", L"Vellox.vlx"), ERROR_SUCCESS);
  EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, L".vlx", L""), L"Vellox.vlx");
  EXPECT_TRUE(SettingsKeyExists(HKEY_CLASSES_ROOT, L".vlx"));
  EXPECT_FALSE(SettingsKeyExists(HKEY_CLASSES_ROOT, L".none"));
  DeleteSettingValue(HKEY_CLASSES_ROOT, L".vlx", L"");
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".vlx", L""));
  EXPECT_TRUE(SettingsKeyExists(HKEY_CLASSES_ROOT, L".vlx"));
}

TEST_F(RegistryMode, UserScopeRoutesMachineAndClassKeysToTheUsersOwnAndReportsThem) {
  SetInstallScope(InstallScope::User);
  ChangeRecorder changes;
  EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, kAppPaths, L"", L"C:\\V\\Vellox.exe"),
            ERROR_SUCCESS);
  EXPECT_EQ(WriteSettingInt(HKEY_LOCAL_MACHINE, L"Capabilities", L"N", 3), ERROR_SUCCESS);
  EXPECT_EQ(WriteSettingString(HKEY_CLASSES_ROOT, L".vlx", L"", L"Vellox"), ERROR_SUCCESS);
  EXPECT_EQ(ReadSettingInt(HKEY_LOCAL_MACHINE, L"Capabilities", L"N", 0), 3u);
  EXPECT_TRUE(SettingsKeyExists(HKEY_CLASSES_ROOT, L".vlx"));
  DeleteSettingsTree(HKEY_CLASSES_ROOT, L".vlx");
  SetInstallScope(InstallScope::Machine);

  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kAppPaths + 1, L""), L"C:\\V\\Vellox.exe");
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Capabilities", L"N"), 3u);
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\.vlx"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Vellox"));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".vlx"));
  const std::vector<std::wstring> lines = changes.Lines();
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[12], L"value-set|HKEY_CURRENT_USER\\Software\\Classes\\.vlx||-|REG_SZ:Vellox|-");
  EXPECT_EQ(lines[14], L"key-deleted|HKEY_CURRENT_USER\\Software\\Classes\\.vlx|-|-|-|-");
}

TEST_F(RegistryMode, TheThirtyTwoBitViewKeepsItsOwnCopies) {
  // A Wow6432Node key makes the sandbox's machine root redirect like the real one.
  RegWriteString(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Marker", L"", L"");
  const wchar_t* key = L"\\Software\\Classes\\CLSID\\{0F1E2D3C-0000-4000-8000-00AABBCCDDEE}";
  EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, key, L"", L"64"), ERROR_SUCCESS);
  SetRegistryView(KEY_WOW64_32KEY);
  EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, key, L"", L"32"), ERROR_SUCCESS);
  wchar_t text[16];
  EXPECT_TRUE(ReadSettingString(HKEY_LOCAL_MACHINE, key, L"", text, L"", 16));
  EXPECT_STREQ(text, L"32");
  SetRegistryView(0);
  EXPECT_TRUE(ReadSettingString(HKEY_LOCAL_MACHINE, key, L"", text, L"", 16));
  EXPECT_STREQ(text, L"64");
  EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE,
                          L"Software\\Wow6432Node\\Classes\\CLSID\\"
                          L"{0F1E2D3C-0000-4000-8000-00AABBCCDDEE}",
                          L""),
            L"32");

  // Single-key deletion honours the view: only the 32-bit copy goes.
  SetRegistryView(KEY_WOW64_32KEY);
  DeleteSettingsKey(HKEY_LOCAL_MACHINE, key);
  SetRegistryView(0);
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, key + 1, KEY_WOW64_32KEY));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, key + 1));
}

TEST_F(RegistryMode, AWriteBatchWritesWhatSingleWritesWriteWhateverHappensToTheKey) {
  RegWriteString(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Marker", L"", L"");
  const wchar_t* key = L"\\Software\\Classes\\Vellox.Batch";
  const SettingsWriteBatch batch;
  EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, key, L"", L"64"), ERROR_SUCCESS);
  {
    // The other view is another key, although the path is the same.
    const ScopedRegistryView inView(KEY_WOW64_32KEY);
    EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, key, L"", L"32"), ERROR_SUCCESS);
  }
  EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, key, L"Next", L"64"), ERROR_SUCCESS);
  EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, key + 1, L"Next"), L"64");
  EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Classes\\Vellox.Batch", L""),
            L"32");

  // Another program deletes the key between two writes: the next write creates it again.
  ASSERT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, key + 1), ERROR_SUCCESS);
  EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, key, L"After", L"x"), ERROR_SUCCESS);
  EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, key + 1, L"After"), L"x");
  // And so does the store's own deletion of the tree above it.
  DeleteSettingsTree(HKEY_LOCAL_MACHINE, L"\\Software\\Classes");
  EXPECT_EQ(WriteSettingInt(HKEY_LOCAL_MACHINE, key, L"Last", 7), ERROR_SUCCESS);
  EXPECT_EQ(ReadSettingInt(HKEY_LOCAL_MACHINE, key, L"Last", 0), 7u);
}

TEST_F(RegistryMode, AKeyWithSubkeysSurvivesKeyDeletionButNotTreeDeletion) {
  (void)WriteUserInt(L"Setup\\Links", L"Desktop", 1);
  (void)WriteUserInt(L"Setup", L"ShellExt", 1);
  DeleteSettingsKey(HKEY_CURRENT_USER, L"Setup");
  EXPECT_TRUE(SettingsKeyExists(HKEY_CURRENT_USER, L"Setup"));
  DeleteSettingsKey(HKEY_CURRENT_USER, L"Setup\\Links");
  EXPECT_FALSE(SettingsKeyExists(HKEY_CURRENT_USER, L"Setup\\Links"));
  (void)WriteUserInt(L"Setup\\Links", L"Desktop", 1);
  DeleteSettingsTree(HKEY_CURRENT_USER, L"");
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Vellox"));
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, L"Software"));
}

TEST_F(RegistryMode, TreeDeletionClearsWideAndDeepTreesAndKeepsTheParent) {
  // Enough siblings that one pass misses some (the enumeration index runs ahead of the
  // deletions), names of the longest legal length, and some depth.
  const std::wstring longName(255, L'k');
  for (int i = 0; i < 40; ++i) {
    std::wstring child = L"Tree\\Root\\c" + std::to_wstring(i);
    RegWriteDword(HKEY_CURRENT_USER, (child + L"\\a\\b\\c").c_str(), L"v", 1);
    RegWriteDword(HKEY_CURRENT_USER, (child + L"\\" + longName).c_str(), L"v", 1);
  }
  UniqueHKey parent;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Tree", 0, KEY_READ, parent.put()), ERROR_SUCCESS);
  DeleteRegistryTree(parent.get(), L"Root");
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Tree\\Root"));
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, L"Tree"));
  DeleteRegistryTree(HKEY_CURRENT_USER, L"");  // the parent itself is never deleted
  EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, L"Tree"));
}

TEST_F(RegistryMode, ReportsEachKeyItCreatesAndEachValueWithItsFormerData) {
  (void)WriteUserInt(L"Setup", L"ShellExt", 1);
  ChangeRecorder changes;
  EXPECT_EQ(WriteUserString(L"Setup\\Links\\Deep", L"Name", L"a\tb"), ERROR_SUCCESS);
  EXPECT_EQ(WriteUserInt(L"Setup", L"ShellExt", 7), ERROR_SUCCESS);
  DeleteUserValue(L"Setup", L"ShellExt");
  DeleteUserValue(L"Setup", L"ShellExt");  // gone already: nothing happens, nothing reported
  DeleteSettingsKey(HKEY_CURRENT_USER, L"Setup");  // has subkeys: stays, not reported
  const std::wstring setup = L"HKEY_CURRENT_USER\\Software\\Vellox\\Setup";
  const std::vector<std::wstring> expected = {
      L"key-created|" + setup + L"\\Links|-|-|-|-",
      L"key-created|" + setup + L"\\Links\\Deep|-|-|-|-",
      L"value-set|" + setup + L"\\Links\\Deep|Name|-|REG_SZ:a\tb|-",
      L"value-set|" + setup + L"|ShellExt|REG_DWORD:1|REG_DWORD:7|-",
      L"value-deleted|" + setup + L"|ShellExt|REG_DWORD:7|-|-",
  };
  EXPECT_EQ(changes.Lines(), expected);
}

TEST_F(RegistryMode, ReportingAsksForNoRightOfItsOwnAndNeverTakesUnknownForAbsent) {
  ASSERT_EQ(WriteUserInt(L"WriteOnly", L"N", 5), ERROR_SUCCESS);
  RegCreateKeyWithRights(HKEY_CURRENT_USER, L"Software\\Vellox\\WriteOnly", L"KW");
  ChangeRecorder changes;
  EXPECT_EQ(WriteUserInt(L"WriteOnly", L"N", 6), ERROR_SUCCESS);  // the key is there: not created
  DeleteUserValue(L"WriteOnly", L"N");                            // deleted as without a log
  const std::wstring key = L"HKEY_CURRENT_USER\\Software\\Vellox\\WriteOnly";
  EXPECT_EQ(changes.Lines(), (std::vector<std::wstring>{
                                 L"value-set|" + key + L"|N|unknown|REG_DWORD:6|-",
                                 L"value-deleted|" + key + L"|N|unknown|-|-",
                             }));
}

TEST_F(RegistryMode, ReportsATreeKeyByKeyWithItsValuesAndTheViewItWentThrough) {
  (void)WriteUserString(L"Gone\\Child", L"", L"x");
  (void)WriteUserInt(L"Gone", L"Count", 2);
  RegCreateReadOnlyKey(HKEY_CURRENT_USER, L"Software\\Vellox\\Locked");
  ChangeRecorder changes;
  EXPECT_EQ(WriteUserString(L"Locked", L"Text", L"x"), ERROR_ACCESS_DENIED);  // no report
  DeleteSettingsTree(HKEY_CURRENT_USER, L"Gone");
  {
    const ScopedRegistryView inView(KEY_WOW64_32KEY);
    (void)WriteSettingString(HKEY_LOCAL_MACHINE, L"\\Software\\Other", L"", L"y");
  }
  const std::wstring gone = L"HKEY_CURRENT_USER\\Software\\Vellox\\Gone";
  const std::vector<std::wstring> expected = {
      L"value-deleted|" + gone + L"\\Child||REG_SZ:x|-|-",
      L"key-deleted|" + gone + L"\\Child|-|-|-|-",
      L"value-deleted|" + gone + L"|Count|REG_DWORD:2|-|-",
      L"key-deleted|" + gone + L"|-|-|-|-",
      L"key-created|HKEY_LOCAL_MACHINE\\Software\\Other|-|-|-|32-bit view",
      L"value-set|HKEY_LOCAL_MACHINE\\Software\\Other||-|REG_SZ:y|32-bit view",
  };
  EXPECT_EQ(changes.Lines(), expected);
}

TEST_F(RegistryMode, ALockedKeyRefusesWritesWithAccessDenied) {
  RegCreateReadOnlyKey(HKEY_CURRENT_USER, L"Software\\Vellox\\Locked");
  EXPECT_EQ(WriteUserString(L"Locked", L"Text", L"x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(WriteUserInt(L"Locked", L"Number", 1), ERROR_ACCESS_DENIED);
  RegCreateReadOnlyKey(HKEY_CLASSES_ROOT, L"Vellox.vlx");
  EXPECT_EQ(WriteSettingString(HKEY_CLASSES_ROOT, L"Vellox.vlx", L"", L"x"), ERROR_ACCESS_DENIED);
  // Reads of the locked key still work and fall back to defaults.
  EXPECT_TRUE(SettingsKeyExists(HKEY_CURRENT_USER, L"Locked"));
  EXPECT_EQ(ReadUserInt(L"Locked", L"Number", 9), 9u);
}

TEST_F(RegistryMode, NumbersAreReadFromTheFirstFourBytesWhateverTheType) {
  RegWriteString(HKEY_CURRENT_USER, L"Software\\Vellox\\T", L"Long", L"12345");
  EXPECT_EQ(ReadUserInt(L"T", L"Long", 77), 77u);  // does not fit four bytes
  RegWriteString(HKEY_CURRENT_USER, L"Software\\Vellox\\T", L"One", L"7");
  EXPECT_EQ(ReadUserInt(L"T", L"One", 77), 0x37u);  // '7' and its terminator
  UniqueHKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vellox\\T", 0, KEY_SET_VALUE, key.put()),
            ERROR_SUCCESS);
  const BYTE two[2] = {0x34, 0x12};
  RegSetValueExW(key.get(), L"Short", 0, REG_BINARY, two, 2);
  EXPECT_EQ(ReadUserInt(L"T", L"Short", 0xAABBCCDD), 0xAABB1234u);
  RegSetValueExW(key.get(), L"Empty", 0, REG_BINARY, two, 0);
  EXPECT_EQ(ReadUserInt(L"T", L"Empty", 5), 5u);
}

TEST_F(RegistryMode, TextsAreTerminatedAndTooLongTextsYieldTheDefault) {
  UniqueHKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Vellox\\T", 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key.get(), L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abc"), 6);
  wchar_t text[8];
  wmemset(text, L'X', 8);
  EXPECT_TRUE(ReadUserString(L"T", L"Bare", text, L"def", 8));
  EXPECT_STREQ(text, L"abc");

  RegWriteString(HKEY_CURRENT_USER, L"Software\\Vellox\\T", L"Long", L"abcdefghijkl");
  EXPECT_FALSE(ReadUserString(L"T", L"Long", text, L"def", 8));
  EXPECT_STREQ(text, L"def");
}

TEST_F(RegistryMode, ValueDeletionRemovesOneValueOnly) {
  (void)WriteUserInt(L"Setup", L"A", 1);
  (void)WriteUserInt(L"Setup", L"B", 2);
  DeleteUserValue(L"Setup", L"A");
  DeleteUserValue(L"Missing", L"A");  // ignored
  EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup", L"A"));
  EXPECT_EQ(ReadUserInt(L"Setup", L"B", 0), 2u);
}

// --- With a settings file ---

class IniMode : public ::testing::Test {
 protected:
  void Load(const std::wstring& lines) {
    env_.WriteIni(Utf16Le(lines));
    LoadSettingsFile();
    ASSERT_TRUE(SettingsFileInUse());
  }
  SettingsEnvironment env_;
};

TEST_F(IniMode, TheSuiteKeysGoToTheFileAndNothingToTheRegistry) {
  Load(L"HKCU\\Setup\\ShellExt=0\r\n");
  std::wstring before = env_.Registry().Snapshot();
  EXPECT_EQ(ReadUserInt(L"Setup", L"ShellExt", 1), 0u);
  EXPECT_EQ(WriteUserInt(L"Setup\\Links", L"Desktop", 1), ERROR_SUCCESS);
  EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, L"Capabilities", L"Name", L"V"), ERROR_SUCCESS);
  EXPECT_EQ(WriteSettingInt(HKEY_CURRENT_USER, L"", L"Big", 0xFFFFFFFFu), ERROR_SUCCESS);
  EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, L"", L"Big", 0), 0xFFFFFFFFu);
  EXPECT_TRUE(SettingsKeyExists(HKEY_CURRENT_USER, L"Setup"));
  EXPECT_FALSE(SettingsKeyExists(HKEY_CURRENT_USER, L"Set"));  // a prefix of a name is no key
  EXPECT_EQ(env_.Registry().Snapshot(), before);

  EXPECT_STREQ(IniFindValue(L"HKCU\\Setup\\Links\\Desktop"), L"1");
  EXPECT_STREQ(IniFindValue(L"HKLM\\Capabilities\\Name"), L"V");
  EXPECT_STREQ(IniFindValue(L"HKCU\\Big"), L"4294967295");

  // Absolute paths and class keys still reach the registry.
  EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, kAppPaths, L"", L"p"), ERROR_SUCCESS);
  EXPECT_EQ(WriteSettingString(HKEY_CLASSES_ROOT, L".vlx", L"", L"Vellox.vlx"), ERROR_SUCCESS);
  EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, kAppPaths + 1, L""), L"p");
  EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, L".vlx", L""), L"Vellox.vlx");
}

TEST_F(IniMode, DeletionsWorkOnNamesAndKeyPrefixes) {
  Load(
      L"HKCU\\Setup\\A=1\r\nHKCU\\Setup\\B=2\r\nHKCU\\Setup\\Links\\Desktop=1\r\n"
      L"HKCU\\SetupX\\A=1\r\nHKLM\\Setup\\A=1\r\n");
  DeleteUserValue(L"Setup", L"A");
  EXPECT_EQ(IniFindValue(L"HKCU\\Setup\\A"), nullptr);
  EXPECT_NE(IniFindValue(L"HKCU\\Setup\\B"), nullptr);
  // The empty value name takes the whole key, subkeys included, and nothing beside it.
  DeleteUserValue(L"Setup", L"");
  EXPECT_EQ(IniFindValue(L"HKCU\\Setup\\B"), nullptr);
  EXPECT_EQ(IniFindValue(L"HKCU\\Setup\\Links\\Desktop"), nullptr);
  EXPECT_NE(IniFindValue(L"HKCU\\SetupX\\A"), nullptr);
  DeleteSettingsTree(HKEY_CURRENT_USER, L"");
  EXPECT_EQ(IniFindValue(L"HKCU\\SetupX\\A"), nullptr);
  EXPECT_NE(IniFindValue(L"HKLM\\Setup\\A"), nullptr);
  EXPECT_NE(IniFindValue(L"Global\\Integration"), nullptr);
  DeleteSettingsKey(HKEY_LOCAL_MACHINE, L"Setup");
  EXPECT_EQ(IniFindValue(L"HKLM\\Setup\\A"), nullptr);
}

TEST_F(IniMode, IntegrationOffDropsEverythingTheFileDoesNotTake) {
  EXPECT_TRUE(IsIntegrationEnabled());  // before the first request
  RegWriteString(HKEY_CLASSES_ROOT, L".old", L"", L"Old");
  Load(L"Global\\Integration=0\r\n");
  EXPECT_FALSE(IsIntegrationEnabled());
  std::wstring before = env_.Registry().Snapshot();

  EXPECT_EQ(WriteSettingString(HKEY_CLASSES_ROOT, L".vlx", L"", L"Vellox.vlx"), ERROR_SUCCESS);
  EXPECT_EQ(WriteSettingInt(HKEY_LOCAL_MACHINE, kAppPaths, L"N", 1), ERROR_SUCCESS);
  wchar_t text[16];
  EXPECT_TRUE(ReadSettingString(HKEY_CLASSES_ROOT, L".old", L"", text, L"def", 16));
  EXPECT_STREQ(text, L"def");
  EXPECT_EQ(ReadSettingInt(HKEY_CLASSES_ROOT, L".old", L"", 4), 4u);
  EXPECT_FALSE(SettingsKeyExists(HKEY_CLASSES_ROOT, L".old"));
  DeleteSettingsTree(HKEY_CLASSES_ROOT, L".old");
  DeleteSettingValue(HKEY_CLASSES_ROOT, L".old", L"");
  EXPECT_EQ(env_.Registry().Snapshot(), before);

  // The file's own keys are still served.
  EXPECT_EQ(WriteUserInt(L"Setup", L"ShellExt", 0), ERROR_SUCCESS);
  EXPECT_EQ(ReadUserInt(L"Setup", L"ShellExt", 1), 0u);
}

TEST_F(IniMode, NoFileMeansTheRegistryForTheWholeProcess) {
  EXPECT_EQ(WriteUserInt(L"Setup", L"ShellExt", 0), ERROR_SUCCESS);
  EXPECT_FALSE(SettingsFileInUse());
  // A file that appears later is not searched for again.
  env_.Scratch().WriteFile(L"program\\Vellox.ini", Utf16Le(L"HKCU\\Setup\\ShellExt=5\r\n"));
  EXPECT_EQ(ReadUserInt(L"Setup", L"ShellExt", 1), 0u);
  EXPECT_FALSE(SaveSettingsFile());
  // Nor after the store is freed: the registry goes on serving.
  FreeSettingsFile();
  EXPECT_EQ(ReadUserInt(L"Setup", L"ShellExt", 1), 0u);
  EXPECT_FALSE(SettingsFileInUse());
}

}  // namespace
