#include "app/list_walk.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <unordered_set>
#include <utility>

#include "app/file_list.h"
#include "common/file.h"
#include "common/file_changes.h"
#include "common/path_util.h"
#include "common/remove_folder_tree.h"
#include "common/string_util.h"
#include "settings/settings_store.h"

namespace {

// The attributes that can keep an entry from being deleted. An entry without any of them is
// never given FILE_ATTRIBUTE_NORMAL: that change would change nothing the deletion depends on.
constexpr DWORD kClearableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr unsigned kLastTempNumber = 999;

// Remembers, for one walk, the folders below the installation folder that were found not to be
// links, so that the files of one folder cost one look at it and not one each.
class LinkCheck {
 public:
  explicit LinkCheck(size_t folderLength) : folderLength_(folderLength) {}

  // Null when every folder between the installation folder and the entry is a plain folder;
  // otherwise why the entry must not be touched: a folder on the way is a reparse point, or
  // has gone. The entry itself is not examined.
  const wchar_t* WhyUnreachable(const wchar_t* path) {
    size_t length = WideLength(path);
    // The end of the parent: the last separator that has a name behind it.
    size_t parentEnd = length;
    while (parentEnd > folderLength_ && IsSeparator(path[parentEnd - 1]))
      --parentEnd;
    while (parentEnd > folderLength_ && !IsSeparator(path[parentEnd - 1]))
      --parentEnd;
    if (parentEnd <= folderLength_)
      return nullptr;  // directly in the installation folder
    std::wstring parent(path, parentEnd - 1);
    if (parent == lastSafe_)
      return nullptr;
    // A folder is taken as safe only once every folder above it was: a safe parent vouches for
    // the whole way down to it.
    if (safe_.count(parent) != 0) {
      lastSafe_ = std::move(parent);
      return nullptr;
    }
    // Every folder from the top down, each looked at once per walk.
    for (size_t i = folderLength_; i < parentEnd; ++i) {
      if (!IsSeparator(path[i]) || i == folderLength_ || IsSeparator(path[i - 1]))
        continue;
      std::wstring ancestor(path, i);
      if (safe_.count(ancestor) != 0)
        continue;
      DWORD attributes = GetFileAttributesW(ancestor.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES)
        return L"its folder is missing";
      if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return L"reached through a link";
      safe_.insert(ancestor);
    }
    lastSafe_ = parent;
    return nullptr;
  }

 private:
  size_t folderLength_;
  std::wstring lastSafe_;
  std::unordered_set<std::wstring> safe_;
};

bool IsLeftForLater(const wchar_t* path, const wchar_t* programPath) {
  const wchar_t* name = FileNamePart(path);
  return CompareNoCase(name, FileNamePart(programPath)) == 0 ||
         CompareNoCase(name, L"Uninstall.lst") == 0;
}

}  // namespace

bool MoveAsideForRestart(const wchar_t* path) {
  size_t length = WideLength(path);
  wchar_t temp[kPathBufferCapacity];
  const wchar_t* scheduled = path;
  // ".999.tmp" and the terminator must fit: a name cut short would be some other file.
  if (length + 9 <= kPathBufferCapacity) {
    for (unsigned n = 0; n <= kLastTempNumber; ++n) {
      wchar_t number[8];
      IntToDecimal(n, number, 8);
      CopyBounded(temp, path);
      AppendBounded(temp, L".");
      AppendBounded(temp, number);
      AppendBounded(temp, L".tmp");
      if (GetFileAttributesW(temp) == INVALID_FILE_ATTRIBUTES)
        break;
    }
    if (RenameFile(path, temp))
      scheduled = temp;
  }
  return DeleteAtRestart(scheduled);
}

