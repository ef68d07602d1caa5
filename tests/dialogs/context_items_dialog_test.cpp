#include "dialogs/context_items_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "dialog_test_util.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "settings/settings_test_env.h"
#include "support/registry_sandbox.h"
#include "support/utf16_bytes.h"

using dialog_test::DialogTest;

namespace {

constexpr const wchar_t* kItems = L"Software\\Vellox\\Setup\\MenuItems";
constexpr const wchar_t* kTopItems = L"Software\\Vellox\\Setup\\TopMenuItems";

class ContextItemsTest : public DialogTest {
 protected:
  HWND Open(bool cascaded) {
    return Create(L"SETUPCONTEXTITEMS", ContextItemsDialogProc, cascaded ? 1 : 0);
  }
  std::wstring Masks(HWND d) {
    wchar_t text[1024] = L"";
    GetDlgItemTextW(d, IDC_CONTEXTALWAYSARC, text, 1024);
    return text;
  }
  RegistrySandbox sandbox_;
};

}  // namespace

TEST(ContextItemTables, RowsAreDistinctAndTopGroupsAreContiguous) {
  for (int i = 0; i < kMenuItemRows; ++i) {
    for (int j = i + 1; j < kMenuItemRows; ++j) {
      EXPECT_NE(MenuItemTable[i].ControlId, MenuItemTable[j].ControlId);
      EXPECT_STRNE(MenuItemTable[i].ValueName, MenuItemTable[j].ValueName);
    }
  }
  for (int i = 1; i < kTopMenuItemRows; ++i) {
    EXPECT_GE(TopMenuItemTable[i].Group, TopMenuItemTable[i - 1].Group);
  }
}

TEST_F(ContextItemsTest, NewShellNotCascadedWithNothingStored) {
  dialog_test::UseNewShell(true);
  HWND d = Open(false);
  ASSERT_NE(d, nullptr);
  for (const MenuItemRow& row : MenuItemTable) {
    EXPECT_EQ(Visible(d, row.ControlId), !row.ClassicOnly) << row.ValueName;
    if (!row.ClassicOnly) {
      EXPECT_TRUE(Checked(d, row.ControlId)) << row.ValueName;
    }
  }
  for (const TopMenuItemRow& row : TopMenuItemTable)
    EXPECT_TRUE(Visible(d, row.ControlId));
  EXPECT_TRUE(Checked(d, IDC_CONTEXTTOPEXTRACT));
  EXPECT_FALSE(Checked(d, IDC_CONTEXTTOPEXTRACTTO));
  EXPECT_FALSE(Checked(d, IDC_CONTEXTTOPEXTRACTHERE));
  EXPECT_TRUE(Checked(d, IDC_CONTEXTTOPEXTRACTSEPARATE));
  EXPECT_TRUE(Checked(d, IDC_CONTEXTTOPADDARC));
  EXPECT_FALSE(Checked(d, IDC_CONTEXTTOPADD));
  EXPECT_EQ(Masks(d), L"*.iso");
  // Hidden classic boxes still hold their loaded values.
  EXPECT_TRUE(Checked(d, IDC_CONTEXTEXTRACTTO));
  EXPECT_FALSE(Checked(d, IDC_CONTEXTTEST));
}

