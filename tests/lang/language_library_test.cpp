#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/test_seams.h"
#include "lang/language_library.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"

namespace {

// The test library built beside the test program (tests/data/vlxlng).
std::wstring BuiltLanguageLibrary() {
  return TestProgramFolder() + L"\\vlxlng.dll";
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(path, bytes)) << "missing " << std::string(path.begin(), path.end());
  return bytes;
}

std::wstring Text(int id) {
  return MessageText(id);
}

// Each test pretends to be a program installed in its own scratch folder, so that the language
// library is looked for there.
class LanguageLibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    own_ = GetModuleHandleW(nullptr);
    program_ = scratch_.Join(L"uninstall.exe");
    SetProgramPathForTesting(program_.c_str());
    wchar_t english[256];
    ASSERT_GT(LoadStringW(own_, IDS_UNINSTALLVLX, english, 256), 0);
    ownUninstallTitle_ = english;
  }
  void TearDown() override {
    UnloadLanguageLibrary();  // the mapped file must go before the folder is deleted
    SetLanguageFolderSwitchForTesting(nullptr);
    SetProgramPathForTesting(nullptr);
  }

  ScratchFolder scratch_;
  HINSTANCE own_ = nullptr;
  std::wstring program_;
  std::wstring ownUninstallTitle_;
};

TEST_F(LanguageLibraryTest, LibraryBesideTheProgramBecomesTheResourceModule) {
  scratch_.WriteFile(L"vlxlng.dll", ReadBytes(BuiltLanguageLibrary()));
  LoadLanguageLibrary(own_);
  EXPECT_TRUE(LanguageLibraryLoaded());
  EXPECT_EQ(OwnInstance, own_);
  EXPECT_NE(ResourceModule, own_);
  // Translated texts come from the library, the rest from the program's own table.
  EXPECT_EQ(Text(IDS_UNINSTALLVLX), L"Vellox deinstallieren");
  EXPECT_NE(Text(IDS_UNINSTALLSHOULDDELETE).find(L"Bitte l\u00f6schen Sie %s"), std::wstring::npos);
  wchar_t english[1024];
  ASSERT_GT(LoadStringW(own_, IDS_CONTINUEUNINSTALL, english, 1024), 0);
  EXPECT_EQ(Text(IDS_CONTINUEUNINSTALL), english);
  // Dialog templates are taken from the library too.
  EXPECT_NE(FindResourceW(ResourceModule, L"SETUPDLG", RT_DIALOG), nullptr);
}

TEST_F(LanguageLibraryTest, UnloadingFallsBackToTheProgramsOwnTable) {
  scratch_.WriteFile(L"vlxlng.dll", ReadBytes(BuiltLanguageLibrary()));
  LoadLanguageLibrary(own_);
  ASSERT_TRUE(LanguageLibraryLoaded());
  UnloadLanguageLibrary();
  EXPECT_FALSE(LanguageLibraryLoaded());
  EXPECT_EQ(ResourceModule, own_);
  EXPECT_EQ(Text(IDS_UNINSTALLVLX), ownUninstallTitle_);
  // A second call has nothing to free.
  UnloadLanguageLibrary();
  EXPECT_EQ(ResourceModule, own_);
  // The library file is no longer in use: it can be deleted.
  EXPECT_TRUE(DeleteFileW(scratch_.Join(L"vlxlng.dll").c_str()));
}

TEST_F(LanguageLibraryTest, LoadingAgainReplacesTheFirstLibrary) {
  scratch_.WriteFile(L"vlxlng.dll", ReadBytes(BuiltLanguageLibrary()));
  LoadLanguageLibrary(own_);
  LoadLanguageLibrary(own_);
  EXPECT_TRUE(LanguageLibraryLoaded());
  EXPECT_EQ(Text(IDS_UNINSTALLVLX), L"Vellox deinstallieren");
  UnloadLanguageLibrary();
  // Only one mapping was left: after one unload the file is free.
  EXPECT_TRUE(DeleteFileW(scratch_.Join(L"vlxlng.dll").c_str()));
}

TEST_F(LanguageLibraryTest, MissingLibraryLeavesTheProgramAsResourceModule) {
  LoadLanguageLibrary(own_);
  EXPECT_FALSE(LanguageLibraryLoaded());
  EXPECT_EQ(ResourceModule, own_);
  EXPECT_EQ(OwnInstance, own_);
  EXPECT_EQ(Text(IDS_UNINSTALLVLX), ownUninstallTitle_);
}