bool DeleteAtLogon(const wchar_t* path, const wchar_t* folder) {
  // The list's names are relative to the installation folder; the command runs elsewhere.
  wchar_t full[kPathBufferCapacity];
  DWORD length = GetFullPathNameW(path, kPathBufferCapacity, full, nullptr);
  if (length == 0 || length >= kPathBufferCapacity)
    return false;
  wchar_t shortPath[kPathBufferCapacity];
  length = GetShortPathNameW(full, shortPath, kPathBufferCapacity);
  if (length == 0 || length >= kPathBufferCapacity)
    CopyBounded(shortPath, full);
  wchar_t comspec[kPathBufferCapacity];
  length = GetEnvironmentVariableW(L"ComSpec", comspec, kPathBufferCapacity);
  if (length == 0 || length >= kPathBufferCapacity)
    return false;  // no interpreter to name
  wchar_t shortComspec[kPathBufferCapacity];
  length = GetShortPathNameW(comspec, shortComspec, kPathBufferCapacity);
  if (length != 0 && length < kPathBufferCapacity)
    CopyBounded(comspec, shortComspec);

  // The run-once command is read into a buffer of MAX_PATH characters: keep it below that.
  wchar_t command[kPathBufferCapacity];
  CopyBounded(command, L"\"");
  AppendBounded(command, comspec);
  AppendBounded(command, L"\" /d /c del /f /q \"");
  AppendBounded(command, shortPath);
  AppendBounded(command, L"\"");
  if (WideLength(command) >= MAX_PATH)
    return false;
  wchar_t shortFolder[kPathBufferCapacity];
  if (folder != nullptr) {
    length = GetShortPathNameW(folder, shortFolder, kPathBufferCapacity);
    if (length != 0 && length < kPathBufferCapacity) {
      const size_t base = WideLength(command);
      AppendBounded(command, L" & rd \"");
      AppendBounded(command, shortFolder);
      AppendBounded(command, L"\" 2>nul");
      if (WideLength(command) >= MAX_PATH)
        command[base] = 0;  // the file alone, then
    }
  }

  // The first free value name: another file's command, or an earlier run's, stays.
  wchar_t name[32];
  for (unsigned n = 1; n <= kLastTempNumber; ++n) {
    CopyBounded(name, L"Vellox delete ");
    wchar_t number[8];
    IntToDecimal(n, number, 8);
    AppendBounded(name, number);
    wchar_t existing[kPathBufferCapacity];
    if (ReadSettingString(HKEY_CURRENT_USER, kRunOnceKey, name, existing, L"",
                          kPathBufferCapacity)) {
      continue;
    }
    if (WriteSettingString(HKEY_CURRENT_USER, kRunOnceKey, name, command) != ERROR_SUCCESS)
      return false;
    RecordFileChange(ChangeKind::DeleteAtLogon, path, name);
    return true;
  }
  return false;
}

size_t WalkListOnce(UninstallList& list, ListWalkState& state) {
  size_t removed = 0;
  LinkCheck links(WideLength(state.Folder));
  for (size_t i = 0; i < list.Count(); ++i) {
    if (list.IsSettled(i))
      continue;
    const wchar_t* path = list.Path(i);
    if (const wchar_t* why = links.WhyUnreachable(path)) {
      list.Settle(i);  // reached through a link (or its folder is gone): never touched
      RecordChange(ChangeKind::Skipped, path, nullptr, why);
      continue;
    }
    // Most entries are plain files, and one call removes them. DeleteFileW never follows a
    // link and fails on folders, so the attributes are needed only when it fails. An entry that
    // an earlier walk found to be a folder is not offered to DeleteFileW again.
    const bool knownFolder = i < state.KnownFolders.size() && state.KnownFolders[i];
    if (!knownFolder && RemoveFile(path)) {
      ++removed;
      list.Settle(i);
      continue;
    }
    DWORD attributes = GetFileAttributesW(path);
    if (knownFolder && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      // No longer a folder: it gets what every entry gets, from the first call on.
      state.KnownFolders[i] = false;
      if (RemoveFile(path)) {
        ++removed;
        list.Settle(i);
        continue;
      }
      attributes = GetFileAttributesW(path);
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      list.Settle(i);
      RecordChange(ChangeKind::Skipped, path, nullptr, L"missing");
      continue;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      // Removed as a link, whatever it points to; never emptied through it.
      if (RemoveReparsePointItself(path)) {
        ++removed;
      } else {
        RecordChange(ChangeKind::Skipped, path, nullptr, L"a link that cannot be removed as such");
      }
      list.Settle(i);
      continue;
    }
    // Read-only (and hidden or system) entries are made plain first.
    bool cleared =
        (attributes & kClearableAttributes) != 0 && SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      // Succeeds only once the folder is empty; until then a later walk tries again.
      if (RemoveEmptyFolder(path)) {
        ++removed;
        list.Settle(i);
      } else {
        if (state.KnownFolders.size() < list.Count())
          state.KnownFolders.resize(list.Count());
        state.KnownFolders[i] = true;
      }
      continue;
    }
    if (cleared && RemoveFile(path)) {
      ++removed;
    } else if (IsLeftForLater(path, state.ProgramPath)) {
      RecordChange(ChangeKind::Skipped, path, nullptr, L"deleted at the end");
    } else if (GetInstallScope() == InstallScope::User) {
      // In use, and no rights to schedule anything at restart: the user's next logon takes it.
      state.RebootPending = true;
      if (!DeleteAtLogon(path, state.LogonFolder))
        RecordChange(ChangeKind::Skipped, path, nullptr, L"in use; logon deletion refused");
    } else {
      // The file exists but cannot be deleted now: in use.
      state.RebootPending = true;
      if (!MoveAsideForRestart(path))
        RecordChange(ChangeKind::Skipped, path, nullptr, L"in use; restart deletion refused");
    }
    list.Settle(i);
  }
  return removed;
}

size_t WalkListUntilDone(UninstallList& list, ListWalkState& state) {
  size_t walks = 0;
  while (WalkListOnce(list, state) != 0)
    ++walks;
  // What is still unsettled is a folder that kept something the list did not name.
  for (size_t i = 0; i < list.Count() && IsRecordingChanges(); ++i) {
    if (!list.IsSettled(i))
      RecordChange(ChangeKind::Skipped, list.Path(i), nullptr, L"folder not empty");
  }
  return walks + 1;
}
