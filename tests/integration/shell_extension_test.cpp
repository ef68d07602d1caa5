#include "integration/shell_extension.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/scratch_install.h"
#include "settings/settings_store.h"
#include "support/registry_sandbox.h"

namespace {

constexpr wchar_t kClsid64[] = L"{7A2C90E1-3D54-4B35-8D1F-3C6E2B905A77}";
constexpr wchar_t kClsid32[] = L"{7A2C90E1-3D55-4B35-8D1F-3C6E2B905A77}";
constexpr wchar_t kApproved[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Wine gives the 32-bit view of HKEY_CLASSES_ROOT its own predefined handle, which the registry
// sandbox cannot redirect: 32-bit class keys land in the test prefix's real registry. Tests
// read them back through the same view and leave none behind.
void DeleteClassKeys32() {
  for (const wchar_t* id : {kClsid32, kClsid64}) {
    std::wstring key = std::wstring(L"CLSID\\") + id;
    RegDeleteKeyExW(HKEY_CLASSES_ROOT, (key + L"\\InProcServer32").c_str(), KEY_WOW64_32KEY, 0);
    RegDeleteKeyExW(HKEY_CLASSES_ROOT, key.c_str(), KEY_WOW64_32KEY, 0);
  }
}

std::wstring Clsid(const wchar_t* id) {
  return std::wstring(L"CLSID\\") + id;
}

IntegrationOptions Options(bool shellExt, bool legacyMenu = false) {
  IntegrationOptions options = {};
  options.ShellExt = shellExt ? 1 : 0;
  options.LegacyMenu = legacyMenu ? 1 : 0;
  return options;
}

// The five classic context-menu handler keys of one variant.
std::vector<std::wstring> ContextMenuKeys(const wchar_t* id, const wchar_t* handler) {
  return {std::wstring(L"Vellox\\shellex\\ContextMenuHandlers\\") + id,
          std::wstring(L"Vellox.ZIP\\shellex\\ContextMenuHandlers\\") + id,
          std::wstring(L"*\\shellex\\ContextMenuHandlers\\") + handler,
          std::wstring(L"Folder\\shellex\\ContextMenuHandlers\\") + handler,
          std::wstring(L"lnkfile\\shellex\\ContextMenuHandlers\\") + handler};
}

// Keys that exist on every Windows and that the registration only adds to.
void CreateSystemKeys() {
  for (const wchar_t* key :
       {L"CLSID", L"exefile\\shellex\\PropertySheetHandlers", L"Folder\\shellex\\DragDropHandlers",
        L"Drive\\shellex\\DragDropHandlers", L"*\\shellex\\ContextMenuHandlers",
        L"Folder\\shellex\\ContextMenuHandlers", L"lnkfile\\shellex\\ContextMenuHandlers"}) {
    RegWriteString(HKEY_CLASSES_ROOT, key, L"SystemMarker", L"1");
  }
  RegWriteString(HKEY_LOCAL_MACHINE, kApproved, L"{00000000-0000-0000-0000-000000000001}",
                 L"other");
  RegWriteString(HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications", L"Other", L"x");
}

class ShellExtensionTest : public testing::Test {
 protected:
  ShellExtensionTest() {
    DeleteClassKeys32();
    CreateSystemKeys();
  }
  ~ShellExtensionTest() override { DeleteClassKeys32(); }

  RegistrySandbox sandbox_;
  ScratchInstall install_;
};

TEST_F(ShellExtensionTest, RegistersBothVariantsWithEveryKeyOfTheTable) {
  RegisterShellExtensions(ShellExtensionAction::Register, Options(true));

  const std::wstring dll64 = install_.ProgramFile(L"vlxext.dll");
  const std::wstring dll32 = install_.ProgramFile(L"vlxext32.dll");
  EXPECT_EQ(L"Vellox", RegReadString(HKEY_CLASSES_ROOT, Clsid(kClsid64).c_str(), L""));
  EXPECT_EQ(dll64,
            RegReadString(HKEY_CLASSES_ROOT, (Clsid(kClsid64) + L"\\InProcServer32").c_str(), L""));
  EXPECT_EQ(L"Apartment",
            RegReadString(HKEY_CLASSES_ROOT, (Clsid(kClsid64) + L"\\InProcServer32").c_str(),
                          L"ThreadingModel"));
  // The 32-bit class lives only in the 32-bit view.
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kClsid32).c_str()));
  EXPECT_EQ(L"Vellox",
            RegReadString(HKEY_CLASSES_ROOT, Clsid(kClsid32).c_str(), L"", KEY_WOW64_32KEY));
  EXPECT_EQ(dll32, RegReadString(HKEY_CLASSES_ROOT, (Clsid(kClsid32) + L"\\InProcServer32").c_str(),
                                 L"", KEY_WOW64_32KEY));
  EXPECT_EQ(L"Apartment",
            RegReadString(HKEY_CLASSES_ROOT, (Clsid(kClsid32) + L"\\InProcServer32").c_str(),
                          L"ThreadingModel", KEY_WOW64_32KEY));