TEST_F(LanguageLibraryTest, CorruptLibraryIsIgnored) {
  const std::string garbage[] = {
      std::string("MZ\x90\x00garbage", 11),
      std::string(4096, '\xCC'),
      std::string(),
  };
  for (const std::string& bytes : garbage) {
    scratch_.WriteFile(L"vlxlng.dll", bytes);
    LoadLanguageLibrary(own_);
    EXPECT_FALSE(LanguageLibraryLoaded()) << bytes.size() << " bytes";
    EXPECT_EQ(ResourceModule, own_);
    EXPECT_EQ(Text(IDS_UNINSTALLVLX), ownUninstallTitle_);
  }
}

TEST_F(LanguageLibraryTest, TruncatedLibraryGivesTheProgramsTexts) {
  // A library cut short inside its headers may still be mapped, but it has no texts to give.
  scratch_.WriteFile(L"vlxlng.dll", ReadBytes(BuiltLanguageLibrary()).substr(0, 700));
  LoadLanguageLibrary(own_);
  EXPECT_EQ(Text(IDS_UNINSTALLVLX), ownUninstallTitle_);
  EXPECT_EQ(Text(IDS_64BIT), L"64-bit");
  UnloadLanguageLibrary();
  EXPECT_EQ(ResourceModule, own_);
}

// --- Language-folder redirection ---

class LanguageFolderTest : public LanguageLibraryTest {
 protected:
  void SetLanguageFolder(const wchar_t* folder) {
    RegWriteString(HKEY_CURRENT_USER, L"Software\\Vellox\\General", L"LanguageFolder", folder);
  }
  std::wstring Apply(const std::wstring& path) {
    wchar_t dest[2048];
    ApplyLanguageFolder(path.c_str(), dest, 2048);
    return dest;
  }
  RegistrySandbox registry_;
};

TEST_F(LanguageFolderTest, SwitchAsDeliveredLeavesEveryPathUnchanged) {
  EXPECT_STREQ(LanguageFolderSwitch, L"LngFolder0");
  std::wstring lang = scratch_.MakeFolder(L"lang");
  scratch_.WriteFile(L"lang\\uninstall.lng", "x");
  SetLanguageFolder(lang.c_str());
  EXPECT_EQ(Apply(L"C:\\Program Files\\Vellox\\uninstall.lng"),
            L"C:\\Program Files\\Vellox\\uninstall.lng");
  EXPECT_EQ(Apply(L""), L"");
}

TEST_F(LanguageFolderTest, SwitchOnRedirectsToAnExistingFileInTheFolder) {
  SetLanguageFolderSwitchForTesting(L"LngFolder1");
  std::wstring lang = scratch_.MakeFolder(L"lang");
  scratch_.WriteFile(L"lang\\uninstall.lng", "x");
  SetLanguageFolder(lang.c_str());
  EXPECT_EQ(Apply(L"C:\\Program Files\\Vellox\\uninstall.lng"), lang + L"\\uninstall.lng");
  // A folder written with its trailing backslash gives the same path.
  SetLanguageFolder((lang + L"\\").c_str());
  EXPECT_EQ(Apply(L"C:\\Program Files\\Vellox\\uninstall.lng"), lang + L"\\uninstall.lng");
  // Files the folder lacks keep their own path.
  EXPECT_EQ(Apply(L"C:\\Program Files\\Vellox\\vellox.chm"),
            L"C:\\Program Files\\Vellox\\vellox.chm");
}

TEST_F(LanguageFolderTest, SwitchIsOnWheneverTheTextHoldsADigitOne) {
  std::wstring lang = scratch_.MakeFolder(L"lang");
  scratch_.WriteFile(L"lang\\x.lng", "x");
  SetLanguageFolder(lang.c_str());
  SetLanguageFolderSwitchForTesting(L"1");
  EXPECT_EQ(Apply(L"C:\\x.lng"), lang + L"\\x.lng");
  SetLanguageFolderSwitchForTesting(L"LngFolder2");
  EXPECT_EQ(Apply(L"C:\\x.lng"), L"C:\\x.lng");
}

