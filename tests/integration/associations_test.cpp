#include "integration/associations.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/test_seams.h"
#include "integration/new_templates.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "support/program_folder.h"
#include "support/registry_sandbox.h"
#include "support/change_recorder.h"
#include "support/scratch_folder.h"

namespace {

std::wstring Backup(const wchar_t* extension) {
  return std::wstring(L"Software\\Vellox\\Setup\\") + extension;
}

std::wstring Volume(int i) {
  wchar_t name[8];
  swprintf(name, 8, L".r%02d", i);
  return name;
}

class AssociationsTest : public ::testing::Test {
 protected:
  static std::wstring Default(const wchar_t* key) {
    return RegReadString(HKEY_CLASSES_ROOT, key, nullptr);
  }
  static std::wstring Default(const std::wstring& key) { return Default(key.c_str()); }

  RegistrySandbox sandbox_;
  ScratchFolder scratch_;
  ScopedProgramFolder program_{scratch_.Path()};
};

TEST_F(AssociationsTest, ClassKeysOpenTheArchiverBesideTheProgram) {
  ASSERT_TRUE(RegisterProgIds());
  const std::wstring archiver = scratch_.Join(L"Vellox.exe");
  const std::wstring command = L"\"" + archiver + L"\" \"%1\"";
  const struct {
    const wchar_t* Key;
    int Text;
    const wchar_t* Icon;
  } expected[] = {{L"Vellox", IDS_VELLOXARC, L",0"},
                  {L"Vellox.ZIP", IDS_VELLOXZIPARC, L",0"},
                  {L"Vellox.REV", IDS_VLXRECVOL, L",1"}};
  for (const auto& e : expected) {
    SCOPED_TRACE(e.Key);
    const std::wstring key = e.Key;
    EXPECT_EQ(MessageText(e.Text), Default(key));
    EXPECT_FALSE(Default(key).empty());
    EXPECT_EQ(command, Default(key + L"\\shell\\open\\command"));
    EXPECT_EQ(archiver + e.Icon, Default(key + L"\\DefaultIcon"));
  }
  EXPECT_EQ(L"Vellox.REV", Default(L".rev"));
}

TEST_F(AssociationsTest, AnIconSetByTheUserSurvives) {
  RegWriteString(HKEY_CLASSES_ROOT, L"Vellox\\DefaultIcon", nullptr, L"C:\\Icons\\mine.ico,3");
  ASSERT_TRUE(RegisterProgIds());
  ASSERT_TRUE(RegisterProgIds());
  EXPECT_EQ(L"C:\\Icons\\mine.ico,3", Default(L"Vellox\\DefaultIcon"));
  EXPECT_EQ(scratch_.Join(L"Vellox.exe,0"), Default(L"Vellox.ZIP\\DefaultIcon"));
}

TEST_F(AssociationsTest, DeniedClassesRootWritesNothing) {
  RegCreateReadOnlyKey(HKEY_CLASSES_ROOT, L"Vellox");
  EXPECT_FALSE(RegisterProgIds());
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"Vellox.ZIP"));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".rev"));
}

TEST_F(AssociationsTest, RevOfAnotherProgramIsBackedUpAndOnlyItsDefaultGivenBack) {
  RegWriteString(HKEY_CLASSES_ROOT, L".rev", nullptr, L"Other.Rev");
  RegWriteString(HKEY_CLASSES_ROOT, L".rev\\OpenWithProgids", L"Other.Rev", L"");
  RegWriteString(HKEY_CLASSES_ROOT, L".rev\\ShellNew", L"FileName", L"C:\\Other\\new.rev");
  ASSERT_TRUE(RegisterProgIds());
  EXPECT_EQ(L"Vellox.REV", Default(L".rev"));
  RegWriteString(HKEY_CLASSES_ROOT, L".rev", nullptr, L"vellox.rev");  // ours in any case
  ASSERT_TRUE(RegisterProgIds());  // a re-setup keeps the first backup
  EXPECT_EQ(L"Other.Rev", RegReadString(HKEY_CURRENT_USER, Backup(L".rev").c_str(), L"Type"));
  EXPECT_EQ(1u, RegReadDword(HKEY_CURRENT_USER, Backup(L".rev").c_str(), L"Exist"));

  ReleaseRevAssociation();
  EXPECT_EQ(L"Other.Rev", Default(L".rev"));
  EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, L".rev\\OpenWithProgids", L"Other.Rev"));
  EXPECT_EQ(L"C:\\Other\\new.rev",
            RegReadString(HKEY_CLASSES_ROOT, L".rev\\ShellNew", L"FileName"));
}

