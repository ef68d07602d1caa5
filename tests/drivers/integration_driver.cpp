// Test-only driver for the end-to-end scenarios, never shipped: runs the integration steps of
// the product against the real registry and folders of the Wine prefix it runs in, as if it
// were the program installed at the path given.
//   integration_driver.exe <installed program path> apply   all choices on, as a confirmed
//                                                         setup: save, apply, uninstall entry
//   integration_driver.exe <installed program path> remove  RemoveIntegration
// Prints the program group folder after an apply. Exit code 0, 1 on bad arguments, 2 when the
// apply reported missing access.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cwchar>

#include "common/test_seams.h"
#include "integration/apply_integration.h"
#include "integration/integration_options.h"
#include "integration/uninstall_entry.h"
#include "lang/messages.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3)
    return 1;
  OwnInstance = GetModuleHandleW(nullptr);  // message texts from the linked string table
  ResourceModule = OwnInstance;
  SetProgramPathForTesting(argv[1]);
  OleInitialize(nullptr);
  int result = 0;
  if (wcscmp(argv[2], L"apply") == 0) {
    IntegrationOptions options = {};
    for (int row = 0; row < kAssociationRows; ++row)
      options.Associations[row] = 1;
    options.Desktop = options.StartMenu = options.Programs = 1;
    options.ShellExt = options.MenuIcons = 1;
    SaveIntegrationOptions(options);
    wchar_t group[2048] = L"";
    if (ApplyIntegration(options, group, 2048) == IntegrationResult::Applied) {
      WriteUninstallEntry();
      wprintf(L"%ls\n", group);
    } else {
      result = 2;
    }
  } else if (wcscmp(argv[2], L"remove") == 0) {
    RemoveIntegration();
  } else {
    result = 1;
  }
  OleUninitialize();
  return result;
}