TEST_F(LanguageFolderTest, EnvironmentReferencesAreExpanded) {
  SetLanguageFolderSwitchForTesting(L"LngFolder1");
  std::wstring lang = scratch_.MakeFolder(L"lang");
  scratch_.WriteFile(L"lang\\uninstall.lng", "x");
  ASSERT_TRUE(SetEnvironmentVariableW(L"VLXTESTLANG", scratch_.Path().c_str()));
  // REG_EXPAND_SZ or plain REG_SZ: the value's type is not looked at.
  SetLanguageFolder(L"%VLXTESTLANG%\\lang");
  EXPECT_EQ(Apply(L"D:\\uninstall.lng"), lang + L"\\uninstall.lng");
  (void)SetEnvironmentVariableW(L"VLXTESTLANG", nullptr);
}

TEST_F(LanguageFolderTest, MissingKeyValueOrFolderLeavesThePathUnchanged) {
  SetLanguageFolderSwitchForTesting(L"LngFolder1");
  EXPECT_EQ(Apply(L"C:\\a\\uninstall.lng"), L"C:\\a\\uninstall.lng");  // no key
  RegWriteString(HKEY_CURRENT_USER, L"Software\\Vellox\\General", L"Other", L"x");
  EXPECT_EQ(Apply(L"C:\\a\\uninstall.lng"), L"C:\\a\\uninstall.lng");  // no value
  SetLanguageFolder(scratch_.Join(L"nowhere").c_str());
  EXPECT_EQ(Apply(L"C:\\a\\uninstall.lng"), L"C:\\a\\uninstall.lng");  // no such folder
}

TEST_F(LanguageFolderTest, EmptyFolderValueNeverPointsIntoTheCurrentFolder) {
  SetLanguageFolderSwitchForTesting(L"LngFolder1");
  scratch_.WriteFile(L"uninstall.lng", "x");
  wchar_t previous[2048];
  ASSERT_GT(GetCurrentDirectoryW(2048, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(scratch_.Path().c_str()));
  SetLanguageFolder(L"");
  std::wstring result = Apply(L"C:\\a\\uninstall.lng");
  (void)SetCurrentDirectoryW(previous);
  EXPECT_EQ(result, L"C:\\a\\uninstall.lng");
}

TEST_F(LanguageFolderTest, ValueTooLongForThePathIsIgnored) {
  SetLanguageFolderSwitchForTesting(L"LngFolder1");
  std::wstring path = L"C:\\" + std::wstring(2000, L'p') + L"\\uninstall.lng";
  SetLanguageFolder((L"C:\\" + std::wstring(100, L'f')).c_str());
  EXPECT_EQ(Apply(path), path);
  // A path that fills the whole buffer is handled too.
  std::wstring full(2047, L'q');
  EXPECT_EQ(Apply(full), full);
}

TEST_F(LanguageFolderTest, WorksInPlaceAndCutsToTheDestination) {
  SetLanguageFolderSwitchForTesting(L"LngFolder1");
  std::wstring lang = scratch_.MakeFolder(L"lang");
  scratch_.WriteFile(L"lang\\uninstall.lng", "x");
  SetLanguageFolder(lang.c_str());
  wchar_t buffer[2048] = L"C:\\Program Files\\Vellox\\uninstall.lng";
  ApplyLanguageFolder(buffer, buffer, 2048);
  EXPECT_EQ(std::wstring(buffer), lang + L"\\uninstall.lng");

  wchar_t small[8];
  ApplyLanguageFolder(L"C:\\Program Files\\Vellox\\uninstall.lng", small, 8);
  EXPECT_EQ(std::wstring(small), (lang + L"\\uninstall.lng").substr(0, 7));
}

TEST_F(LanguageFolderTest, LibraryIsLoadedFromTheLanguageFolder) {
  SetLanguageFolderSwitchForTesting(L"LngFolder1");
  std::wstring lang = scratch_.MakeFolder(L"lang");
  scratch_.WriteFile(L"lang\\vlxlng.dll", ReadBytes(BuiltLanguageLibrary()));
  SetLanguageFolder(lang.c_str());
  LoadLanguageLibrary(own_);
  EXPECT_TRUE(LanguageLibraryLoaded());
  EXPECT_EQ(Text(IDS_UNINSTALLVLX), L"Vellox deinstallieren");
}

}  // namespace
