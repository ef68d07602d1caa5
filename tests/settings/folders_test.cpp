#include "settings/folders.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/settings_store.h"
#include "settings_test_env.h"
#include "support/scoped_environment.h"
#include "support/utf16_bytes.h"

namespace {

class FoldersTest : public ::testing::Test {
 protected:
  std::wstring DataFolder() {
    wchar_t out[2048];
    GetDataFolder(out, 2048);
    return out;
  }
  std::wstring TempFolder() {
    wchar_t out[2048];
    GetTempFolder(out, 2048);
    return out;
  }
  std::wstring SystemTemp() {
    wchar_t out[2048];
    GetTempPathW(2048, out);
    return out;
  }
  SettingsEnvironment env_;
};

TEST_F(FoldersTest, TheApplicationDataFolderCountsOnlyWhenItExists) {
  wchar_t out[2048];
  EXPECT_FALSE(GetAppDataVelloxFolder(out, 2048));
  EXPECT_EQ(std::wstring(out), env_.AppDataFolder() + L"\\Vellox");
  std::wstring made = env_.Scratch().MakeFolder(L"appdata\\Vellox");
  EXPECT_TRUE(GetAppDataVelloxFolder(out, 2048));
  EXPECT_EQ(std::wstring(out), made);
  // A short buffer is never overrun.
  wchar_t small[8];
  wmemset(small, L'X', 8);
  EXPECT_FALSE(GetAppDataVelloxFolder(small, 4));
  EXPECT_EQ(wcslen(small), 3u);
  EXPECT_EQ(small[4], L'X');
}

TEST_F(FoldersTest, TheDataFolderFallsBackStepByStep) {
  // Nothing configured and no application-data folder: the program's own folder.
  EXPECT_EQ(DataFolder(), env_.ProgramFolder());
  // A configured folder that does not exist is skipped for the application-data folder.
  RegWriteString(HKEY_CURRENT_USER, L"Software\\Vellox\\Paths", L"AppData",
                 (env_.Scratch().Path() + L"\\missing").c_str());
  std::wstring vellox = env_.Scratch().MakeFolder(L"appdata\\Vellox");
  EXPECT_EQ(DataFolder(), vellox);
  // An existing one is used as stored, trailing backslash and all.
  std::wstring data = env_.Scratch().MakeFolder(L"data") + L"\\";
  RegWriteString(HKEY_CURRENT_USER, L"Software\\Vellox\\Paths", L"AppData", data.c_str());
  EXPECT_EQ(DataFolder(), data);
}

TEST_F(FoldersTest, TheDataFolderIsReadFromTheRegistryEvenWithASettingsFile) {
  std::wstring data = env_.Scratch().MakeFolder(L"data");
  std::wstring other = env_.Scratch().MakeFolder(L"other");
  env_.WriteIni(Utf16Le(L"HKCU\\Paths\\AppData=\"" + other + L"\"\r\n"));
  EXPECT_EQ(ReadUserInt(L"Paths", L"Any", 0), 0u);  // the file is in use
  RegWriteString(HKEY_CURRENT_USER, L"Software\\Vellox\\Paths", L"AppData", data.c_str());
  EXPECT_EQ(DataFolder(), data);
}

TEST_F(FoldersTest, TheTempFolderExpandsVariablesAndFallsBackToTheSystems) {
  EXPECT_EQ(TempFolder(), SystemTemp());
  std::wstring temp = env_.Scratch().MakeFolder(L"tmp");
  {
    const ScopedEnvironment root(L"VLX_TEST_ROOT", env_.Scratch().Path());
    (void)WriteUserString(L"Paths", L"TempFolder", L"%VLX_TEST_ROOT%\\tmp");
    EXPECT_EQ(TempFolder(), temp + L"\\");
    (void)WriteUserString(L"Paths", L"TempFolder", L"%VLX_TEST_ROOT%\\none");
    EXPECT_EQ(TempFolder(), SystemTemp());
  }
  // A folder given with its backslash keeps just the one.
  (void)WriteUserString(L"Paths", L"TempFolder", (temp + L"\\").c_str());
  EXPECT_EQ(TempFolder(), temp + L"\\");
}

TEST_F(FoldersTest, TheTempFolderSettingComesFromTheSettingsFileWhenOneIsInUse) {
  std::wstring temp = env_.Scratch().MakeFolder(L"inifolder");
  env_.WriteIni(Utf16Le(L"HKCU\\Paths\\TempFolder=\"" + temp + L"\"\r\n"));
  EXPECT_EQ(TempFolder(), temp + L"\\");
}

}  // namespace
