#include "integration/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/file.h"
#include "common/file_changes.h"
#include "common/find_file.h"
#include "common/path_util.h"
#include "common/program_path.h"
#include "common/remove_folder_tree.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "common/win_handles.h"
#include "integration/com_apartment.h"
#include "integration/os_version.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "settings/settings_store.h"

namespace {

constexpr wchar_t kLinkName[] = L"Vellox.lnk";
constexpr wchar_t kGroupName[] = L"Vellox";
constexpr wchar_t kUnknownFolder[] = L"unknown_folder";

// One shortcut of the program group. The target is a file beside this program, named either
// by TargetFile or by the message TargetTextId; the shortcut's title likewise.
struct GroupItem {
  const wchar_t* TargetFile;
  int TargetTextId;
  const wchar_t* Title;
  int TitleTextId;
  bool ArchiverIcon;  // carries the theme icon of the archiver's shortcuts
};

const GroupItem kGroupItems[] = {
    {L"Vellox.exe", 0, L"Vellox", 0, true},
    {L"Vellox.chm", 0, nullptr, IDS_VELLOXHELP, false},
    {L"Vlx.txt", 0, nullptr, IDS_VLXHELP, false},
    {nullptr, IDS_WHATSNEWNAME, nullptr, IDS_WHATSNEW, false},
};

// Texts from the message tables are translatable: a title or file name must stay one plain
// name inside its folder, so separators and the characters that Windows refuses in names
// become '_'. An empty result is left empty for the caller to replace.
void MakePlainFileName(const wchar_t* text, wchar_t* dest, size_t capacity) {
  CopyBounded(dest, text, capacity);
  for (wchar_t* p = dest; *p != 0; ++p) {
    if (*p < 32 || wcschr(L"\\/:*?\"<>|", *p) != nullptr)
      *p = L'_';
  }
  // Names made only of dots ("." and "..") would climb out of the folder.
  const wchar_t* q = dest;
  while (*q == L'.' || *q == L' ')
    ++q;
  if (*q == 0)
    dest[0] = 0;
}

// Deletes the files directly in a group folder; subfolders stay. A folder that is a reparse
// point is not emptied: its files belong to wherever it points.
void EmptyGroupFolder(const wchar_t* folder) {
  DWORD attributes = GetFileAttr(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || !IsDirectoryAttr(attributes) ||
      IsReparsePointAttr(attributes)) {
    return;
  }
  wchar_t mask[kPathBufferCapacity];
  JoinPath(folder, L"*", mask, kPathBufferCapacity);
  FindFile find;
  find.SetMask(mask);
  FindData data;
  while (find.Next(data)) {
    if (!data.IsDirectory)
      (void)RemoveFile(data.Name);  // a file that stays is overwritten
  }
}

struct LinkContext {
  const wchar_t* Archiver;     // full path of Vellox.exe
  const wchar_t* Folder;       // program folder with a trailing backslash
  const wchar_t* WorkDir;      // per-user desktop, or null when unknown
  const wchar_t* Description;  // IDS_VELLOXDESC
  const wchar_t* Icon;         // theme icon, or null
};

void FillGroup(const wchar_t* group, const LinkContext& context) {
  for (const GroupItem& item : kGroupItems) {
    wchar_t name[kPathBufferCapacity];
    MakePlainFileName(item.TargetFile != nullptr ? item.TargetFile : MessageText(item.TargetTextId),
                      name, kPathBufferCapacity);
    if (name[0] == 0)
      continue;  // no target named
    wchar_t target[kPathBufferCapacity];
    JoinPath(context.Folder, name, target, kPathBufferCapacity);
    if (!IsExistingFile(target))
      continue;

    wchar_t title[kPathBufferCapacity];
    MakePlainFileName(item.Title != nullptr ? item.Title : MessageText(item.TitleTextId), title,
                      kPathBufferCapacity);
    if (title[0] == 0)
      CopyBounded(title, name);
    AppendBounded(title, L".lnk");
    wchar_t link[kPathBufferCapacity];
    JoinPath(group, title, link, kPathBufferCapacity);
    (void)CreateShellLink(target, link, context.WorkDir, context.Description,
                          item.ArchiverIcon ? context.Icon : nullptr);
  }
}

// One program group below the programs folder parent. Removes it, or empties and rebuilds it.
// Returns whether the group folder exists after a rebuild.
bool UpdateGroup(const wchar_t* parent, bool wanted, const LinkContext& context, wchar_t* group) {
  JoinPath(parent, kGroupName, group, kPathBufferCapacity);
  if (!wanted) {
    RemoveFolderTree(group);
    return false;
  }
  EmptyGroupFolder(group);
  (void)CreateFolder(group);  // an existing folder is no error
  DWORD attributes = GetFileAttr(group);
  if (attributes == INVALID_FILE_ATTRIBUTES || !IsDirectoryAttr(attributes))
    return false;
  FillGroup(group, context);
  return true;
}

// Updates or deletes one shortcut to the archiver.
void UpdateArchiverLink(const wchar_t* link, bool wanted, const LinkContext& context,
                        const wchar_t* workDir) {
  if (wanted) {
    (void)CreateShellLink(context.Archiver, link, workDir, context.Description, context.Icon);
  } else {
    (void)RemoveFile(link);  // a missing shortcut is no error
  }
}

}  // namespace

