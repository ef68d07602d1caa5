// Makes registry keys read-only for everyone, the way a machine without write access to
// HKEY_LOCAL_MACHINE looks to a program: each key named on the command line is created (when
// missing) and given the protected DACL "D:P(A;OICI;KR;;;WD)", which allows reading and nothing
// else. Opening such a key for writing then fails with ERROR_ACCESS_DENIED, also for a program
// that runs as an administrator (Wine runs every program as one).
//
//   lock_registry_key.exe HKLM\Software\Some\Key [HKCU\Other\Key ...]
//
// Roots: HKLM, HKCU, HKCR (the full names HKEY_LOCAL_MACHINE, ... work too). Exit code 0 when
// every key was locked; otherwise 1, with the failing key and error code on standard error.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>

namespace {

struct RootName {
  const wchar_t* Name;
  HKEY Root;
};

const RootName kRoots[] = {
    {L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKCU", HKEY_CURRENT_USER},  {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKCR", HKEY_CLASSES_ROOT},  {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
};

// Splits "ROOT\path" into the root handle and the path behind the first backslash.
bool SplitKeyName(const wchar_t* full, HKEY& root, const wchar_t*& path) {
  const wchar_t* slash = std::wcschr(full, L'\\');
  if (slash == nullptr || slash[1] == L'\0')
    return false;
  const size_t rootLength = static_cast<size_t>(slash - full);
  for (const RootName& candidate : kRoots) {
    if (std::wcslen(candidate.Name) == rootLength &&
        _wcsnicmp(candidate.Name, full, rootLength) == 0) {
      root = candidate.Root;
      path = slash + 1;
      return true;
    }
  }
  return false;
}

// Creates the key and replaces its DACL; returns a Windows error code (0 on success).
LONG LockKey(HKEY root, const wchar_t* path, PSECURITY_DESCRIPTOR descriptor) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_READ | WRITE_DAC, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS)
    return status;
  status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
  RegCloseKey(key);
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fwprintf(stderr, L"usage: lock_registry_key ROOT\\key [ROOT\\key ...]\n");
    return 1;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;KR;;;WD)", SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    std::fwprintf(stderr, L"cannot build the security descriptor: %lu\n", GetLastError());
    return 1;
  }
  int exitCode = 0;
  for (int i = 1; i < argc; ++i) {
    HKEY root = nullptr;
    const wchar_t* path = nullptr;
    if (!SplitKeyName(argv[i], root, path)) {
      std::fwprintf(stderr, L"not a key name: %ls\n", argv[i]);
      exitCode = 1;
      continue;
    }
    const LONG status = LockKey(root, path, descriptor);
    if (status != ERROR_SUCCESS) {
      std::fwprintf(stderr, L"cannot lock %ls: error %ld\n", argv[i], status);
      exitCode = 1;
    }
  }
  LocalFree(descriptor);
  return exitCode;
}
