#include "integration/integration_options.h"

#include <windows.h>

#include "common/string_util.h"
#include "integration/os_version.h"
#include "resources/resource.h"
#include "settings/settings_store.h"

// Row order is the order of every walk over the table. Row 0 is the archiver's own format and
// row 1 is ZIP; both get "New" templates, and row 0 also takes the volume extensions.
const AssociationRow AssociationTable[kAssociationRows] = {
    {L".vlx", L"Setup\\.vlx", L"Vellox", IDC_ASSOCVLX},
    {L".zip", L"Setup\\.zip", L"Vellox.ZIP", IDC_ASSOCZIP},
    {L".cab", L"Setup\\.cab", L"Vellox", IDC_ASSOCCAB},
    {L".arj", L"Setup\\.arj", L"Vellox", IDC_ASSOCARJ},
    {L".lz.tlz", L"Setup\\.lz", L"Vellox", IDC_ASSOCLZ},
    {L".lzh.lha", L"Setup\\.lzh", L"Vellox", IDC_ASSOCLZH},
    {L".7z", L"Setup\\.7z", L"Vellox", IDC_ASSOC7Z},
    {L".tar", L"Setup\\.tar", L"Vellox", IDC_ASSOCTAR},
    {L".gz.tgz", L"Setup\\.gz", L"Vellox", IDC_ASSOCGZ},
    {L".uue.xxe.uu", L"Setup\\.uue", L"Vellox", IDC_ASSOCUUE},
    {L".bz2.tbz2.bz.tbz", L"Setup\\.bz2", L"Vellox", IDC_ASSOCBZ2},
    {L".jar", L"Setup\\.jar", L"Vellox", IDC_ASSOCJAR},
    {L".iso", L"Setup\\.iso", L"Vellox", IDC_ASSOCISO},
    {L".z.taz", L"Setup\\.z", L"Vellox", IDC_ASSOCZ},
    {L".xz.txz", L"Setup\\.xz", L"Vellox", IDC_ASSOCXZ},
    {L".zipx", L"Setup\\.zipx", L"Vellox", IDC_ASSOCZIPX},
    {L".zst.tzst", L"Setup\\.zst", L"Vellox", IDC_ASSOCZST},
    {L".001", L"Setup\\.001", L"Vellox", IDC_ASSOC001},
};

namespace {

constexpr int kJarRow = 11;
constexpr int kIsoRow = 12;
constexpr size_t kClassNameCapacity = 80;

const wchar_t kLinksKey[] = L"Setup\\Links";
const wchar_t kSetupKey[] = L"Setup";

uint8_t ReadFlag(const wchar_t* path, const wchar_t* name, uint32_t def) {
  return ReadUserInt(path, name, def) != 0 ? 1 : 0;
}

// Refused writes are dropped: the record stays what the caller holds, and the next load
// simply yields the defaults again.
void WriteFlag(const wchar_t* path, const wchar_t* name, uint8_t value) {
  (void)WriteUserInt(path, name, value != 0 ? 1 : 0);
}

}  // namespace

bool IsOwnAssociation(const wchar_t* extension) {
  wchar_t className[kClassNameCapacity];
  (void)ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", className, L"", kClassNameCapacity);
  return CompareNoCase(className, L"Vellox") == 0 || CompareNoCase(className, L"Vellox.ZIP") == 0;
}

void LoadIntegrationOptions(IntegrationOptions& options) {
  for (int row = 0; row < kAssociationRows; ++row) {
    options.Associations[row] = ReadFlag(AssociationTable[row].SettingsKey, L"Set", 1);
  }
  // ".jar" is only kept while it is already the archiver's: Java programs rely on it.
  if (!IsOwnAssociation(L".jar"))
    options.Associations[kJarRow] = 0;
  // ".iso" is left to a program that owns it.
  if (!IsOwnAssociation(L".iso")) {
    wchar_t className[kClassNameCapacity];
    (void)ReadSettingString(HKEY_CLASSES_ROOT, L".iso", L"", className, L"", kClassNameCapacity);
    if (className[0] != 0)
      options.Associations[kIsoRow] = 0;
  }

  options.Desktop = ReadFlag(kLinksKey, L"Desktop", 0);
  options.StartMenu = ReadFlag(kLinksKey, L"StartMenu", 0);
  options.Programs = ReadFlag(kLinksKey, L"Programs", 1);
  options.ShellExt = ReadFlag(kSetupKey, L"ShellExt", 1);
  options.CascadedMenu = ReadFlag(kSetupKey, L"CascadedMenu", IsNewShell() ? 1 : 0);
  options.MenuIcons = ReadFlag(kSetupKey, L"MenuIcons", 1);
  options.LegacyMenu = ReadFlag(kSetupKey, L"LegacyMenu", 0);

  // On the new shell, until the modern context-menu package has been installed, the classic
  // menu is the only one and is always shown cascaded.
  if (IsNewShell() && ReadUserInt(kSetupKey, L"NewContextMenu", 0) == 0) {
    options.CascadedMenu = 1;
  }
}

void SaveIntegrationOptions(const IntegrationOptions& options) {
  for (int row = 0; row < kAssociationRows; ++row) {
    WriteFlag(AssociationTable[row].SettingsKey, L"Set", options.Associations[row]);
  }
  WriteFlag(kLinksKey, L"Desktop", options.Desktop);
  WriteFlag(kLinksKey, L"StartMenu", options.StartMenu);
  WriteFlag(kLinksKey, L"Programs", options.Programs);
  WriteFlag(kSetupKey, L"ShellExt", options.ShellExt);
  WriteFlag(kSetupKey, L"CascadedMenu", options.CascadedMenu);
  WriteFlag(kSetupKey, L"MenuIcons", options.MenuIcons);
  WriteFlag(kSetupKey, L"LegacyMenu", options.LegacyMenu);
}