bool GetKnownFolder(wchar_t* buffer, size_t capacity, int csidl) {
  if (buffer == nullptr || capacity == 0)
    return false;
  if (capacity >= MAX_PATH) {
    if (GetSpecialFolderOverride(csidl, buffer, capacity)) {
      if (buffer[0] != 0)
        return true;
    } else if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
      return true;
    }
  }
  CopyBounded(buffer, kUnknownFolder, capacity);
  return false;
}

bool CreateShellLink(const wchar_t* target, const wchar_t* linkPath, const wchar_t* workDir,
                     const wchar_t* description, const wchar_t* iconPath) {
  ComApartment com;  // declared first: released after the link objects
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.put_void()))) {
    return false;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link.As(file)))
    return false;
  // A missing shortcut is no error: the link starts empty. An existing one keeps what is not
  // set below (hot key, show command, arguments).
  const bool existed = SUCCEEDED(file->Load(linkPath, STGM_READWRITE));
  (void)link->SetPath(target);
  if (description != nullptr)
    (void)link->SetDescription(description);
  (void)link->SetIconLocation(iconPath != nullptr ? iconPath : L"", 0);
  if (workDir != nullptr)
    (void)link->SetWorkingDirectory(workDir);
  if (FAILED(file->Save(linkPath, TRUE)))
    return false;
  RecordFileChange(ChangeKind::FileCreated, linkPath, target, existed ? L"replaced" : nullptr);
  return true;
}

void UpdateShortcuts(const IntegrationOptions& options, wchar_t* groupFolder, size_t capacity,
                     const wchar_t* iconPath) {
  if (!IsIntegrationEnabled())
    return;
  ComApartment com;  // one apartment for all the shortcuts of the run
  wchar_t folder[kPathBufferCapacity];
  if (!ProgramSiblingPath(L"", folder, kPathBufferCapacity))  // the folder, trailing backslash kept
    return;
  wchar_t archiver[kPathBufferCapacity];
  JoinPath(folder, L"Vellox.exe", archiver, kPathBufferCapacity);
  wchar_t description[1024];
  CopyBounded(description, MessageText(IDS_VELLOXDESC));
  const bool vistaOrLater = GetWindowsVersion() >= 0x600;

  // Desktop: the user's own shortcut when there is one, else the all-users one. A folder that
  // cannot be found is skipped rather than taken relative to the current directory.
  wchar_t userDesktop[kPathBufferCapacity];
  const bool haveUserDesktop =
      GetKnownFolder(userDesktop, kPathBufferCapacity, CSIDL_DESKTOPDIRECTORY);
  if (!haveUserDesktop && !vistaOrLater)
    return;
  LinkContext context = {archiver, folder, haveUserDesktop ? userDesktop : nullptr, description,
                         iconPath};

  wchar_t link[kPathBufferCapacity];
  bool haveLink = false;
  if (haveUserDesktop) {
    JoinPath(userDesktop, kLinkName, link, kPathBufferCapacity);
    haveLink = IsExistingFile(link);
  }
  // A per-user installation uses the user's own folders only, never the common ones.
  const bool perUser = GetInstallScope() == InstallScope::User;
  if (!haveLink && !perUser) {
    wchar_t commonDesktop[kPathBufferCapacity];
    if (GetKnownFolder(commonDesktop, kPathBufferCapacity, CSIDL_COMMON_DESKTOPDIRECTORY)) {
      JoinPath(commonDesktop, kLinkName, link, kPathBufferCapacity);
      haveLink = true;
    }
  }
  if (!haveLink && perUser && haveUserDesktop)
    haveLink = true;  // the user's own desktop, where the new shortcut goes
  if (haveLink)
    UpdateArchiverLink(link, options.Desktop != 0, context, nullptr);

  // Start menu: the all-users one from Windows 6.0 on, the user's own before.
  wchar_t startMenu[kPathBufferCapacity];
  if (GetKnownFolder(startMenu, kPathBufferCapacity,
                     vistaOrLater && !perUser ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU)) {
    JoinPath(startMenu, kLinkName, link, kPathBufferCapacity);
    UpdateArchiverLink(link, options.StartMenu != 0, context, context.WorkDir);
  }

  // Program groups: the per-user one, then the all-users one, which the output names when it
  // could be made.
  wchar_t parent[kPathBufferCapacity];
  wchar_t group[kPathBufferCapacity];
  if (GetKnownFolder(parent, kPathBufferCapacity, CSIDL_PROGRAMS)) {
    if (options.Programs && groupFolder != nullptr) {
      JoinPath(parent, kGroupName, group, kPathBufferCapacity);
      CopyBounded(groupFolder, group, capacity);
    }
    (void)UpdateGroup(parent, options.Programs != 0, context, group);
  }
  if (!perUser && GetKnownFolder(parent, kPathBufferCapacity, CSIDL_COMMON_PROGRAMS)) {
    if (UpdateGroup(parent, options.Programs != 0, context, group) && groupFolder != nullptr) {
      CopyBounded(groupFolder, group, capacity);
    }
  }
}
