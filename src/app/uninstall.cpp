#include "app/uninstall.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "app/file_list.h"
#include "app/list_walk.h"
#include "app/self_removal.h"
#include "common/change_record.h"
#include "common/exit_codes.h"
#include "common/file.h"
#include "common/file_changes.h"
#include "common/path_util.h"
#include "common/platform_services.h"
#include "common/remove_folder_tree.h"
#include "common/setup_flags.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "common/win_handles.h"
#include "integration/apply_integration.h"
#include "integration/uninstall_entry.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "settings/folders.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"

namespace {

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

// The installation folder becomes the current directory: every relative name below resolves
// in it. False, with nothing done, when it cannot be entered, since the relative names would
// then name files somewhere else. The folder comes back with a trailing backslash.
bool EnterInstallationFolder(const wchar_t* programPath, wchar_t* folder, size_t capacity) {
  if (!InstallationFolderOf(programPath, folder, capacity))
    return false;
  if (!SetCurrentDirectoryW(folder))
    return false;
  EnsureTrailingBackslash(folder, capacity);
  return true;
}

// True when the user agrees to uninstall; a silent run is never asked.
bool ConfirmUninstall() {
  if (SetupFlags.Silent)
    return true;
  int answer =
      ShowMessageBox(nullptr, MessageText(IDS_CONTINUEUNINSTALL), MessageText(IDS_UNINSTALLVLX),
                     MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
  return answer == IDYES;
}

// The list, opened in the current folder. Without it nothing at all may be removed: the run
// has failed (exit code 1603), the log says why, an interactive user is told, and the holder
// comes back empty. A silent run shows nothing: it must never wait for a key.
UniqueStdioFile OpenUninstallList() {
  UniqueStdioFile listFile(OpenStream(kListName, L"rb"));
  if (!listFile) {
    SetupFlags.ExitCode = kExitFailed;
    RecordFileChange(ChangeKind::Notice, kListName, nullptr,
                     L"the file list cannot be opened: nothing removed");
    if (!SetupFlags.Silent) {
      wchar_t text[200];
      FormatMessageWithText(MessageText(IDS_CANNOTOPENLIST), kListName, text, 200);
      (void)ShowMessageBox(nullptr, text, MessageText(IDS_UNINSTALLVLX),
                           MB_ICONERROR | MB_SETFOREGROUND);
    }
  }
  return listFile;
}

// Texts still needed after the language library, their source, has been freed and deleted.
struct KeptTexts {
  wchar_t RebootText[kKeptTextCapacity];
  wchar_t Caption[kKeptTextCapacity];
};

void KeepTexts(KeptTexts& texts) {
  CopyBounded(texts.RebootText, MessageText(IDS_REBOOTREQUIRED), kKeptTextCapacity);
  CopyBounded(texts.Caption, MessageText(IDS_UNINSTALLVLX), kKeptTextCapacity);
}

// Integration and settings (associations, shell extension, shortcuts, class keys and all of
// the archiver's settings) go first; then the language library is freed, so that it can be
// deleted with the other files.
void RemoveIntegrationAndReleaseLanguage() {
  RemoveIntegration();
  UnloadLanguageLibrary();
}

// The help index files that the help viewer leaves behind; failures are ignored.
void DeleteHelpIndexFiles() {
  for (const wchar_t* name : kHelpIndexNames) {
    if (!FileExists(name))
      continue;
    (void)SetAttributes(name, FILE_ATTRIBUTE_NORMAL);
    (void)RemoveFile(name);
  }
}

// The folder that goes with the files in use, at restart or at the next logon, once it is
// empty: only a folder of its own name, never one such as "Tools" that may hold other things.
bool GoesWithFilesInUse(const wchar_t* current) {
  return current[0] != 0 && CompareNoCase(FileNamePart(current), kRemovableFolderName) == 0;
}

// The listed entries, walk after walk, then the list itself. True when a file in use was
// scheduled for deletion at restart (or logon). The list file is closed before it is deleted.
bool DeleteListedEntries(UniqueStdioFile& listFile, const wchar_t* folder,
                         const wchar_t* programPath, const wchar_t* current) {
  UninstallList list;
  list.Load(listFile.get(), folder);
  ListWalkState walk = {folder, programPath, false};
  walk.LogonFolder = GoesWithFilesInUse(current) ? current : nullptr;
  (void)WalkListUntilDone(list, walk);
  listFile.reset();
  (void)RemoveFile(kListName);
  return walk.RebootPending;
}

// A settings file that the list named is gone now. The store would write it back when the
// process ends and so leave the installation folder behind (the self-removal script can only
// remove an empty folder): forget it, so that it stays deleted. A settings file that the list
// did not name stays in use and is saved as usual.
void ForgetDeletedSettingsFile() {
  wchar_t settingsPath[kPathBufferCapacity];
  if (SettingsFileInUse(settingsPath, kPathBufferCapacity) && !FileExists(settingsPath))
    FreeSettingsFile();
}

// The data folder of the archiver's browser control, in the temporary folder.
void RemoveBrowserDataFolder() {
  wchar_t tempFolder[kPathBufferCapacity];
  wchar_t browserData[kPathBufferCapacity];
  GetTempFolder(tempFolder, kPathBufferCapacity);
  JoinPath(tempFolder, kBrowserDataFolder, browserData, kPathBufferCapacity);
  if (FileExists(browserData))
    RemoveFolderTree(browserData);
}

// The installation folder as the script names it: no trailing backslash but at a root; empty
// when the current folder cannot be read whole.
void CurrentFolderForScript(wchar_t* current, size_t capacity) {
  DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(capacity), current);
  if (length == 0 || length >= capacity)
    CopyBounded(current, L"", capacity);
}

// One notice for all files in use (none in a silent run); a folder named Vellox then goes at
// restart too.
// A per-user removal's files in use go at the user's next logon instead, and the folder is left
// to the user (scheduling it at restart needs administrator rights).
void TellAboutRestart(const KeptTexts& texts, const wchar_t* current) {
  const bool perUser = GetInstallScope() == InstallScope::User;
  if (SetupFlags.Silent) {
    RecordChange(
        ChangeKind::Notice, L"", nullptr,
        perUser ? L"next logon needed (silent: not shown)" : L"restart needed (silent: not shown)");
    return;
  }
  (void)ShowMessageBox(nullptr, texts.RebootText, texts.Caption,
                       MB_ICONINFORMATION | MB_SETFOREGROUND);
  RecordChange(ChangeKind::Notice, L"", nullptr,
               perUser ? L"next logon needed (shown)" : L"restart needed (shown)");
  if (!perUser && GoesWithFilesInUse(current))
    (void)DeleteAtRestart(current);  // result ignored
}

}  // namespace

