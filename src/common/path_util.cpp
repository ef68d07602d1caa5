#include "common/path_util.h"

#include <windows.h>

#include "common/string_util.h"

namespace {

// Appends src behind dest[0..len) within capacity, writing '\' for every '/', and terminates.
// Returns the new length. The caller has checked that the whole text fits.
size_t AppendWithBackslashes(wchar_t* dest, size_t len, const wchar_t* src, size_t capacity) {
  for (; *src != 0 && len + 1 < capacity; ++src)
    dest[len++] = *src == L'/' ? L'\\' : *src;
  if (len < capacity)
    dest[len] = 0;
  return len;
}

// \\?\ followed by prefix and then path (with '/' turned into '\'), when it fits.
bool BuildLongForm(const wchar_t* prefix, const wchar_t* path, wchar_t* dest, size_t capacity) {
  size_t need = 4 + WideLength(prefix) + WideLength(path);
  if (need >= capacity)
    return false;
  CopyBounded(dest, L"\\\\?\\", capacity);
  size_t len = AppendWithBackslashes(dest, 4, prefix, capacity);
  AppendWithBackslashes(dest, len, path, capacity);
  return true;
}

}  // namespace

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

const wchar_t* FileNamePart(const wchar_t* path) {
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p != 0; ++p) {
    if (IsSeparator(*p))
      name = p + 1;
  }
  if (name == path && path[0] != 0 && path[1] == L':')
    name = path + 2;
  return name;
}

wchar_t* FileNamePart(wchar_t* path) {
  return const_cast<wchar_t*>(FileNamePart(static_cast<const wchar_t*>(path)));
}

void CutFileName(wchar_t* path) {
  wchar_t* name = FileNamePart(path);
  size_t pos = static_cast<size_t>(name - path);
  size_t cut = pos;
  // The separator in front of the name goes too, unless it belongs to a root (\x, C:\x).
  bool keepRoot = pos < 2 || (HasDriveLetter(path) && pos < 4);
  if (!keepRoot && IsSeparator(path[pos - 1]))
    cut = pos - 1;
  path[cut] = 0;
}

void ReplaceFileName(wchar_t* path, const wchar_t* newName, size_t capacity) {
  wchar_t* name = FileNamePart(path);
  size_t offset = static_cast<size_t>(name - path);
  if (offset >= capacity)
    return;  // no room at all behind the folder part
  CopyBounded(name, newName, capacity - offset);
}

void FolderOfPath(const wchar_t* path, wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return;
  size_t len = static_cast<size_t>(FileNamePart(path) - path);
  if (len > capacity - 1)
    len = capacity - 1;
  // Forward copy: dest may be the same buffer as path.
  for (size_t i = 0; i < len; ++i)
    dest[i] = path[i];
  dest[len] = 0;
}

size_t EnsureTrailingBackslash(wchar_t* path, size_t capacity) {
  size_t len = WideLength(path);
  if (len != 0 && path[len - 1] != L'\\' && len + 1 < capacity) {
    path[len] = L'\\';
    path[len + 1] = 0;
  }
  return len;
}

void JoinPath(const wchar_t* folder, const wchar_t* name, wchar_t* dest, size_t capacity) {
  // Built in scratch space so that dest may be the same buffer as folder (or name).
  wchar_t joined[kPathBufferCapacity];
  CopyBounded(joined, folder, kPathBufferCapacity);
  size_t len = WideLength(joined);
  // An empty folder adds no separator: joining "" and x gives x, not the root path \x.
  bool isDrivePrefix = len == 2 && HasDriveLetter(joined);
  if (len != 0 && joined[len - 1] != L'\\' && !isDrivePrefix)
    AppendBounded(joined, L"\\", kPathBufferCapacity);
  AppendBounded(joined, name, kPathBufferCapacity);
  CopyBounded(dest, joined, capacity);
}

const wchar_t* LastChar(const wchar_t* path) {
  size_t len = WideLength(path);
  return len != 0 ? path + len - 1 : path;
}

bool HasDriveLetter(const wchar_t* path) {
  return path != nullptr && IsAsciiLetter(path[0]) && path[1] == L':';
}

bool IsAbsolutePath(const wchar_t* path) {
  if (path == nullptr)
    return false;
  if (path[0] == L'\\' && path[1] == L'\\')
    return true;
  return HasDriveLetter(path) && IsSeparator(path[2]);
}

bool HasWildcards(const wchar_t* path) {
  if (path == nullptr)
    return false;
  if (path[0] == L'\\' && path[1] == L'\\' && path[2] == L'?' && path[3] == L'\\')
    path += 4;
  for (; *path != 0; ++path) {
    if (*path == L'*' || *path == L'?')
      return true;
  }
  return false;
}

bool ToLongPathForm(const wchar_t* path, wchar_t* dest, size_t capacity) {
  if (path == nullptr || path[0] == 0 || capacity == 0)
    return false;
  size_t len = WideLength(path);

  // Already in the \\?\ or \\.\ form: nothing to add.
  if (path[0] == L'\\' && path[1] == L'\\' && (path[2] == L'?' || path[2] == L'.') &&
      path[3] == L'\\') {
    if (len >= capacity)
      return false;
    CopyBounded(dest, path, capacity);
    return true;
  }
  // C:\dir\x -> \\?\C:\dir\x
  if (HasDriveLetter(path) && IsSeparator(path[2])) {
    if (len + 4 >= capacity)
      return false;
    return BuildLongForm(L"", path, dest, capacity);
  }
  // \\srv\share\x -> \\?\UNC\srv\share\x
  if (path[0] == L'\\' && path[1] == L'\\') {
    if (len + 6 >= capacity)
      return false;
    return BuildLongForm(L"UNC", path + 1, dest, capacity);
  }
  // C:x is relative to the current folder of drive C:, which only the system knows.
  if (HasDriveLetter(path)) {
    wchar_t full[kPathBufferCapacity];
    DWORD got = GetFullPathNameW(path, kPathBufferCapacity, full, nullptr);
    if (got == 0 || got >= kPathBufferCapacity || !HasDriveLetter(full) || !IsSeparator(full[2]))
      return false;
    return BuildLongForm(L"", full, dest, capacity);
  }

  wchar_t current[kPathBufferCapacity];
  DWORD got = GetCurrentDirectoryW(kPathBufferCapacity - 1, current);
  if (got == 0 || got > kPathBufferCapacity - 1)
    return false;

  // \x -> \\?\ + the current drive + \x. A current folder without a drive prefix (a network
  // folder) has no drive to put in front, so no long form is made.
  if (IsSeparator(path[0])) {
    if (len + 6 >= capacity || !HasDriveLetter(current))
      return false;
    wchar_t drive[3] = {current[0], current[1], 0};
    return BuildLongForm(drive, path, dest, capacity);
  }

  // x -> \\?\ + current folder + \ + x; a leading .\ or ./ is dropped.
  EnsureTrailingBackslash(current, kPathBufferCapacity);
  if (path[0] == L'.' && IsSeparator(path[1])) {
    path += 2;
    len -= 2;
  }
  if (WideLength(current) + len + 4 >= capacity)
    return false;
  return BuildLongForm(current, path, dest, capacity);
}
