#include "common/string_util.h"
#include "integration/context_menu_package.h"

#include <windows.h>
#include <shellapi.h>

#include "common/file.h"
#include "common/path_util.h"
#include "common/program_path.h"
#include "common/win_handles.h"
#include "integration/com_apartment.h"
#include "settings/settings_store.h"

namespace {

constexpr DWORD kUninstallWaitMs = 20000;

}  // namespace

void RunContextMenuPackage(PackageAction action) {
  const bool install = action == PackageAction::Install;
  if (!IsIntegrationEnabled())
    return;
  wchar_t package[kPathBufferCapacity];
  if (!ProgramSiblingPath(L"VlxExtPackage.msix", package, kPathBufferCapacity) ||
      !FileExists(package))
    return;
  wchar_t installer[kPathBufferCapacity];
  if (!ProgramSiblingPath(L"VlxExtInstaller.exe", installer, kPathBufferCapacity) ||
      !FileExists(installer))
    return;

  ComApartment com;  // the shell may hand the start to a handler that needs COM
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  // No error box from the shell: a failure is not reported, and an unattended uninstall must
  // not stop on a dialog.
  info.fMask = SEE_MASK_FLAG_NO_UI | (install ? 0 : SEE_MASK_NOCLOSEPROCESS);
  info.lpFile = installer;
  info.lpParameters = install ? L"-install" : L"-Uninstall";
  info.nShow = SW_SHOWNORMAL;
  if (ShellExecuteExW(&info) && !install) {
    UniqueHandle process(info.hProcess);
    if (process)
      (void)WaitForSingleObject(process.get(), kUninstallWaitMs);
  }
  // Recorded whether or not the installer could be started: the loader only needs to know
  // which way the last run went.
  (void)WriteUserInt(L"Setup", L"NewContextMenu", install ? 1 : 0);
}
