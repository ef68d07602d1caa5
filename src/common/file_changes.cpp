#include "common/file_changes.h"

#include <cwchar>

#include "common/string_util.h"

namespace {

// The full path of a name relative to the current folder, as a report shows it: in its plain
// form (C:\..., \\server\...) also when it was reached through its long-path form; the name as
// given when it cannot be made full.
void FullPathFor(const wchar_t* path, wchar_t (&full)[kPathBufferCapacity]) {
  DWORD length = GetFullPathNameW(path, kPathBufferCapacity, full, nullptr);
  if (length == 0 || length >= kPathBufferCapacity)
    CopyBounded(full, path);
  if (std::wcsncmp(full, L"\\\\?\\UNC\\", 8) == 0) {
    std::wmemmove(full + 2, full + 8, WideLength(full + 8) + 1);  // \\?\UNC\s\x -> \\s\x
  } else if (std::wcsncmp(full, L"\\\\?\\", 4) == 0 && full[4] != 0 && full[5] == L':') {
    std::wmemmove(full, full + 4, WideLength(full + 4) + 1);  // \\?\C:\x -> C:\x
  }
}

}  // namespace

void RecordFileChange(ChangeKind kind, const wchar_t* path, const wchar_t* name,
                      const wchar_t* detail) {
  if (!IsRecordingChanges())
    return;
  wchar_t full[kPathBufferCapacity];
  FullPathFor(path, full);
  RecordChange(kind, full, name, detail);
}

bool RemoveEmptyFolder(const wchar_t* path) {
  if (!RemoveDirectoryW(path))
    return false;
  RecordFileChange(ChangeKind::FolderDeleted, path);
  return true;
}

bool CreateFolder(const wchar_t* path) {
  if (!CreateDirectoryW(path, nullptr))
    return false;
  RecordFileChange(ChangeKind::FolderCreated, path);
  return true;
}

bool SetAttributes(const wchar_t* path, DWORD attributes) {
  const DWORD before = IsRecordingChanges() ? GetFileAttributesW(path) : 0;
  if (!SetFileAttributesW(path, attributes))
    return false;
  if (IsRecordingChanges()) {
    wchar_t from[16];
    wchar_t to[16];
    // Attributes that could not be read are unknown, not a value.
    if (before == INVALID_FILE_ATTRIBUTES)
      CopyBounded(from, kUnknownData);
    else
      (void)std::swprintf(from, 16, L"0x%08lx", static_cast<unsigned long>(before));
    (void)std::swprintf(to, 16, L"0x%08lx", static_cast<unsigned long>(attributes));
    wchar_t full[kPathBufferCapacity];
    FullPathFor(path, full);
    RecordChangeFromTo(ChangeKind::AttributesSet, full, nullptr, from, to);
  }
  return true;
}

bool RenameFile(const wchar_t* from, const wchar_t* to) {
  if (!MoveFileW(from, to))
    return false;
  if (IsRecordingChanges()) {
    wchar_t target[kPathBufferCapacity];
    FullPathFor(to, target);
    RecordFileChange(ChangeKind::FileRenamed, from, target);
  }
  return true;
}

bool DeleteAtRestart(const wchar_t* path) {
  if (!MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
    return false;
  RecordFileChange(ChangeKind::DeleteAtRestart, path);
  return true;
}

bool CopyToNewFile(const wchar_t* from, const wchar_t* to) {
  if (!CopyFileW(from, to, TRUE))
    return false;
  RecordFileChange(ChangeKind::FileCreated, to, nullptr, L"copied");
  return true;
}
