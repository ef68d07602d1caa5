#include "integration/apply_integration.h"

#include <windows.h>
#include <shlobj.h>

#include "common/file.h"
#include "common/path_util.h"
#include "common/program_path.h"
#include "common/setup_flags.h"
#include "common/string_util.h"
#include "integration/associations.h"
#include "integration/shell_extension.h"
#include "integration/shortcuts.h"
#include "integration/uninstall_entry.h"
#include "settings/settings_store.h"

namespace {

// Absolute under HKEY_LOCAL_MACHINE (leading backslash); the per-user one in User scope.
constexpr wchar_t kAppPathsKey[] =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Vellox.exe";
constexpr wchar_t kAppPathsRemoveKey[] =
    L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Vellox.exe";
// Class keys that only the archiver owns; removed with everything below them. ".rev" is not
// one of them: it is an extension that may have had, or may have got, another owner.
constexpr const wchar_t* kOwnClassKeys[] = {L"Vellox", L"Vellox.ZIP", L"Vellox.REV"};

}  // namespace

bool RegisterAppPaths() {
  // The archiver lives beside this program; the entry names it whether or not it is there.
  wchar_t archiver[kPathBufferCapacity];
  if (!ProgramSiblingPath(L"Vellox.exe", archiver, kPathBufferCapacity))
    return true;  // nothing sound to register

  // The first write doubles as the access check: without rights nothing at all is written.
  if (WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"", archiver) == ERROR_ACCESS_DENIED) {
    return false;
  }
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, L"", L"exe64", archiver);
  wchar_t folder[kPathBufferCapacity];
  CopyBounded(folder, archiver);
  CutFileName(folder);  // no trailing backslash, except for a drive root
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"Path", folder);

  const ScopedRegistryView inView(KEY_WOW64_32KEY);
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"", archiver);
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"Path", folder);
  return true;
}

IntegrationResult ApplyIntegration(const IntegrationOptions& options, wchar_t* groupFolder,
                                   size_t capacity) {
  if (!RegisterAppPaths())
    return IntegrationResult::Denied;
  RegisterShellExtensions(ShellExtensionAction::Register, options);
  AssociateAll(options);
  if (!RegisterProgIds())
    return IntegrationResult::ClassKeysDenied;

  // A theme may give the archiver's shortcuts their own icon; it must be an existing file.
  wchar_t icon[kPathBufferCapacity];
  (void)ReadUserString(L"Interface\\Themes", L"ShellExtIcon", icon, L"", kPathBufferCapacity);
  const wchar_t* iconPath = icon[0] != 0 && IsExistingFile(icon) ? icon : nullptr;

  UpdateShortcuts(options, groupFolder, capacity, iconPath);
  return IntegrationResult::Applied;
}

void RemoveIntegration() {
  const IntegrationOptions none = {};
  // The give-backs read their backups from the per-user settings, which go last.
  AssociateAll(none);
  ReleaseRevAssociation();
  // Wait until Explorer has taken the associations back before the handlers go.
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  RegisterShellExtensions(ShellExtensionAction::Remove, none);
  UpdateShortcuts(none, nullptr, 0, nullptr);
  for (const wchar_t* key : kOwnClassKeys)
    DeleteSettingsTree(HKEY_CLASSES_ROOT, key);
  DeleteSettingsTree(HKEY_CURRENT_USER, L"");  // all per-user settings of the suite
  // An installer package owns these two and removes them itself.
  if (!SetupFlags.Msi) {
    DeleteSettingsKey(HKEY_LOCAL_MACHINE, kUninstallKey);
    DeleteSettingsKey(HKEY_LOCAL_MACHINE, kAppPathsRemoveKey);
  }
}
