#include "support/registry_sandbox.h"

#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "support/registry_dump.h"

namespace {

std::wstring UniqueName() {
  static int counter = 0;
  wchar_t buf[96];
  swprintf(buf, 96, L"%lu-%lu-%d", GetCurrentProcessId(), GetTickCount(), ++counter);
  return buf;
}

// Reports why the sandbox cannot be trusted and ends the test program: a test that went on
// would write to the real registry.
[[noreturn]] void AbortSandbox(const wchar_t* what, const wchar_t* rootName, LONG code) {
  (void)fwprintf(stderr, L"registry sandbox: %ls for %ls failed (error %ld); stopping.\n", what,
                 rootName, code);
  (void)fflush(stderr);
  (void)fflush(stdout);
  ExitProcess(3);
}

UniqueHKey CreateReal(HKEY parent, const std::wstring& path, const wchar_t* rootName) {
  UniqueHKey key;
  const LONG code = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key.put(), nullptr);
  if (code != ERROR_SUCCESS)
    AbortSandbox(L"creating the scratch key", rootName, code);
  return key;
}

}  // namespace

RegistrySandbox::RegistrySandbox() {
  // Open the real HKCU before any override so that the scratch keys can be reached later.
  const LONG opened = RegOpenCurrentUser(KEY_ALL_ACCESS, realHkcu_.put());
  if (opened != ERROR_SUCCESS)
    AbortSandbox(L"opening the real key", L"HKEY_CURRENT_USER", opened);
  base_ = L"Software\\VelloxTests\\" + UniqueName();
  hkcu_ = CreateReal(realHkcu_.get(), base_ + L"\\HKCU", L"HKEY_CURRENT_USER");
  hklm_ = CreateReal(realHkcu_.get(), base_ + L"\\HKLM", L"HKEY_LOCAL_MACHINE");
  // HKEY_CLASSES_ROOT is HKLM\Software\Classes; keep the same shape inside the sandbox.
  hkcr_ = CreateReal(realHkcu_.get(), base_ + L"\\HKLM\\Software\\Classes", L"HKEY_CLASSES_ROOT");
  VerifyOverride(HKEY_CURRENT_USER, hkcu_.get(), L"HKEY_CURRENT_USER");
  VerifyOverride(HKEY_LOCAL_MACHINE, hklm_.get(), L"HKEY_LOCAL_MACHINE");
  VerifyOverride(HKEY_CLASSES_ROOT, hkcr_.get(), L"HKEY_CLASSES_ROOT");
}

void RegistrySandbox::VerifyOverride(HKEY root, HKEY scratch, const wchar_t* rootName) {
  const LONG overridden = RegOverridePredefKey(root, scratch);
  if (overridden != ERROR_SUCCESS)
    AbortSandbox(L"overriding the root", rootName, overridden);
  // A value of a name unique to this sandbox, written into the scratch key and read back
  // through the root: only the scratch key can have it. The real registry is only read.
  const std::wstring probe = L"SandboxProbe-" + base_.substr(base_.find_last_of(L'\\') + 1);
  const DWORD written = 0x5A4E4442;
  LONG code = RegSetValueExW(scratch, probe.c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&written), sizeof(written));
  if (code != ERROR_SUCCESS)
    AbortSandbox(L"writing the probe value", rootName, code);
  DWORD read = 0;
  DWORD size = sizeof(read);
  code = RegQueryValueExW(root, probe.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&read),
                          &size);
  if (code != ERROR_SUCCESS || read != written)
    AbortSandbox(L"reading the probe value through the root", rootName, code);
  code = RegDeleteValueW(scratch, probe.c_str());
  if (code != ERROR_SUCCESS)
    AbortSandbox(L"deleting the probe value", rootName, code);
}

RegistrySandbox::~RegistrySandbox() {
  // The overrides go first: until then the predefined roots still lead into the scratch keys.
  (void)RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  (void)RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  (void)RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  hkcr_.reset();
  hklm_.reset();
  hkcu_.reset();
  (void)RegDeleteTreeW(realHkcu_.get(), base_.c_str());
  // Removes the parent only when no other sandbox still lives in it.
  (void)RegDeleteKeyW(realHkcu_.get(), L"Software\\VelloxTests");
}

std::wstring RegistrySandbox::ScratchPath(HKEY root) const {
  if (root == HKEY_CURRENT_USER)
    return base_ + L"\\HKCU";
  if (root == HKEY_CLASSES_ROOT)
    return base_ + L"\\HKLM\\Software\\Classes";
  return base_ + L"\\HKLM";
}

HKEY RegistrySandbox::OpenReal(HKEY root, const wchar_t* path, REGSAM access) const {
  std::wstring full = ScratchPath(root);
  if (path != nullptr && *path != 0)
    full += std::wstring(L"\\") + path;
  HKEY key = nullptr;
  if (RegOpenKeyExW(realHkcu_.get(), full.c_str(), 0, access, &key) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

std::wstring RegistrySandbox::Snapshot() const {
  std::vector<std::wstring> lines;
  const auto collect = [&lines](std::wstring line) { lines.push_back(std::move(line)); };
  RegDumpTree(realHkcu_.get(), ScratchPath(HKEY_CURRENT_USER), L"HKCU", collect);
  RegDumpTree(realHkcu_.get(), ScratchPath(HKEY_LOCAL_MACHINE), L"HKLM", collect);
  std::sort(lines.begin(), lines.end());
  std::wstring out;
  for (const auto& l : lines)
    out += l + L"\n";
  return out;
}

bool RegValueExists(HKEY root, const wchar_t* path, const wchar_t* name) {
  UniqueHKey key;
  if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    return false;
  return RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool RegKeyExists(HKEY root, const wchar_t* path, REGSAM view) {
  UniqueHKey key;
  return RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | view, key.put()) == ERROR_SUCCESS;
}

std::wstring RegReadString(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM view) {
  UniqueHKey key;
  if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) {
    return L"<no key>";
  }
  DWORD size = 0;
  DWORD type = 0;
  if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return L"<no value>";
  }
  std::vector<wchar_t> buf(size / 2 + 2, 0);
  RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
  return std::wstring(buf.data());
}

DWORD RegReadDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD fallback,
                   REGSAM view) {
  UniqueHKey key;
  if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) {
    return fallback;
  }
  DWORD value = 0;
  DWORD size = 4;
  DWORD type = 0;
  if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD) {
    return fallback;
  }
  return value;
}

void RegWriteString(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* value) {
  UniqueHKey key;
  if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                 static_cast<DWORD>((wcslen(value) + 1) * 2));
}

void RegWriteDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value) {
  UniqueHKey key;
  if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

void RegCreateReadOnlyKey(HKEY root, const wchar_t* path) {
  RegCreateKeyWithRights(root, path, L"KR");
}

void RegCreateKeyWithRights(HKEY root, const wchar_t* path, const wchar_t* rights) {
  const std::wstring sddl = std::wstring(L"D:P(A;OICI;") + rights + L";;;WD)";
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd,
                                                            nullptr)) {
    return;
  }
  // Wine ignores the security attributes of RegCreateKeyExW; setting the DACL afterwards works.
  UniqueHKey key;
  if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) ==
      ERROR_SUCCESS) {
    RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd);
  }
  LocalFree(sd);
}
