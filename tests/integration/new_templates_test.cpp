#include "integration/new_templates.h"

#include <gtest/gtest.h>

#include <string>

#include "common/test_seams.h"
#include "common/win_handles.h"
#include "support/program_folder.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"

namespace {

// The standard CRC-32, bit by bit, independent of any table.
uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

uint32_t Le32(const uint8_t* p) {
  return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

std::string TemplateString(bool ownFormat) {
  uint8_t bytes[kOwnTemplateSize];
  const size_t size = CopyTemplateBytes(ownFormat, bytes);
  return std::string(reinterpret_cast<const char*>(bytes), size);
}

TEST(NewTemplateBytes, OwnFormatIsAnEmptyArchiveWithValidHeaderCrcs) {
  uint8_t bytes[kOwnTemplateSize];
  ASSERT_EQ(24u, CopyTemplateBytes(true, bytes));
  const uint8_t signature[8] = {0x56, 0x6C, 0x78, 0x21, 0x1A, 0x07, 0x01, 0x00};
  EXPECT_EQ(0, memcmp(signature, bytes, 8));
  EXPECT_EQ(Crc32(bytes + 12, 4), Le32(bytes + 8));
  EXPECT_EQ(Crc32(bytes + 20, 4), Le32(bytes + 16));
  EXPECT_EQ(Crc32(bytes + 12, 4), kOwnMainHeaderCrc);
  EXPECT_EQ(Crc32(bytes + 20, 4), kOwnEndHeaderCrc);
  const uint8_t headers[8] = {0x03, 0x01, 0x04, 0x00, 0x03, 0x05, 0x04, 0x00};
  EXPECT_EQ(0, memcmp(headers, bytes + 12, 4));
  EXPECT_EQ(0, memcmp(headers + 4, bytes + 20, 4));
  // The stored constant never holds the complete signature.
  EXPECT_EQ(0, kOwnTemplate[0]);
  EXPECT_EQ(0, memcmp(kOwnTemplate + 1, bytes + 1, kOwnTemplateSize - 1));
}

TEST(NewTemplateBytes, ZipIsAnEmptyEndOfCentralDirectory) {
  const std::string zip = TemplateString(false);
  ASSERT_EQ(22u, zip.size());
  EXPECT_EQ(std::string("PK\x05\x06", 4) + std::string(18, '\0'), zip);
  EXPECT_EQ(0, kZipTemplate[0]);
}

class NewTemplatesTest : public ::testing::Test {
 protected:
  std::string FileBytes(const wchar_t* name) {
    std::string bytes;
    if (!ReadWholeFile(scratch_.Join(name), bytes))
      return "<missing>";
    return bytes;
  }
  static void SetMenuItem(const wchar_t* name, DWORD value) {
    RegWriteDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\MenuItems", name, value);
  }
  static void SetBackup(const wchar_t* extension, const wchar_t* shellNew) {
    RegWriteString(HKEY_CURRENT_USER,
                   (std::wstring(L"Software\\Vellox\\Setup\\") + extension).c_str(), L"ShellNew",
                   shellNew);
  }
  RegistrySandbox sandbox_;
  ScratchFolder scratch_;
  ScopedProgramFolder program_{scratch_.Path()};
};

TEST_F(NewTemplatesTest, FlagFollowsShellIntegrationAndTheTwoMenuItems) {
  // Missing switches count as on.
  EXPECT_TRUE(NewTemplateFlag(true, true, false));
  EXPECT_TRUE(NewTemplateFlag(true, false, true));
  EXPECT_FALSE(NewTemplateFlag(false, true, false));
  SetMenuItem(L"NewVLX", 0);
  EXPECT_FALSE(NewTemplateFlag(true, true, false));
  EXPECT_TRUE(NewTemplateFlag(true, false, true));   // ZIP is not affected
  EXPECT_TRUE(NewTemplateFlag(true, false, false));  // nor any other extension
  SetMenuItem(L"NewZIP", 0);
  EXPECT_FALSE(NewTemplateFlag(true, false, true));
  SetMenuItem(L"NewVLX", 5);
  EXPECT_TRUE(NewTemplateFlag(true, true, false));  // read afresh on every call
}

TEST_F(NewTemplatesTest, InstallWritesTheTemplateAndReplacesTheEntry) {
  RegWriteString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile", L"");
  RegWriteString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"ItemName", L"x");
  InstallNewTemplate(L".zip", false);
  EXPECT_EQ(TemplateString(false), FileBytes(L"zipnew.dat"));
  EXPECT_EQ(scratch_.Join(L"zipnew.dat"),
            RegReadString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile"));
  // Values that no backup could give back belong to the other program and stay.
  EXPECT_EQ(L"x", RegReadString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"ItemName"));
  EXPECT_EQ("<missing>", FileBytes(L"vlxnew.dat"));

  InstallNewTemplate(L".vlx", true);
  EXPECT_EQ(TemplateString(true), FileBytes(L"vlxnew.dat"));
  EXPECT_EQ(scratch_.Join(L"vlxnew.dat"),
            RegReadString(HKEY_CLASSES_ROOT, L".vlx\\ShellNew", L"FileName"));
}

TEST_F(NewTemplatesTest, AFileOfTheRightSizeIsKeptAnyOtherIsReplaced) {
  const std::string mine(22, 'm');
  scratch_.WriteFile(L"zipnew.dat", mine);
  InstallNewTemplate(L".zip", false);
  EXPECT_EQ(mine, FileBytes(L"zipnew.dat"));

  scratch_.WriteFile(L"zipnew.dat", std::string(23, 'm'));
  InstallNewTemplate(L".zip", false);
  EXPECT_EQ(TemplateString(false), FileBytes(L"zipnew.dat"));

  scratch_.WriteFile(L"vlxnew.dat", std::string(22, 'm'));  // the ZIP size is wrong here
  InstallNewTemplate(L".vlx", true);
  EXPECT_EQ(TemplateString(true), FileBytes(L"vlxnew.dat"));
}

TEST_F(NewTemplatesTest, AnUnwritableTemplateStillGetsItsEntry) {
  const std::wstring missing = scratch_.Join(L"no such folder\\uninstall.exe");
  SetProgramPathForTesting(missing.c_str());
  InstallNewTemplate(L".vlx", true);
  EXPECT_EQ(scratch_.Join(L"no such folder\\vlxnew.dat"),
            RegReadString(HKEY_CLASSES_ROOT, L".vlx\\ShellNew", L"FileName"));
  EXPECT_FALSE(PathExists(scratch_.Join(L"no such folder")));
}

TEST_F(NewTemplatesTest, EntryIsReadAsFileNameStarOrEmpty) {
  wchar_t entry[2048];
  ReadShellNewEntry(L".zip", entry, 2048);
  EXPECT_STREQ(L"", entry);
  RegWriteString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile", L"");
  ReadShellNewEntry(L".zip", entry, 2048);
  EXPECT_STREQ(L"*", entry);
  RegWriteString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", L"");
  ReadShellNewEntry(L".zip", entry, 2048);
  EXPECT_STREQ(L"*", entry);  // an empty FileName does not count
  RegWriteString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", L"C:\\t\\empty.zip");
  ReadShellNewEntry(L".zip", entry, 2048);
  EXPECT_STREQ(L"C:\\t\\empty.zip", entry);
  // A NullFile with an unusual long text is still seen.
  RegWriteString(HKEY_CLASSES_ROOT, L".vlx\\ShellNew", L"NullFile", L"a text of more than ten");
  ReadShellNewEntry(L".vlx", entry, 2048);
  EXPECT_STREQ(L"*", entry);
}

TEST_F(NewTemplatesTest, RestoreWritesTheBackupBack) {
  InstallNewTemplate(L".zip", false);
  SetBackup(L".zip", L"*");
  RestoreNewTemplate(L".zip", false);
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
  EXPECT_EQ(L"", RegReadString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile"));

  InstallNewTemplate(L".zip", false);
  SetBackup(L".zip", L"D:\\Other\\blank.zip");
  RestoreNewTemplate(L".zip", false);
  EXPECT_EQ(L"D:\\Other\\blank.zip",
            RegReadString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile"));
}

TEST_F(NewTemplatesTest, RestoreWithoutAFormerEntryLeavesNoEmptyKey) {
  RegWriteString(HKEY_CLASSES_ROOT, L".vlx", nullptr, L"Vellox");
  InstallNewTemplate(L".vlx", true);
  SetBackup(L".vlx", L"");
  RestoreNewTemplate(L".vlx", false);
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".vlx\\ShellNew"));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L".vlx"));

  // Values that somebody else put there meanwhile keep the key.
  InstallNewTemplate(L".vlx", true);
  RegWriteString(HKEY_CLASSES_ROOT, L".vlx\\ShellNew", L"IconPath", L"x.ico");
  RestoreNewTemplate(L".vlx", false);
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".vlx\\ShellNew", L"FileName"));
  EXPECT_EQ(L"x.ico", RegReadString(HKEY_CLASSES_ROOT, L".vlx\\ShellNew", L"IconPath"));
}