  struct Variant {
    const wchar_t* Id;
    const wchar_t* Handler;
  };
  for (Variant v : {Variant{kClsid32, L"Vellox32"}, Variant{kClsid64, L"Vellox"}}) {
    SCOPED_TRACE(testing::Message()
                 << "handler " << std::string(v.Handler, v.Handler + wcslen(v.Handler)));
    const std::wstring id = v.Id;
    for (const wchar_t* cls : {L"Vellox", L"Vellox.ZIP", L"exefile"}) {
      EXPECT_EQ(L"",
                RegReadString(
                    HKEY_CLASSES_ROOT,
                    (std::wstring(cls) + L"\\shellex\\PropertySheetHandlers\\" + id).c_str(), L""));
    }
    for (const wchar_t* cls : {L"Folder", L"Drive"}) {
      EXPECT_EQ(
          id, RegReadString(
                  HKEY_CLASSES_ROOT,
                  (std::wstring(cls) + L"\\shellex\\DragDropHandlers\\" + v.Handler).c_str(), L""));
    }
    EXPECT_EQ(L"Vellox shell extension", RegReadString(HKEY_LOCAL_MACHINE, kApproved, v.Id));
    // Not the new shell: the classic context-menu handlers are there.
    auto keys = ContextMenuKeys(v.Id, v.Handler);
    EXPECT_EQ(L"", RegReadString(HKEY_CLASSES_ROOT, keys[0].c_str(), L""));
    EXPECT_EQ(L"", RegReadString(HKEY_CLASSES_ROOT, keys[1].c_str(), L""));
    for (size_t i = 2; i < keys.size(); ++i) {
      EXPECT_EQ(id, RegReadString(HKEY_CLASSES_ROOT, keys[i].c_str(), L""));
    }
  }
  // Both variants write the drop handlers; the 64-bit one, registered last, keeps them.
  EXPECT_EQ(kClsid64, RegReadString(HKEY_CLASSES_ROOT, L"Vellox\\shellex\\DropHandler", L""));
  EXPECT_EQ(kClsid64, RegReadString(HKEY_CLASSES_ROOT, L"Vellox.ZIP\\shellex\\DropHandler", L""));
}

TEST_F(ShellExtensionTest, RegisteredApplicationNamesEveryExtensionOfTheTable) {
  // The capabilities do not depend on choices.
  RegisterShellExtensions(ShellExtensionAction::Register, Options(false));
  EXPECT_EQ(L"Software\\Vellox\\Capabilities",
            RegReadString(HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications", L"Vellox"));
  EXPECT_EQ(L"Vellox", RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Vellox\\Capabilities",
                                     L"ApplicationDescription"));
  const wchar_t* key = L"Software\\Vellox\\Capabilities\\FileAssociations";
  const wchar_t* expected[] = {L".vlx", L".cab",  L".arj", L".lz",   L".tlz", L".lzh",  L".lha",
                               L".7z",  L".tar",  L".gz",  L".tgz",  L".uue", L".xxe",  L".uu",
                               L".bz2", L".tbz2", L".bz",  L".tbz",  L".jar", L".iso",  L".z",
                               L".taz", L".xz",   L".txz", L".zipx", L".zst", L".tzst", L".001"};
  for (const wchar_t* ext : expected) {
    EXPECT_EQ(L"Vellox", RegReadString(HKEY_LOCAL_MACHINE, key, ext))
        << std::string(ext, ext + wcslen(ext));
  }
  EXPECT_EQ(L"Vellox.ZIP", RegReadString(HKEY_LOCAL_MACHINE, key, L".zip"));
  // Nothing else: 28 + ".zip".
  HKEY raw = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &raw));
  DWORD values = 0;
  RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(raw);
  EXPECT_EQ(29u, values);
}

TEST_F(ShellExtensionTest, BeforeWindows6NoRegisteredApplicationIsWritten) {
  ScratchInstall::SetWindowsVersion(5, 1, 2600);
  RegisterShellExtensions(ShellExtensionAction::Register, Options(true));
  EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications", L"Vellox"));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Vellox\\Capabilities"));
  // The shell extension itself is registered all the same.
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kClsid64).c_str()));
}

