#include "integration/apply_integration.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "common/setup_flags.h"
#include "common/test_seams.h"
#include "integration/scratch_install.h"
#include "integration/uninstall_entry.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "support/registry_sandbox.h"

namespace {

constexpr wchar_t kAppPaths[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Vellox.exe";
constexpr wchar_t kEntry[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vellox archiver";
constexpr wchar_t kClsid32[] = L"CLSID\\{7A2C90E1-3D55-4B35-8D1F-3C6E2B905A77}";

IntegrationOptions Everything() {
  IntegrationOptions options = {};
  for (int row = 0; row < kAssociationRows; ++row)
    options.Associations[row] = 1;
  options.Desktop = options.StartMenu = options.Programs = 1;
  options.ShellExt = options.CascadedMenu = options.MenuIcons = options.LegacyMenu = 1;
  return options;
}

// The 32-bit class keys escape the registry sandbox under Wine (see the shell extension tests);
// they are checked and cleaned through the 32-bit view.
void DeleteClassKeys32() {
  RegDeleteKeyExW(HKEY_CLASSES_ROOT, (std::wstring(kClsid32) + L"\\InProcServer32").c_str(),
                  KEY_WOW64_32KEY, 0);
  RegDeleteKeyExW(HKEY_CLASSES_ROOT, kClsid32, KEY_WOW64_32KEY, 0);
}

// Keys that exist on every Windows: the integration adds to them and must leave them standing.
void CreateSystemKeys() {
  for (const wchar_t* key :
       {L"CLSID", L"exefile\\shellex\\PropertySheetHandlers", L"Folder\\shellex\\DragDropHandlers",
        L"Drive\\shellex\\DragDropHandlers", L"*\\shellex\\ContextMenuHandlers",
        L"Folder\\shellex\\ContextMenuHandlers", L"lnkfile\\shellex\\ContextMenuHandlers"}) {
    RegWriteString(HKEY_CLASSES_ROOT, key, L"SystemMarker", L"1");
  }
  for (const wchar_t* key :
       {L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
        L"Software\\RegisteredApplications"}) {
    RegWriteString(HKEY_LOCAL_MACHINE, key, L"SystemMarker", L"1");
  }
  RegWriteString(HKEY_CURRENT_USER, L"Software", L"SystemMarker", L"1");
  // Another program's archive type, which the archiver takes over and must give back.
  RegWriteString(HKEY_CLASSES_ROOT, L".7z", L"", L"Other.7z");
  RegWriteString(HKEY_CLASSES_ROOT, L".zip", L"", L"CompressedFolder");
  RegWriteString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName",
                 L"C:\\Windows\\ShellNew\\zip.zip");
  // Recovery volumes of another program, with keys of its own below the extension.
  RegWriteString(HKEY_CLASSES_ROOT, L".rev", L"", L"Other.Rev");
  RegWriteString(HKEY_CLASSES_ROOT, L".rev\\OpenWithProgids", L"Other.Rev", L"");
  RegWriteString(HKEY_CLASSES_ROOT, L".rev\\ShellNew", L"NullFile", L"");
}

class ApplyIntegrationTest : public testing::Test {
 protected:
  ApplyIntegrationTest() {
    SetupFlags.Msi = false;
    DeleteClassKeys32();
    CreateSystemKeys();
  }
  ~ApplyIntegrationTest() override {
    SetupFlags.Msi = false;
    DeleteClassKeys32();
  }
  std::wstring CommonGroup() const { return install_.Folder(CSIDL_COMMON_PROGRAMS) + L"\\Vellox"; }

  RegistrySandbox sandbox_;
  ScratchInstall install_;
};

TEST_F(ApplyIntegrationTest, AppliesEverythingAndRemovesItAgain) {
  const std::wstring registryBefore = sandbox_.Snapshot();
  const auto foldersBefore = install_.FolderSnapshot();

  wchar_t group[2048] = L"";
  ASSERT_EQ(ApplyIntegration(Everything(), group, 2048), IntegrationResult::Applied);
  WriteUninstallEntry();

  const std::wstring archiver = install_.ProgramFile(L"Vellox.exe");
  EXPECT_EQ(archiver, RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L""));
  EXPECT_EQ(install_.ProgramFolder(), RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L"Path"));
  EXPECT_EQ(archiver, RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Vellox", L"exe64"));
  EXPECT_EQ(archiver + L",0", RegReadString(HKEY_CLASSES_ROOT, L"Vellox\\DefaultIcon", L""));
  EXPECT_EQ(L"Vellox.ZIP", RegReadString(HKEY_CLASSES_ROOT, L".zip", L""));
  EXPECT_EQ(L"Vellox", RegReadString(HKEY_CLASSES_ROOT, L".7z", L""));
  EXPECT_EQ(L"Vellox", RegReadString(HKEY_CLASSES_ROOT, L".tbz", L""));
  EXPECT_EQ(L"Vellox.REV", RegReadString(HKEY_CLASSES_ROOT, L".rev", L""));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"CLSID\\{7A2C90E1-3D54-4B35-8D1F-3C6E2B905A77}"));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, kClsid32, KEY_WOW64_32KEY));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\Vellox"));
  EXPECT_EQ(L"Vellox.ZIP",
            RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Vellox\\Capabilities\\FileAssociations",
                          L".zip"));
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kEntry));

  EXPECT_TRUE(PathExists(install_.Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Vellox.lnk"));
  EXPECT_TRUE(PathExists(install_.Folder(CSIDL_COMMON_STARTMENU) + L"\\Vellox.lnk"));
  for (const std::wstring& folder :
       {install_.Folder(CSIDL_PROGRAMS) + L"\\Vellox", CommonGroup()}) {
    EXPECT_TRUE(PathExists(folder + L"\\Vellox.lnk"));
    EXPECT_TRUE(PathExists(folder + L"\\" + MessageText(IDS_VELLOXHELP) + L".lnk"));
    EXPECT_TRUE(PathExists(folder + L"\\" + MessageText(IDS_VLXHELP) + L".lnk"));
    EXPECT_TRUE(PathExists(folder + L"\\" + MessageText(IDS_WHATSNEW) + L".lnk"));
  }
  EXPECT_EQ(CommonGroup(), group);

  RemoveIntegration();
  EXPECT_EQ(registryBefore, sandbox_.Snapshot());
  EXPECT_EQ(foldersBefore, install_.FolderSnapshot());
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, kClsid32, KEY_WOW64_32KEY));
}

