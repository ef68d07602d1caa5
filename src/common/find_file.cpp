#include "common/find_file.h"

#include "common/file.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "common/win_handles.h"

namespace {

// Fetches one entry for mask: the first one (FindFirstFileW, retried on the long-path form)
// when handle is not yet valid and first is set, else the next one from handle. On success
// fills data; its name keeps the mask's folder part as the caller wrote it.
bool FetchEntry(const wchar_t* mask, HANDLE& handle, bool first, FindData& data) {
  WIN32_FIND_DATAW found;
  if (first) {
    auto findFirst = [&](const wchar_t* attempt) {
      handle = FindFirstFileW(attempt, &found);
      return handle != INVALID_HANDLE_VALUE;
    };
    if (!WithLongPathRetry(mask, findFirst))
      return false;
  } else if (handle == INVALID_HANDLE_VALUE || !FindNextFileW(handle, &found)) {
    return false;  // ERROR_NO_MORE_FILES included; the handle stays open until destruction
  }
  CopyBounded(data.Name, mask, kPathBufferCapacity);
  ReplaceFileName(data.Name, found.cFileName, kPathBufferCapacity);
  data.Size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
  data.Attributes = found.dwFileAttributes;
  data.IsDirectory = IsDirectoryAttr(found.dwFileAttributes);
  data.IsReparsePoint = IsReparsePointAttr(found.dwFileAttributes);
  return true;
}

bool IsDotEntry(const wchar_t* name) {
  const wchar_t* part = FileNamePart(name);
  return part[0] == L'.' && (part[1] == 0 || (part[1] == L'.' && part[2] == 0));
}

}  // namespace

FindFile::~FindFile() {
  if (handle_ != INVALID_HANDLE_VALUE)
    FindClose(handle_);
}

void FindFile::SetMask(const wchar_t* mask) {
  // A new mask starts a new search: the old one's handle would otherwise be lost.
  if (handle_ != INVALID_HANDLE_VALUE)
    FindClose(handle_);
  handle_ = INVALID_HANDLE_VALUE;
  CopyBounded(mask_, mask, kPathBufferCapacity);
  first_ = true;
}

bool FindFile::Next(FindData& data) {
  if (mask_[0] == 0)
    return false;
  for (;;) {
    if (!FetchEntry(mask_, handle_, first_, data))
      return false;
    first_ = false;
    if (!IsDotEntry(data.Name))
      return true;
  }
}

bool FindOneFile(const wchar_t* name, FindData& data) {
  if (name == nullptr || name[0] == 0 || HasWildcards(name))
    return false;
  HANDLE raw = INVALID_HANDLE_VALUE;
  bool found = FetchEntry(name, raw, true, data);
  UniqueFindHandle search(raw);  // closed at once
  return found;
}
