#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/sfx_settings.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"

namespace {

// The data folder is pointed at a scratch folder through the "AppData" path setting; the
// installer archive lies in another; the current folder is a third.
class CopyFromSfxFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    data_ = scratch_.MakeFolder(L"data");
    archiveFolder_ = scratch_.MakeFolder(L"archive");
    current_ = scratch_.MakeFolder(L"current");
    RegWriteString(HKEY_CURRENT_USER, L"Software\\Vellox\\Paths", L"AppData", data_.c_str());
    ASSERT_GT(GetCurrentDirectoryW(2048, previous_), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(current_.c_str()));
    (void)SetEnvironmentVariableW(L"sfxname", nullptr);
  }
  void TearDown() override {
    (void)SetCurrentDirectoryW(previous_);
    (void)SetEnvironmentVariableW(L"sfxname", nullptr);
  }
  void SetArchive() {
    ASSERT_TRUE(
        SetEnvironmentVariableW(L"sfxname", (archiveFolder_ + L"\\vellox-6.21.exe").c_str()));
  }
  std::string Read(const std::wstring& path) {
    std::string bytes;
    return ReadWholeFile(path, bytes) ? bytes : "<missing>";
  }

  RegistrySandbox registry_;
  ScratchFolder scratch_;
  std::wstring data_;
  std::wstring archiveFolder_;
  std::wstring current_;
  wchar_t previous_[2048] = {};
};

TEST_F(CopyFromSfxFolderTest, CopiesTheFileBesideTheArchiveIntoTheCurrentFolder) {
  SetArchive();
  scratch_.WriteFile(L"archive\\vellox.ini", "[Vellox]\r\nSaveSettings=1\r\n");
  EXPECT_TRUE(CopyFromSfxFolder(L"vellox.ini"));
  EXPECT_EQ(Read(current_ + L"\\vellox.ini"), "[Vellox]\r\nSaveSettings=1\r\n");
}

TEST_F(CopyFromSfxFolderTest, ExistingSettingsFileInTheDataFolderIsKept) {
  SetArchive();
  scratch_.WriteFile(L"archive\\vellox.ini", "new");
  scratch_.WriteFile(L"data\\vellox.ini", "old");
  EXPECT_TRUE(CopyFromSfxFolder(L"vellox.ini"));
  EXPECT_EQ(Read(data_ + L"\\vellox.ini"), "old");
  EXPECT_FALSE(PathExists(current_ + L"\\vellox.ini"));
}

TEST_F(CopyFromSfxFolderTest, FileAlreadyInTheCurrentFolderIsNotOverwritten) {
  SetArchive();
  scratch_.WriteFile(L"archive\\vellox.ini", "new");
  scratch_.WriteFile(L"current\\vellox.ini", "mine");
  EXPECT_TRUE(CopyFromSfxFolder(L"vellox.ini"));
  EXPECT_EQ(Read(current_ + L"\\vellox.ini"), "mine");
}

TEST_F(CopyFromSfxFolderTest, NoArchiveMeansNothingToDo) {
  EXPECT_TRUE(CopyFromSfxFolder(L"vellox.ini"));  // "sfxname" missing
  ASSERT_TRUE(SetEnvironmentVariableW(L"sfxname", L""));
  EXPECT_TRUE(CopyFromSfxFolder(L"vellox.ini"));  // "sfxname" empty
  EXPECT_FALSE(PathExists(current_ + L"\\vellox.ini"));
}

TEST_F(CopyFromSfxFolderTest, NoFileBesideTheArchiveIsReported) {
  SetArchive();
  EXPECT_FALSE(CopyFromSfxFolder(L"vellox.ini"));
  EXPECT_FALSE(PathExists(current_ + L"\\vellox.ini"));
}

TEST_F(CopyFromSfxFolderTest, OverlongArchivePathIsTreatedAsMissing) {
  std::wstring huge = L"C:\\" + std::wstring(5000, L'a') + L"\\setup.exe";
  ASSERT_TRUE(SetEnvironmentVariableW(L"sfxname", huge.c_str()));
  EXPECT_TRUE(CopyFromSfxFolder(L"vellox.ini"));
  EXPECT_FALSE(PathExists(current_ + L"\\vellox.ini"));
}

}  // namespace