TEST_F(ApplyIntegrationTest, RemoveForAnInstallerPackageKeepsItsEntryAndAppPaths) {
  const std::wstring before = sandbox_.Snapshot();
  ASSERT_EQ(ApplyIntegration(Everything(), nullptr, 0), IntegrationResult::Applied);
  WriteUninstallEntry();
  SetupFlags.Msi = true;
  RemoveIntegration();
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kEntry));
  EXPECT_EQ(install_.ProgramFile(L"Vellox.exe"), RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L""));
  // Nothing else is left.
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kEntry);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAppPaths);
  EXPECT_EQ(before, sandbox_.Snapshot());
}

TEST_F(ApplyIntegrationTest, WithoutAccessToAppPathsNothingIsWritten) {
  RegCreateReadOnlyKey(HKEY_LOCAL_MACHINE, kAppPaths);
  const std::wstring registryBefore = sandbox_.Snapshot();
  const auto foldersBefore = install_.FolderSnapshot();
  wchar_t group[2048] = L"untouched";
  EXPECT_EQ(ApplyIntegration(Everything(), group, 2048), IntegrationResult::Denied);
  EXPECT_EQ(registryBefore, sandbox_.Snapshot());
  EXPECT_EQ(foldersBefore, install_.FolderSnapshot());
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, kClsid32, KEY_WOW64_32KEY));
  EXPECT_STREQ(L"untouched", group);
}

TEST_F(ApplyIntegrationTest, RemoveWhereNothingWasAppliedChangesNothing) {
  const std::wstring before = sandbox_.Snapshot();
  const auto foldersBefore = install_.FolderSnapshot();
  RemoveIntegration();
  EXPECT_EQ(before, sandbox_.Snapshot());
  EXPECT_EQ(foldersBefore, install_.FolderSnapshot());
}

TEST_F(ApplyIntegrationTest, AppPathsNameTheArchiverBesideTheProgram) {
  SetProgramPathForTesting(L"C:\\Tools\\uninstall.exe");  // no Vellox.exe there: named anyway
  ASSERT_TRUE(RegisterAppPaths());
  EXPECT_EQ(L"C:\\Tools\\Vellox.exe", RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L""));
  EXPECT_EQ(L"C:\\Tools", RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L"Path"));
  EXPECT_EQ(L"C:\\Tools\\Vellox.exe",
            RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L"", KEY_WOW64_32KEY));

  SetProgramPathForTesting(L"C:\\uninstall.exe");
  ASSERT_TRUE(RegisterAppPaths());
  EXPECT_EQ(L"C:\\Vellox.exe", RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L""));
  EXPECT_EQ(L"C:\\", RegReadString(HKEY_LOCAL_MACHINE, kAppPaths, L"Path"));
  EXPECT_EQ(L"C:\\Vellox.exe", RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Vellox", L"exe64"));
}

}  // namespace
