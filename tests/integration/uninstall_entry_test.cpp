#include "integration/uninstall_entry.h"

#include <gtest/gtest.h>

#include <string>

#include "common/string_util.h"
#include "common/test_seams.h"
#include "integration/scratch_install.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"

namespace {

constexpr wchar_t kEntry[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vellox archiver";

std::wstring Entry(const wchar_t* name) {
  return RegReadString(HKEY_LOCAL_MACHINE, kEntry, name);
}

TEST(AppendVersionText, AddsVersionAndBitnessBehindABlank) {
  const std::wstring bitness = MessageText(IDS_64BIT);
  ASSERT_FALSE(bitness.empty());
  wchar_t text[100] = L"Vellox";
  AppendVersionText(text, 100);
  EXPECT_EQ(L"Vellox 6.21 (" + bitness + L")", text);

  wchar_t empty[100] = L"";
  AppendVersionText(empty, 100);
  EXPECT_EQ(L"6.21 (" + bitness + L")", empty);
}

TEST(AppendVersionText, NeverWritesPastTheCapacity) {
  wchar_t text[16];
  wmemset(text, L'#', 16);
  CopyBounded(text, L"Vellox", 10);
  AppendVersionText(text, 10);
  EXPECT_EQ(std::wstring(L"Vellox 6."), text);  // cut at 9 characters and terminated
  for (int i = 10; i < 16; ++i)
    EXPECT_EQ(L'#', text[i]) << i;
}

class UninstallEntryTest : public testing::Test {
 protected:
  RegistrySandbox sandbox_;
  ScratchInstall install_;
};

TEST_F(UninstallEntryTest, WritesEveryValue) {
  WriteUninstallEntry();
  const std::wstring folder = install_.ProgramFolder() + L"\\";
  EXPECT_EQ(L"Vellox 6.21 (" + std::wstring(MessageText(IDS_64BIT)) + L")", Entry(L"DisplayName"));
  EXPECT_EQ(L"6.21.0", Entry(L"DisplayVersion"));
  EXPECT_EQ(6u, RegReadDword(HKEY_LOCAL_MACHINE, kEntry, L"VersionMajor"));
  EXPECT_EQ(21u, RegReadDword(HKEY_LOCAL_MACHINE, kEntry, L"VersionMinor"));
  EXPECT_EQ(L"\"" + folder + L"uninstall.exe\"", Entry(L"UninstallString"));
  EXPECT_EQ(L"\"" + folder + L"uninstall.exe\" /s", Entry(L"QuietUninstallString"));
  EXPECT_EQ(1u, RegReadDword(HKEY_LOCAL_MACHINE, kEntry, L"EstimatedSize"));  // eight bytes
  EXPECT_EQ(folder + L"Vellox.exe", Entry(L"DisplayIcon"));
  EXPECT_EQ(folder, Entry(L"InstallLocation"));
  EXPECT_EQ(1u, RegReadDword(HKEY_LOCAL_MACHINE, kEntry, L"NoModify"));
  EXPECT_EQ(1u, RegReadDword(HKEY_LOCAL_MACHINE, kEntry, L"NoRepair"));
  EXPECT_EQ(0u, RegReadDword(HKEY_LOCAL_MACHINE, kEntry, L"Language"));
  EXPECT_EQ(L"Tarsel GmbH", Entry(L"Publisher"));
}

// Unquoted, "C:\Apps Portable\Vellox\uninstall.exe" would start "C:\Apps.exe" when one exists.
TEST_F(UninstallEntryTest, CommandsQuoteAPathWithBlanks) {
  SetProgramPathForTesting(L"C:\\Apps Portable\\Vellox\\uninstall.exe");
  WriteUninstallEntry();
  EXPECT_EQ(L"\"C:\\Apps Portable\\Vellox\\uninstall.exe\"", Entry(L"UninstallString"));
  EXPECT_EQ(L"\"C:\\Apps Portable\\Vellox\\uninstall.exe\" /s", Entry(L"QuietUninstallString"));
  EXPECT_EQ(L"C:\\Apps Portable\\Vellox\\", Entry(L"InstallLocation"));
  EXPECT_EQ(L"C:\\Apps Portable\\Vellox\\Vellox.exe", Entry(L"DisplayIcon"));
}

TEST_F(UninstallEntryTest, EstimatedSizeIsEveryFileBelowTheFolderInKiBRoundedUp) {
  ScratchFolder folder;
  folder.WriteFile(L"uninstall.exe", std::string(1000, 'u'));
  folder.WriteFile(L"sub\\a.dat", std::string(2000, 'a'));
  folder.WriteFile(L"sub\\deep\\b.dat", std::string(1033, 'b'));
  folder.MakeFolder(L"empty");
  SetProgramPathForTesting(folder.Join(L"uninstall.exe").c_str());
  WriteUninstallEntry();
  // 4033 bytes: 4 KiB (3 when rounded down, 5 when each file were rounded on its own).
  EXPECT_EQ(4u, RegReadDword(HKEY_LOCAL_MACHINE, kEntry, L"EstimatedSize"));
}

TEST_F(UninstallEntryTest, DisplayIconIsKeptOnlyWhenItNamesAnExistingFile) {
  const std::wstring icon = install_.ProgramFile(L"custom.ico");
  install_.AddFile(L"custom.ico");
  RegWriteString(HKEY_LOCAL_MACHINE, kEntry, L"DisplayIcon", icon.c_str());
  WriteUninstallEntry();
  EXPECT_EQ(icon, Entry(L"DisplayIcon"));

  const std::wstring archiver = install_.ProgramFile(L"Vellox.exe");
  for (const std::wstring& stale :
       {install_.ProgramFile(L"deleted.ico"), icon + L",0", install_.ProgramFolder()}) {
    RegWriteString(HKEY_LOCAL_MACHINE, kEntry, L"DisplayIcon", stale.c_str());
    WriteUninstallEntry();
    EXPECT_EQ(archiver, Entry(L"DisplayIcon"));
  }
}

TEST_F(UninstallEntryTest, WithoutWriteAccessNothingIsWritten) {
  RegCreateReadOnlyKey(HKEY_LOCAL_MACHINE, kEntry);
  const std::wstring before = sandbox_.Snapshot();
  WriteUninstallEntry();
  EXPECT_EQ(before, sandbox_.Snapshot());
}

}  // namespace