// The lines of a registry snapshot that describe HKEY_CLASSES_ROOT\.zip and below.
std::wstring ZipClassLines(const std::wstring& snapshot) {
  const std::wstring prefix = L"HKLM\\Software\\Classes\\.zip\\";
  std::wstring lines;
  size_t start = 0;
  while (start < snapshot.size()) {
    size_t end = snapshot.find(L'\n', start);
    if (end == std::wstring::npos)
      end = snapshot.size();
    const std::wstring line = snapshot.substr(start, end - start);
    if (line.compare(0, prefix.size(), prefix) == 0)
      lines += line + L"\n";
    start = end + 1;
  }
  return lines;
}

TEST_F(NewTemplatesTest, AnotherProgramsNewEntryComesBackWhole) {
  // Another program's entry with values besides FileName/NullFile: a binary Data value and a
  // Command. Take it over with the backup the association code makes, then give it back.
  const wchar_t* shellNew = L".zip\\ShellNew";
  RegWriteString(HKEY_CLASSES_ROOT, shellNew, L"NullFile", L"");
  RegWriteString(HKEY_CLASSES_ROOT, shellNew, L"Command", L"other.exe /new \"%1\"");
  {
    UniqueHKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CLASSES_ROOT, shellNew, 0, KEY_SET_VALUE, key.put()));
    const BYTE data[3] = {0x50, 0x4B, 0x00};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.get(), L"Data", 0, REG_BINARY, data, 3));
  }
  const std::wstring before = ZipClassLines(sandbox_.Snapshot());
  wchar_t entry[2048];
  ReadShellNewEntry(L".zip", entry, 2048);
  SetBackup(L".zip", entry);

  InstallNewTemplate(L".zip", false);
  EXPECT_EQ(scratch_.Join(L"zipnew.dat"), RegReadString(HKEY_CLASSES_ROOT, shellNew, L"FileName"));
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, shellNew, L"NullFile"));
  EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, shellNew, L"Data"));

  InstallNewTemplate(L".zip", false);  // a second apply changes nothing of theirs
  RestoreNewTemplate(L".zip", false);
  EXPECT_EQ(before, ZipClassLines(sandbox_.Snapshot()));
}

TEST_F(NewTemplatesTest, RestoreOfAPreviouslyAbsentExtensionDeletesTheKey) {
  InstallNewTemplate(L".vlx", true);
  SetBackup(L".vlx", L"C:\\never\\used.vlx");
  RestoreNewTemplate(L".vlx", true);
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".vlx\\ShellNew"));
}

}  // namespace