void RunUninstall() {
  wchar_t programPath[kPathBufferCapacity];
  DWORD programLength = GetProgramPath(programPath, kPathBufferCapacity);
  if (programLength == 0 || programLength >= kPathBufferCapacity)
    return;  // no whole path to go by

  wchar_t folder[kPathBufferCapacity];
  if (!EnterInstallationFolder(programPath, folder, kPathBufferCapacity))
    return;
  // A per-user installation (its entry names this folder, no machine-wide one does) is removed
  // in User scope also when its folder's program is started by hand, without /user.
  if (IsPerUserInstallation(folder))
    SetInstallScope(InstallScope::User);
  if (!ConfirmUninstall()) {
    SetupFlags.ExitCode = kExitDeclined;
    return;
  }
  UniqueStdioFile listFile = OpenUninstallList();
  if (!listFile)
    return;
  KeptTexts texts;
  KeepTexts(texts);

  RemoveIntegrationAndReleaseLanguage();
  if (SetupFlags.Msi)
    return;  // an installer package removes the files itself

  wchar_t current[kPathBufferCapacity];
  CurrentFolderForScript(current, kPathBufferCapacity);
  DeleteHelpIndexFiles();
  const bool rebootPending = DeleteListedEntries(listFile, folder, programPath, current);
  ForgetDeletedSettingsFile();
  RemoveBrowserDataFolder();

  if (rebootPending)
    TellAboutRestart(texts, current);
  // The program file and the folder go after this process has ended. Without the script the
  // program stays: the run has failed, whatever else it removed.
  if (!StartSelfRemoval(programPath, current))
    SetupFlags.ExitCode = kExitFailed;
  else if (rebootPending)
    SetupFlags.ExitCode = kExitRestartNeeded;
}
