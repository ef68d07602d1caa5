#pragma once
// Reads the deletions scheduled for the next restart (PendingFileRenameOperations), for tests of
// files in use.

#include <windows.h>

#include <string>
#include <vector>

#include "common/win_handles.h"

// The source names recorded for deletion at restart, as "\??\C:\..." texts.
inline std::vector<std::wstring> PendingDeletions() {
  std::vector<std::wstring> entries;
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
    return entries;
  }
  DWORD size = 0;
  if (RegQueryValueExW(key.get(), L"PendingFileRenameOperations", nullptr, nullptr, nullptr,
                       &size) != ERROR_SUCCESS) {
    return entries;
  }
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, 0);
  if (RegQueryValueExW(key.get(), L"PendingFileRenameOperations", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
    return entries;
  }
  // Pairs of source and target; a deletion has an empty target.
  const wchar_t* end = data.data() + data.size();
  for (const wchar_t* p = data.data(); p < end && *p != 0;) {
    entries.emplace_back(p);
    p += entries.back().size() + 1;
    if (p < end)
      p += std::wstring(p).size() + 1;
  }
  return entries;
}

inline bool IsPendingDeletion(const std::wstring& path) {
  for (const std::wstring& entry : PendingDeletions()) {
    if (_wcsicmp(entry.c_str(), (L"\\??\\" + path).c_str()) == 0)
      return true;
  }
  return false;
}
