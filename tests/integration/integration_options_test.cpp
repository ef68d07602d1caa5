#include "integration/integration_options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>

#include "common/test_seams.h"
#include "integration/os_version.h"
#include "support/registry_sandbox.h"

namespace {

const wchar_t kVelloxSetup[] = L"Software\\Vellox\\Setup";

class IntegrationOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { UseShell(false); }
  void TearDown() override {
    ClearWindowsVersionForTesting();
    ResetOsVersionCacheForTesting();
  }
  static void UseShell(bool newShell) {
    ClearWindowsVersionForTesting();
    ResetOsVersionCacheForTesting();
    if (newShell) {
      SetWindowsVersionForTesting(10, 0, 22631);
      SetWmiNameForTesting(WmiOverride::Name, L"Microsoft Windows 11 Pro");
    } else {
      SetWindowsVersionForTesting(10, 0, 19045);
    }
  }
  static IntegrationOptions Loaded() {
    IntegrationOptions options;
    memset(&options, 0xEE, sizeof(options));
    LoadIntegrationOptions(options);
    return options;
  }
  RegistrySandbox sandbox_;
};

TEST_F(IntegrationOptionsTest, TableRowsAreConsistent) {
  std::set<int> controls;
  for (int row = 0; row < kAssociationRows; ++row) {
    const AssociationRow& r = AssociationTable[row];
    SCOPED_TRACE(row);
    ASSERT_EQ(L'.', r.Extensions[0]);
    EXPECT_LT(wcslen(r.Extensions), 50u);
    // The settings key is "Setup\" followed by the first extension of the list.
    std::wstring primary = r.Extensions;
    primary = primary.substr(0, primary.find(L'.', 1));
    EXPECT_EQ(L"Setup\\" + primary, r.SettingsKey);
    EXPECT_EQ(row == 1 ? std::wstring(L"Vellox.ZIP") : std::wstring(L"Vellox"), r.ProgId);
    EXPECT_GE(r.DialogControl, 5101);
    EXPECT_LE(r.DialogControl, 5118);
    controls.insert(r.DialogControl);
  }
  EXPECT_EQ(18u, controls.size());
  EXPECT_STREQ(L".vlx", AssociationTable[0].Extensions);
  EXPECT_STREQ(L".zip", AssociationTable[1].Extensions);
  EXPECT_STREQ(L".jar", AssociationTable[11].Extensions);
  EXPECT_STREQ(L".iso", AssociationTable[12].Extensions);
}

TEST_F(IntegrationOptionsTest, IsOwnAssociationIgnoresCaseAndNothingElse) {
  EXPECT_FALSE(IsOwnAssociation(L".7z"));  // missing key
  RegWriteString(HKEY_CLASSES_ROOT, L".7z", nullptr, L"vELLOX");
  EXPECT_TRUE(IsOwnAssociation(L".7z"));
  RegWriteString(HKEY_CLASSES_ROOT, L".7z", nullptr, L"VELLOX.zip");
  EXPECT_TRUE(IsOwnAssociation(L".7z"));
  for (const wchar_t* other : {L"Vellox.REV", L"Vellox2", L"Vellox.ZIPX", L"", L"7-Other"}) {
    RegWriteString(HKEY_CLASSES_ROOT, L".7z", nullptr, other);
    EXPECT_FALSE(IsOwnAssociation(L".7z")) << other;
  }
}

TEST_F(IntegrationOptionsTest, NothingStoredOnTheOldShell) {
  const IntegrationOptions o = Loaded();
  for (int row = 0; row < kAssociationRows; ++row) {
    EXPECT_EQ(row == 11 ? 0 : 1, o.Associations[row]) << row;
  }
  EXPECT_EQ(0xEE, o.Associations[18]);  // slots without a row are left alone
  EXPECT_EQ(0xEE, o.Associations[19]);
  EXPECT_EQ(0, o.Desktop);
  EXPECT_EQ(0, o.StartMenu);
  EXPECT_EQ(1, o.Programs);
  EXPECT_EQ(1, o.ShellExt);
  EXPECT_EQ(0, o.CascadedMenu);
  EXPECT_EQ(1, o.MenuIcons);
  EXPECT_EQ(0, o.LegacyMenu);
  // Loading writes nothing.
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Vellox"));
}

TEST_F(IntegrationOptionsTest, NothingStoredOnTheNewShell) {
  UseShell(true);
  const IntegrationOptions o = Loaded();
  EXPECT_EQ(1, o.CascadedMenu);
  EXPECT_EQ(1, o.ShellExt);
  EXPECT_EQ(0, o.LegacyMenu);
  EXPECT_EQ(0, o.Associations[11]);
  EXPECT_EQ(1, o.Associations[12]);
}

TEST_F(IntegrationOptionsTest, NewShellForcesCascadedMenuUntilThePackageIsInstalled) {
  UseShell(true);
  RegWriteDword(HKEY_CURRENT_USER, kVelloxSetup, L"CascadedMenu", 0);
  EXPECT_EQ(1, Loaded().CascadedMenu);
  RegWriteDword(HKEY_CURRENT_USER, kVelloxSetup, L"NewContextMenu", 0);
  EXPECT_EQ(1, Loaded().CascadedMenu);
  RegWriteDword(HKEY_CURRENT_USER, kVelloxSetup, L"NewContextMenu", 1);
  EXPECT_EQ(0, Loaded().CascadedMenu);

  UseShell(false);  // the old shell never forces it
  RegWriteDword(HKEY_CURRENT_USER, kVelloxSetup, L"NewContextMenu", 0);
  EXPECT_EQ(0, Loaded().CascadedMenu);
}

