#pragma once
// Walking the entries that match a mask (FindFirstFileW / FindNextFileW), and a one-shot query
// for a single named file.

#include <windows.h>

#include <cstdint>

#include "common/string_util.h"

struct FindData {
  // Full path: the mask with its file-name part replaced by the found name.
  wchar_t Name[kPathBufferCapacity];
  uint64_t Size;
  DWORD Attributes;
  bool IsDirectory;
  bool IsReparsePoint;
};

class FindFile {
 public:
  FindFile() = default;
  FindFile(const FindFile&) = delete;
  FindFile& operator=(const FindFile&) = delete;
  ~FindFile();  // closes the search handle when valid

  void SetMask(const wchar_t* mask);
  // The next entry other than "." and ".."; false when there are no more or the mask is empty.
  bool Next(FindData& data);

 private:
  wchar_t mask_[kPathBufferCapacity] = {};
  bool first_ = true;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// False for a name with wildcards; otherwise one search on the name, closed at once.
bool FindOneFile(const wchar_t* name, FindData& data);
