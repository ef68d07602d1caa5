// Prints registry trees as text, one line per key and per value, so that two snapshots taken
// before and after a program run can be compared with diff. One process reads every key asked
// for, which is far quicker under Wine than one "reg export" per key.
//
//   reg_snapshot.exe KEY [KEY|PATTERN;PATTERN...] ...
//
// KEY is a full key name (HKLM\..., HKCU\..., or the long root names); the key and everything
// below it is printed. KEY|PATTERNS prints only the subkeys of KEY whose names match one of the
// patterns (case-insensitive; ? is any one character, * any run of characters), each with
// everything below it. Missing keys print nothing.
//
// Output, UTF-8, in the syntax of a registry export, each line led by its key (the lines of
// support/registry_dump.h, as the registry sandbox's snapshots have them).
// Exit code 0, or 1 for a malformed argument.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "common/win_handles.h"
#include "support/registry_dump.h"

namespace {

struct RootName {
  const wchar_t* Short;
  const wchar_t* Long;
  HKEY Root;
};

const RootName kRoots[] = {
    {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
};

void Print(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size,
                      nullptr, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

// Prints the key path below parent, its values and all below it, one line each.
void DumpTree(HKEY parent, const std::wstring& path, const std::wstring& shownName) {
  RegDumpTree(parent, path, shownName, [](const std::wstring& line) { Print(line + L"\n"); });
}

// Case-insensitive wildcard match: ? is one character, * any run.
bool Matches(const wchar_t* pattern, const wchar_t* text) {
  if (*pattern == L'\0')
    return *text == L'\0';
  if (*pattern == L'*')
    return Matches(pattern + 1, text) || (*text != L'\0' && Matches(pattern, text + 1));
  if (*text == L'\0')
    return false;
  if (*pattern != L'?' && towupper(*pattern) != towupper(*text))
    return false;
  return Matches(pattern + 1, text + 1);
}

bool MatchesAny(const std::wstring& patterns, const std::wstring& name) {
  size_t start = 0;
  while (start <= patterns.size()) {
    size_t end = patterns.find(L';', start);
    if (end == std::wstring::npos)
      end = patterns.size();
    if (Matches(patterns.substr(start, end - start).c_str(), name.c_str()))
      return true;
    start = end + 1;
  }
  return false;
}

bool Dump(const std::wstring& argument) {
  const size_t bar = argument.find(L'|');
  const std::wstring full = argument.substr(0, bar);
  const size_t slash = full.find(L'\\');
  const std::wstring rootText = full.substr(0, slash);
  const std::wstring path = slash == std::wstring::npos ? std::wstring() : full.substr(slash + 1);
  const RootName* root = nullptr;
  for (const RootName& candidate : kRoots) {
    if (_wcsicmp(candidate.Short, rootText.c_str()) == 0 ||
        _wcsicmp(candidate.Long, rootText.c_str()) == 0)
      root = &candidate;
  }
  if (root == nullptr)
    return false;
  const std::wstring shown = path.empty() ? root->Long : std::wstring(root->Long) + L"\\" + path;
  if (bar == std::wstring::npos) {
    DumpTree(root->Root, path, shown);
    return true;
  }
  const std::wstring patterns = argument.substr(bar + 1);
  UniqueHKey key;
  if (RegOpenKeyExW(root->Root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return true;
  std::vector<wchar_t> name(16384);
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key.get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS)
      break;
    const std::wstring child(name.data(), nameLength);
    if (MatchesAny(patterns, child))
      DumpTree(key.get(), child, shown + L"\\" + child);
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int exitCode = 0;
  for (int i = 1; i < argc; ++i) {
    if (!Dump(argv[i])) {
      std::fwprintf(stderr, L"not a key name: %ls\n", argv[i]);
      exitCode = 1;
    }
  }
  std::fflush(stdout);
  return exitCode;
}