TEST_F(AssociationsTest, AnAbsentRevIsDeletedAgainButNeverAnotherProgramsSubkeys) {
  ASSERT_TRUE(RegisterProgIds());
  EXPECT_EQ(0u, RegReadDword(HKEY_CURRENT_USER, Backup(L".rev").c_str(), L"Exist"));
  ReleaseRevAssociation();
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".rev"));

  ASSERT_TRUE(RegisterProgIds());
  RegWriteString(HKEY_CLASSES_ROOT, L".rev\\OpenWithProgids", L"Other.Rev", L"");
  ReleaseRevAssociation();
  EXPECT_EQ(L"", Default(L".rev"));
  EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, L".rev\\OpenWithProgids", L"Other.Rev"));

  // Taken by an installation that kept no backup: the archiver's alone, so it goes.
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L".rev");
  RegDeleteTreeW(HKEY_CURRENT_USER, Backup(L".rev").c_str());
  RegWriteString(HKEY_CLASSES_ROOT, L".rev", nullptr, L"VELLOX.REV");
  ReleaseRevAssociation();
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".rev"));
}

TEST_F(AssociationsTest, ARevTakenMeanwhileIsLeftAlone) {
  ASSERT_TRUE(RegisterProgIds());
  RegWriteString(HKEY_CLASSES_ROOT, L".rev", nullptr, L"Newcomer.Rev");
  RegWriteString(HKEY_CLASSES_ROOT, L".rev\\ShellNew", L"NullFile", L"");
  ReleaseRevAssociation();
  EXPECT_EQ(L"Newcomer.Rev", Default(L".rev"));
  EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, L".rev\\ShellNew", L"NullFile"));
}

TEST_F(AssociationsTest, AssociationLinesSayWhatTheWritesAchieved) {
  ChangeRecorder changes;
  // No key before, and another program's subkey keeps it alive: given back naming no class.
  ASSERT_TRUE(RegisterProgIds());
  RegWriteString(HKEY_CLASSES_ROOT, L".rev\\OpenWithProgids", L"Other.Rev", L"");
  ReleaseRevAssociation();
  // A give-back that the locked key refuses: the extension still names the archiver.
  RegWriteString(HKEY_CLASSES_ROOT, L".iso", nullptr, L"Other.DiscImage");
  AssociateExtension(L".iso", kAssociate);
  RegCreateReadOnlyKey(HKEY_CLASSES_ROOT, L".iso");
  AssociateExtension(L".iso", kGiveBack);
  // A backup that cannot be written.
  RegCreateReadOnlyKey(HKEY_CURRENT_USER, Backup(L".tar").c_str());
  AssociateExtension(L".tar", kAssociate);
  std::vector<std::wstring> lines;
  for (const std::wstring& line : changes.Lines()) {
    if (line.rfind(L"association|", 0) == 0)
      lines.push_back(line);
  }
  EXPECT_EQ(lines, (std::vector<std::wstring>{
                       L"association|.rev|-|-|-|backup taken (no key before)",
                       L"association|.rev|-|Vellox.REV||given back",
                       L"association|.iso|-|Other.DiscImage|-|backup taken",
                       L"association|.iso|-|Vellox|Vellox|could not be given back",
                       L"association|.tar|-|-|-|backup could not be written",
                   }));
}

TEST_F(AssociationsTest, APreviouslyAbsentExtensionIsDeletedAgain) {
  AssociateExtension(L".7z", kAssociate | kShellIntegration);
  EXPECT_EQ(L"Vellox", Default(L".7z"));
  EXPECT_EQ(0u, RegReadDword(HKEY_CURRENT_USER, Backup(L".7z").c_str(), L"Exist"));
  EXPECT_EQ(L"", RegReadString(HKEY_CURRENT_USER, Backup(L".7z").c_str(), L"Type"));
  AssociateExtension(L".7z", kShellIntegration);
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".7z"));
}

TEST_F(AssociationsTest, AnotherOwnerIsRestoredExactlyAndTheFirstBackupKept) {
  RegWriteString(HKEY_CLASSES_ROOT, L".iso", nullptr, L"Other.DiscImage");
  AssociateExtension(L".iso", kAssociate | kShellIntegration);
  AssociateExtension(L".iso", kAssociate | kShellIntegration);  // already ours: no new backup
  EXPECT_EQ(L"Other.DiscImage", RegReadString(HKEY_CURRENT_USER, Backup(L".iso").c_str(), L"Type"));
  EXPECT_EQ(1u, RegReadDword(HKEY_CURRENT_USER, Backup(L".iso").c_str(), L"Exist"));
  AssociateExtension(L".iso", kShellIntegration);
  EXPECT_EQ(L"Other.DiscImage", Default(L".iso"));
  // Deselected again: no longer ours, so nothing changes.
  RegWriteString(HKEY_CURRENT_USER, Backup(L".iso").c_str(), L"Type", L"Stale");
  AssociateExtension(L".iso", kShellIntegration);
  EXPECT_EQ(L"Other.DiscImage", Default(L".iso"));
}