TEST_F(ShellExtensionTest, MissingDllLeavesItsClassUnregisteredButWritesTheHandlers) {
  install_.RemoveProgramFile(L"vlxext32.dll");
  RegisterShellExtensions(ShellExtensionAction::Register, Options(true));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kClsid64).c_str()));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kClsid32).c_str(), KEY_WOW64_32KEY));
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kClsid32).c_str()));
  EXPECT_EQ(kClsid32,
            RegReadString(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\Vellox32", L""));
  EXPECT_EQ(L"Vellox shell extension", RegReadString(HKEY_LOCAL_MACHINE, kApproved, kClsid32));
}

TEST_F(ShellExtensionTest, RemoveTakesEverythingBackAndTheMachineSettingsTree) {
  const std::wstring before = sandbox_.Snapshot();
  RegisterShellExtensions(ShellExtensionAction::Register, Options(true));
  RegWriteString(HKEY_LOCAL_MACHINE, L"Software\\Vellox", L"exe64", L"C:\\x\\Vellox.exe");
  ASSERT_NE(before, sandbox_.Snapshot());

  RegisterShellExtensions(ShellExtensionAction::Remove, Options(false));
  // The archiver's own class keys keep their emptied "shellex" skeletons until the class keys
  // themselves are removed with their trees (RemoveIntegration).
  for (const wchar_t* cls : {L"Vellox", L"Vellox.ZIP"}) {
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, cls));
    RegDeleteTreeW(HKEY_CLASSES_ROOT, cls);
  }
  EXPECT_EQ(before, sandbox_.Snapshot());
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kClsid32).c_str(), KEY_WOW64_32KEY));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Vellox"));
  EXPECT_EQ(L"x", RegReadString(HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications", L"Other"));
}

TEST_F(ShellExtensionTest, RemoveKeepsKeysThatGainedSubkeys) {
  RegisterShellExtensions(ShellExtensionAction::Register, Options(true));
  RegWriteString(HKEY_CLASSES_ROOT, L"Folder\\shellex\\DragDropHandlers\\Vellox\\Foreign", L"",
                 L"x");
  RegWriteString(HKEY_CLASSES_ROOT, (Clsid(kClsid64) + L"\\InProcServer32\\Foreign").c_str(), L"",
                 L"x");
  RegisterShellExtensions(ShellExtensionAction::Remove, Options(false));
  EXPECT_TRUE(
      RegKeyExists(HKEY_CLASSES_ROOT, L"Folder\\shellex\\DragDropHandlers\\Vellox\\Foreign"));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, (Clsid(kClsid64) + L"\\InProcServer32").c_str()));
  // Its sibling without subkeys went.
  EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"Folder\\shellex\\DragDropHandlers\\Vellox32"));
  EXPECT_FALSE(RegValueExists(HKEY_LOCAL_MACHINE, kApproved, kClsid64));
}

TEST_F(ShellExtensionTest, NewShellDropsTheClassicMenuUnlessLegacyMenuIsOn) {
  ScratchInstall::SetWindowsVersion(10, 0, 22631, L"Microsoft Windows 11 Pro|C:\\WINDOWS|");
  RegisterShellExtensions(ShellExtensionAction::Register, Options(true, false));
  for (const auto& key : ContextMenuKeys(kClsid64, L"Vellox")) {
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, key.c_str()));
  }
  for (const auto& key : ContextMenuKeys(kClsid32, L"Vellox32")) {
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, key.c_str()));
  }
  // Everything else is registered.
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, Clsid(kClsid64).c_str()));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"Drive\\shellex\\DragDropHandlers\\Vellox32"));

  RegisterShellExtensions(ShellExtensionAction::Register, Options(true, true));
  for (const auto& key : ContextMenuKeys(kClsid64, L"Vellox")) {
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, key.c_str()));
  }
  for (const auto& key : ContextMenuKeys(kClsid32, L"Vellox32")) {
    EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, key.c_str()));
  }
}

TEST_F(ShellExtensionTest, ViewFlagIsBackToDefaultAfterwards) {
  RegisterShellExtensions(ShellExtensionAction::Register, Options(true));
  // A write after the registration lands in the default view.
  ASSERT_EQ(ERROR_SUCCESS, WriteSettingString(HKEY_CLASSES_ROOT, L"ViewProbe", L"", L"x"));
  EXPECT_TRUE(RegKeyExists(HKEY_CLASSES_ROOT, L"ViewProbe"));
}

}  // namespace