TEST_F(IntegrationOptionsTest, JarSurvivesOnlyWhileAlreadyTheArchivers) {
  RegWriteDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\.jar", L"Set", 1);
  EXPECT_EQ(0, Loaded().Associations[11]);
  RegWriteString(HKEY_CLASSES_ROOT, L".jar", nullptr, L"jarfile");
  EXPECT_EQ(0, Loaded().Associations[11]);
  RegWriteString(HKEY_CLASSES_ROOT, L".jar", nullptr, L"vellox.ZIP");
  EXPECT_EQ(1, Loaded().Associations[11]);
  RegWriteDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\.jar", L"Set", 0);
  EXPECT_EQ(0, Loaded().Associations[11]);
}

TEST_F(IntegrationOptionsTest, IsoIsLeftToAnotherOwner) {
  const wchar_t* isoSetup = L"Software\\Vellox\\Setup\\.iso";
  EXPECT_EQ(1, Loaded().Associations[12]);  // missing key: the stored default
  RegWriteString(HKEY_CLASSES_ROOT, L".iso", nullptr, L"");
  EXPECT_EQ(1, Loaded().Associations[12]);  // empty owner
  RegWriteString(HKEY_CLASSES_ROOT, L".iso", nullptr, L"Other.DiscImage");
  EXPECT_EQ(0, Loaded().Associations[12]);
  RegWriteString(HKEY_CLASSES_ROOT, L".iso", nullptr, L"VELLOX");
  EXPECT_EQ(1, Loaded().Associations[12]);
  RegWriteDword(HKEY_CURRENT_USER, isoSetup, L"Set", 0);
  EXPECT_EQ(0, Loaded().Associations[12]);
}

TEST_F(IntegrationOptionsTest, AnyNonZeroNumberIsOn) {
  RegWriteDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\Links", L"Desktop", 7);
  RegWriteDword(HKEY_CURRENT_USER, kVelloxSetup, L"ShellExt", 0);
  RegWriteDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\.7z", L"Set", 0x80000000u);
  const IntegrationOptions o = Loaded();
  EXPECT_EQ(1, o.Desktop);
  EXPECT_EQ(0, o.ShellExt);
  EXPECT_EQ(1, o.Associations[6]);
}

TEST_F(IntegrationOptionsTest, SaveThenLoadGivesTheSameRecord) {
  // ".jar" and ".iso" are the archiver's, so their stored flags are not corrected.
  RegWriteString(HKEY_CLASSES_ROOT, L".jar", nullptr, L"Vellox");
  RegWriteString(HKEY_CLASSES_ROOT, L".iso", nullptr, L"Vellox");
  std::mt19937 random(20240611);
  for (int round = 0; round < 20; ++round) {
    IntegrationOptions saved;
    for (uint8_t& flag : saved.Associations)
      flag = random() % 2;
    saved.Desktop = random() % 2;
    saved.StartMenu = random() % 2;
    saved.Programs = random() % 2;
    saved.ShellExt = random() % 2;
    saved.CascadedMenu = random() % 2;
    saved.MenuIcons = random() % 2;
    saved.LegacyMenu = random() % 2;
    SaveIntegrationOptions(saved);

    IntegrationOptions loaded = saved;
    loaded.Associations[18] ^= 1;  // must come back untouched
    const uint8_t slot18 = loaded.Associations[18];
    LoadIntegrationOptions(loaded);
    EXPECT_EQ(slot18, loaded.Associations[18]);
    loaded.Associations[18] = saved.Associations[18];
    EXPECT_EQ(0, memcmp(&saved, &loaded, sizeof(saved))) << "round " << round;
  }
  // Stored as numbers 0 or 1; slots 18 and 19 and "NewContextMenu" are never written.
  const DWORD set = RegReadDword(HKEY_CURRENT_USER, L"Software\\Vellox\\Setup\\.zipx", L"Set");
  EXPECT_TRUE(set == 0 || set == 1);
  EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, kVelloxSetup, L"NewContextMenu"));
  int setupKeys = 0;
  HKEY setup = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kVelloxSetup, 0, KEY_READ, &setup));
  wchar_t name[64];
  for (DWORD i = 0;; ++i) {
    DWORD length = 64;
    if (RegEnumKeyExW(setup, i, name, &length, nullptr, nullptr, nullptr, nullptr) != 0)
      break;
    ++setupKeys;
  }
  RegCloseKey(setup);
  EXPECT_EQ(kAssociationRows + 1, setupKeys);  // the rows and "Links"
}

TEST_F(IntegrationOptionsTest, NewShellSaveLoadKeepsCascadedOnlyAfterPackageInstall) {
  UseShell(true);
  IntegrationOptions saved = Loaded();
  saved.CascadedMenu = 0;
  SaveIntegrationOptions(saved);
  EXPECT_EQ(1, Loaded().CascadedMenu);
  RegWriteDword(HKEY_CURRENT_USER, kVelloxSetup, L"NewContextMenu", 1);
  EXPECT_EQ(0, Loaded().CascadedMenu);
}

}  // namespace