TEST_F(ContextItemsTest, OnlyTheFirstTopItemOfAGroupThatIsOnLoadsChecked) {
  dialog_test::UseNewShell(true);
  RegWriteDword(HKEY_CURRENT_USER, kTopItems, L"Extr", 1);
  RegWriteDword(HKEY_CURRENT_USER, kTopItems, L"ExtrTo", 1);
  RegWriteDword(HKEY_CURRENT_USER, kTopItems, L"ExtrHere", 1);
  RegWriteDword(HKEY_CURRENT_USER, kTopItems, L"AddArc", 0);
  RegWriteDword(HKEY_CURRENT_USER, kTopItems, L"AddTo", 1);
  HWND d = Open(false);
  ASSERT_NE(d, nullptr);
  EXPECT_TRUE(Checked(d, IDC_CONTEXTTOPEXTRACT));
  EXPECT_FALSE(Checked(d, IDC_CONTEXTTOPEXTRACTTO));
  EXPECT_FALSE(Checked(d, IDC_CONTEXTTOPEXTRACTHERE));
  EXPECT_FALSE(Checked(d, IDC_CONTEXTTOPADDARC));
  EXPECT_TRUE(Checked(d, IDC_CONTEXTTOPADD)) << "the first row of its group that is on";

  // OK stores every top box as it stands: no exclusivity when saving.
  CheckDlgButton(d, IDC_CONTEXTTOPEXTRACTHERE, BST_CHECKED);
  SendMessageW(d, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, kTopItems, L"Extr"), 1u);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, kTopItems, L"ExtrTo"), 0u);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, kTopItems, L"ExtrHere"), 1u);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, kTopItems, L"AddArc"), 0u);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, kTopItems, L"AddTo"), 1u);
}

TEST_F(ContextItemsTest, CascadedMenuHidesTopItemsAndLeavesThemStored) {
  dialog_test::UseNewShell(true);
  RegWriteDword(HKEY_CURRENT_USER, kTopItems, L"ExtrTo", 1);
  HWND d = Open(true);
  ASSERT_NE(d, nullptr);
  for (const TopMenuItemRow& row : TopMenuItemTable)
    EXPECT_FALSE(Visible(d, row.ControlId));
  for (const MenuItemRow& row : MenuItemTable)
    EXPECT_TRUE(Visible(d, row.ControlId));
  SendMessageW(d, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, kTopItems, L"ExtrTo"), 1u);
  EXPECT_FALSE(RegValueExists(HKEY_CURRENT_USER, kTopItems, L"Extr"));
  EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, kItems, L"ExtrTo"), 1u);
}

TEST_F(ContextItemsTest, OldShellShowsClassicItemsEvenWhenNotCascaded) {
  HWND d = Open(false);
  ASSERT_NE(d, nullptr);
  for (const TopMenuItemRow& row : TopMenuItemTable)
    EXPECT_FALSE(Visible(d, row.ControlId));
  for (const MenuItemRow& row : MenuItemTable) {
    EXPECT_TRUE(Visible(d, row.ControlId));
    EXPECT_EQ(Checked(d, row.ControlId), row.Default != 0) << row.ValueName;
  }
  SendMessageW(d, WM_COMMAND, IDOK, 0);
  EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kTopItems));
}

TEST_F(ContextItemsTest, HiddenClassicValuesAreWrittenBackUnchanged) {
  dialog_test::UseNewShell(true);
  RegWriteDword(HKEY_CURRENT_USER, kItems, L"Test", 1);
  RegWriteDword(HKEY_CURRENT_USER, kItems, L"ExtrHere", 0);
  RegWriteDword(HKEY_CURRENT_USER, kItems, L"DragAdd", 0);
  HWND d = Open(false);
  ASSERT_NE(d, nullptr);
  EXPECT_FALSE(Checked(d, IDC_CONTEXTDRAGADD));
  SendMessageW(d, WM_COMMAND, IDOK, 0);
  for (const MenuItemRow& row : MenuItemTable) {
    DWORD expected = row.Default;
    if (wcscmp(row.ValueName, L"Test") == 0)
      expected = 1;
    if (wcscmp(row.ValueName, L"ExtrHere") == 0 || wcscmp(row.ValueName, L"DragAdd") == 0) {
      expected = 0;
    }
    EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, kItems, row.ValueName), expected) << row.ValueName;
  }
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kItems, L"AlwaysArc"), L"*.iso");
}

