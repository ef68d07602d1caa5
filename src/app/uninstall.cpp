#include "app/uninstall.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "app/file_list.h"
#include "app/list_walk.h"
#include "common/remove_folder_tree.h"
#include "app/self_removal.h"
#include "common/setup_flags.h"
#include "common/platform_services.h"
#include "common/file.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "common/win_handles.h"
#include "integration/apply_integration.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "settings/folders.h"
#include "settings/settings_file.h"

namespace {

constexpr size_t kPathCapacity = 2048;
constexpr size_t kKeptTextCapacity = 256;
constexpr wchar_t kListName[] = L"Uninstall.lst";
// Help index files that the help viewer leaves in the installation folder; never listed.
constexpr const wchar_t* kHelpIndexNames[] = {L"vellox.gid", L"vellox.fts"};
constexpr wchar_t kBrowserDataFolder[] = L"Vellox.exe.WebView2";
constexpr wchar_t kRemovableFolderName[] = L"Vellox";

// The installation folder is the program's folder; a drive root keeps its backslash. False when
// the path has no backslash.
bool InstallationFolderOf(const wchar_t* programPath, wchar_t* folder, size_t capacity) {
  CopyBounded(folder, programPath, capacity);
  wchar_t* slash = std::wcsrchr(folder, L'\\');
  if (slash == nullptr)
    return false;
  if (slash > folder && slash[-1] == L':') {
    slash[1] = 0;
  } else {
    slash[0] = 0;
  }
  return true;
}

}  // namespace

void RunUninstall() {
  wchar_t programPath[kPathCapacity];
  DWORD programLength = GetProgramPath(programPath, kPathCapacity);
  if (programLength == 0 || programLength >= kPathCapacity)
    return;  // no whole path to go by

  // 1. The installation folder becomes the current directory: every relative name below
  //    resolves in it. When it cannot be entered, nothing is done, since the relative names
  //    would then name files somewhere else.
  wchar_t folder[kPathCapacity];
  if (!InstallationFolderOf(programPath, folder, kPathCapacity))
    return;
  if (!SetCurrentDirectoryW(folder))
    return;
  EnsureTrailingBackslash(folder, kPathCapacity);

  // 2. Confirmation.
  if (!SetupFlags.Silent) {
    int answer =
        ShowMessageBox(nullptr, MessageText(IDS_CONTINUEUNINSTALL), MessageText(IDS_UNINSTALLVLX),
                       MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
    if (answer != IDYES)
      return;
  }

  // 3. The list; without it nothing at all is removed, and the user is told even when silent.
  UniqueStdioFile listFile(OpenStream(kListName, L"rb"));
  if (!listFile) {
    wchar_t text[200];
    FormatMessageWithText(MessageText(IDS_CANNOTOPENLIST), kListName, text, 200);
    (void)ShowMessageBox(nullptr, text, MessageText(IDS_UNINSTALLVLX),
                         MB_ICONERROR | MB_SETFOREGROUND);
    return;
  }

  // 4. Texts needed after the language library is gone.
  wchar_t rebootText[kKeptTextCapacity];
  wchar_t caption[kKeptTextCapacity];
  CopyBounded(rebootText, MessageText(IDS_REBOOTREQUIRED), kKeptTextCapacity);
  CopyBounded(caption, MessageText(IDS_UNINSTALLVLX), kKeptTextCapacity);

  // 5. Integration and settings: associations, shell extension, shortcuts, class keys and all
  // of the archiver's settings.
  RemoveIntegration();

  // 6. The language library is freed so that it can be deleted with the other files.
  UnloadLanguageLibrary();

  // 7. An installer package removes the files itself.
  if (SetupFlags.Msi)
    return;

  // 8. Help index files.
  for (const wchar_t* name : kHelpIndexNames) {
    (void)SetFileAttributesW(name, FILE_ATTRIBUTE_NORMAL);  // failures ignored
    (void)DeleteFileW(name);
  }

  // 9. The listed entries, walk after walk.
  UninstallList list;
  list.Load(listFile.get(), folder);
  ListWalkState walk = {folder, programPath, false};
  (void)WalkListUntilDone(list, walk);

  // 10. The list itself.
  listFile.reset();
  (void)DeleteFileW(kListName);

  // A settings file that the list named is gone now. The store would write it back when the
  // process ends and so leave the installation folder behind (the self-removal script can only
  // remove an empty folder): forget it, so that it stays deleted. A settings file that the
  // list did not name stays in use and is saved as usual.
  wchar_t settingsPath[kPathCapacity];
  if (SettingsFileInUse(settingsPath, kPathCapacity) && !FileExists(settingsPath))
    FreeSettingsFile();

  // 11. The data folder of the archiver's browser control.
  wchar_t tempFolder[kPathCapacity];
  wchar_t browserData[kPathCapacity];
  GetTempFolder(tempFolder, kPathCapacity);
  JoinPath(tempFolder, kBrowserDataFolder, browserData, kPathCapacity);
  if (FileExists(browserData))
    RemoveFolderTree(browserData);

  // 12. The installation folder as the script names it: no trailing backslash but at a root.
  wchar_t current[kPathCapacity];
  DWORD currentLength = GetCurrentDirectoryW(kPathCapacity, current);
  if (currentLength == 0 || currentLength >= kPathCapacity)
    CopyBounded(current, L"");

  // 13. One notice for all files in use; a folder named Vellox then goes at restart too.
  if (walk.RebootPending && !SetupFlags.Silent) {
    (void)ShowMessageBox(nullptr, rebootText, caption, MB_ICONINFORMATION | MB_SETFOREGROUND);
    if (current[0] != 0 && CompareNoCase(FileNamePart(current), kRemovableFolderName) == 0) {
      (void)MoveFileExW(current, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);  // result ignored
    }
  }

  // 14. The program file and the folder go after this process has ended.
  StartSelfRemoval(programPath, current);
}