TEST_F(AssociationsTest, AnExtensionTakenMeanwhileIsLeftAlone) {
  AssociateExtension(L".zip", kAssociate | kShellIntegration | kZipFormat);
  RegWriteString(HKEY_CLASSES_ROOT, L".zip", nullptr, L"Newcomer.Zip");
  RegWriteString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", L"C:\\n\\new.zip");
  AssociateExtension(L".zip", kShellIntegration | kZipFormat);
  EXPECT_EQ(L"Newcomer.Zip", Default(L".zip"));
  EXPECT_EQ(L"C:\\n\\new.zip", RegReadString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
}

TEST_F(AssociationsTest, ABackupNamingTheArchiverIsReadAsEmpty) {
  RegWriteString(HKEY_CLASSES_ROOT, L".cab", nullptr, L"Vellox");
  RegWriteString(HKEY_CURRENT_USER, Backup(L".cab").c_str(), L"Type", L"vellox.zip");
  AssociateExtension(L".cab", kGiveBack);
  EXPECT_EQ(L"", Default(L".cab"));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L".cab"));  // "Exist" missing reads as 1
}

TEST_F(AssociationsTest, VolumeExtensionsAreTakenAndGivenBackWithTheOwnFormat) {
  RegWriteString(HKEY_CLASSES_ROOT, L".vlx", nullptr, L"Old.Archive");
  RegWriteString(HKEY_CLASSES_ROOT, L".r03", nullptr, L"Other.Volume");
  RegWriteString(HKEY_CLASSES_ROOT, L".r45", nullptr, L"Other.Volume");
  RegWriteString(HKEY_CLASSES_ROOT, L".r46", nullptr, L"Vellox");  // ours, never backed up
  AssociateExtension(L".vlx", kAssociate | kOwnFormat);
  for (int i = 0; i < 30; ++i)
    EXPECT_EQ(L"Vellox", Default(Volume(i))) << i;
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".r30"));
  EXPECT_EQ(L"Other.Volume", Default(L".r45"));

  AssociateExtension(L".vlx", kOwnFormat);
  EXPECT_EQ(L"Old.Archive", Default(L".vlx"));
  for (int i = 0; i < 30; ++i) {
    if (i == 3)
      continue;
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, Volume(i).c_str())) << i;
  }
  EXPECT_EQ(L"Other.Volume", Default(L".r03"));  // its own former owner
  EXPECT_EQ(L"Other.Volume", Default(L".r45"));  // never ours: untouched
  EXPECT_EQ(L"Old.Archive", Default(L".r46"));   // ours without a backup: the format's owner
}

TEST_F(AssociationsTest, VolumesWithoutBackupAreDeletedWhenTheFormatHadNoOwner) {
  for (int i : {0, 29, 30, 99})
    RegWriteString(HKEY_CLASSES_ROOT, Volume(i).c_str(), nullptr, L"VELLOX");
  RegWriteString(HKEY_CLASSES_ROOT, L".vlx", nullptr, L"Vellox");
  RegWriteDword(HKEY_CURRENT_USER, Backup(L".vlx").c_str(), L"Exist", 0);
  AssociateExtension(L".vlx", kShellIntegration | kOwnFormat);
  for (int i : {0, 29, 30, 99})
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, Volume(i).c_str())) << i;
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".vlx"));
}

TEST_F(AssociationsTest, ZipWithoutItsMenuItemKeepsItsFormerNewEntry) {
  RegWriteString(HKEY_CLASSES_ROOT, L".zip", nullptr, L"CompressedFolder");
  RegWriteString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile", L"");
  RegWriteDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\MenuItems", L"NewZIP", 0);
  AssociateExtension(L".zip", kAssociate | kShellIntegration | kZipFormat);
  EXPECT_EQ(L"Vellox.ZIP", Default(L".zip"));
  EXPECT_EQ(L"*", RegReadString(HKEY_CURRENT_USER, Backup(L".zip").c_str(), L"ShellNew"));
  EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile"));
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
  EXPECT_FALSE(PathExists(scratch_.Join(L"zipnew.dat")));

  // The item switched on: the template replaces the entry; off again: the entry comes back.
  RegWriteDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\MenuItems", L"NewZIP", 1);
  AssociateExtension(L".zip", kAssociate | kShellIntegration | kZipFormat);
  EXPECT_EQ(scratch_.Join(L"zipnew.dat"),
            RegReadString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile"));
  EXPECT_TRUE(PathExists(scratch_.Join(L"zipnew.dat")));
  AssociateExtension(L".zip", kAssociate | kZipFormat);
  EXPECT_TRUE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"NullFile"));
  EXPECT_FALSE(RegValueExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName"));
}