TEST_F(ContextItemsTest, EmptyMaskIsStoredAndShownEmptyNextTime) {
  HWND d = Open(false);
  ASSERT_NE(d, nullptr);
  SetDlgItemTextW(d, IDC_CONTEXTALWAYSARC, L"");
  SendMessageW(d, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(RegValueExists(HKEY_CURRENT_USER, kItems, L"AlwaysArc"));
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kItems, L"AlwaysArc"), L"");
  HWND again = Open(false);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(Masks(again), L"");

  SetDlgItemTextW(again, IDC_CONTEXTALWAYSARC, L"*.img;*.vhd");
  SendMessageW(again, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kItems, L"AlwaysArc"), L"*.img;*.vhd");
}

TEST_F(ContextItemsTest, CancelWritesNothing) {
  dialog_test::UseNewShell(true);
  std::wstring before = sandbox_.Snapshot();
  HWND d = Open(false);
  ASSERT_NE(d, nullptr);
  Click(d, IDC_CONTEXTNEWVLX);
  Click(d, IDC_CONTEXTTOPADD);
  SetDlgItemTextW(d, IDC_CONTEXTALWAYSARC, L"*.x");
  SendMessageW(d, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(sandbox_.Snapshot(), before);
}

TEST_F(ContextItemsTest, HelpOpensTheContextItemsPage) {
  HWND d = Open(false);
  ASSERT_NE(d, nullptr);
  SendMessageW(d, WM_COMMAND, IDHELP, 0);
  ASSERT_EQ(dialog_test::HelpCalls().size(), 1u);
  EXPECT_NE(dialog_test::HelpCalls()[0].File.find(L"::/html/HELPContextItems.htm"),
            std::wstring::npos);
}

// A portable installation: the settings file beside the program takes the items, the registry
// gets nothing, and the file is on disk as soon as OK returns (not only at process exit).
namespace {
class ContextItemsPortableTest : public DialogTest {
 protected:
  SettingsEnvironment env_;
};
bool Holds(const std::string& file, const wchar_t* line) {
  return file.find(Utf16Le(std::wstring(line) + L"\r\n", false)) != std::string::npos;
}
}  // namespace

TEST_F(ContextItemsPortableTest, OkWritesTheSettingsFileAndCancelWritesNothing) {
  const std::string original = Utf16Le(L"HKCU\\Setup\\MenuItems\\Test=1\r\n");
  env_.WriteIni(original);
  const std::wstring registry = env_.Registry().Snapshot();

  HWND cancelled = Create(L"SETUPCONTEXTITEMS", ContextItemsDialogProc, 0);
  ASSERT_NE(cancelled, nullptr);
  EXPECT_TRUE(Checked(cancelled, IDC_CONTEXTTEST)) << "read from the file";
  Click(cancelled, IDC_CONTEXTNEWVLX);
  SendMessageW(cancelled, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(env_.ReadIni(), original);
  ASSERT_TRUE(SaveSettingsFile());  // what Cancel left in memory, as the exit would save it
  EXPECT_FALSE(Holds(env_.ReadIni(), L"HKCU\\Setup\\MenuItems\\NewVLX=0"));

  HWND d = Create(L"SETUPCONTEXTITEMS", ContextItemsDialogProc, 0);
  ASSERT_NE(d, nullptr);
  Click(d, IDC_CONTEXTNEWVLX);
  SetDlgItemTextW(d, IDC_CONTEXTALWAYSARC, L"*.img");
  SendMessageW(d, WM_COMMAND, IDOK, 0);
  const std::string saved = env_.ReadIni();
  EXPECT_TRUE(Holds(saved, L"HKCU\\Setup\\MenuItems\\NewVLX=0"));
  EXPECT_TRUE(Holds(saved, L"HKCU\\Setup\\MenuItems\\NewZIP=1"));
  EXPECT_TRUE(Holds(saved, L"HKCU\\Setup\\MenuItems\\Test=1"));
  EXPECT_TRUE(Holds(saved, L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.img\""));
  EXPECT_EQ(env_.Registry().Snapshot(), registry);
}