TEST_F(AssociationsTest, APreviouslyAbsentZipWithTemplateLeavesNoKey) {
  AssociateExtension(L".zip", kAssociate | kShellIntegration | kZipFormat);
  ASSERT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew"));
  AssociateExtension(L".zip", kZipFormat);
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".zip"));
}

TEST_F(AssociationsTest, OnlyTheOwnFormatAndZipEverGetATemplate) {
  RegWriteString(HKEY_CLASSES_ROOT, L".7z\\ShellNew", L"FileName", L"C:\\o\\x.7z");
  IntegrationOptions all;
  memset(&all, 1, sizeof(all));
  AssociateAll(all);
  EXPECT_EQ(L"C:\\o\\x.7z", RegReadString(HKEY_CLASSES_ROOT, L".7z\\ShellNew", L"FileName"));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".cab\\ShellNew"));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L".vlx\\ShellNew"));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L".zip\\ShellNew"));
}

TEST_F(AssociationsTest, AssociateAllCoversEveryExtensionOfEveryRow) {
  IntegrationOptions options;
  memset(&options, 0, sizeof(options));
  options.Associations[1] = 1;
  options.Associations[10] = 1;
  options.Associations[9] = 1;
  AssociateAll(options);
  EXPECT_EQ(L"Vellox.ZIP", Default(L".zip"));
  for (const wchar_t* e : {L".bz2", L".tbz2", L".bz", L".tbz", L".uue", L".xxe", L".uu"}) {
    EXPECT_EQ(L"Vellox", Default(e)) << e;
    EXPECT_EQ(0u, RegReadDword(HKEY_CURRENT_USER, Backup(e).c_str(), L"Exist")) << e;
  }
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".vlx"));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".r00"));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L".tlz"));

  memset(&options, 0, sizeof(options));
  AssociateAll(options);
  for (const wchar_t* e : {L".zip", L".bz2", L".tbz2", L".bz", L".tbz", L".uue", L".xxe", L".uu"}) {
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, e)) << e;
  }
}

TEST_F(AssociationsTest, AceIsGivenBackOnlyWhileItIsTheArchivers) {
  RegWriteString(HKEY_CLASSES_ROOT, L".ace", nullptr, L"Vellox");
  RegWriteString(HKEY_CLASSES_ROOT, L".ace\\ShellNew", L"FileName", L"C:\\t\\a.ace");
  RegWriteString(HKEY_CURRENT_USER, Backup(L".ace").c_str(), L"Type", L"Other.Ace");
  RegWriteString(HKEY_CURRENT_USER, Backup(L".ace").c_str(), L"ShellNew", L"");
  ReleaseAceAssociation();
  EXPECT_EQ(L"Other.Ace", Default(L".ace"));
  EXPECT_EQ(L"C:\\t\\a.ace", RegReadString(HKEY_CLASSES_ROOT, L".ace\\ShellNew", L"FileName"));
  RegWriteString(HKEY_CLASSES_ROOT, L".ace", nullptr, L"Third.Ace");
  ReleaseAceAssociation();
  EXPECT_EQ(L"Third.Ace", Default(L".ace"));
}

// Not a unit test: the end-to-end scenario of associations runs this in a throwaway Wine
// prefix, before the program's Setup mode can do it, to apply or give back ".zip" and ".vlx"
// in that prefix's real registry. VLX_E2E_ASSOCIATE is "apply" or "remove";
// VLX_E2E_PROGRAM_FOLDER is the installation folder the class keys must open the archiver in.
TEST(AssociationsEndToEnd, RealRegistry) {
  wchar_t mode[16];
  wchar_t folder[1024];
  if (GetEnvironmentVariableW(L"VLX_E2E_ASSOCIATE", mode, 16) == 0 ||
      GetEnvironmentVariableW(L"VLX_E2E_PROGRAM_FOLDER", folder, 1024) == 0) {
    GTEST_SKIP() << "only run by the end-to-end scenario";
  }
  SetProgramPathForTesting((std::wstring(folder) + L"\\uninstall.exe").c_str());
  const bool apply = std::wstring(mode) == L"apply";
  if (apply) {
    EXPECT_TRUE(RegisterProgIds());
  }
  AssociateExtension(L".vlx", (apply ? kAssociate : kGiveBack) | kShellIntegration | kOwnFormat);
  AssociateExtension(L".zip", (apply ? kAssociate : kGiveBack) | kShellIntegration | kZipFormat);
  EXPECT_EQ(apply, IsOwnAssociation(L".zip"));
  EXPECT_EQ(apply, IsOwnAssociation(L".vlx"));
  SetProgramPathForTesting(nullptr);
}

}  // namespace
