#include "integration/os_version.h"

#include <windows.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <cwchar>

#include "common/test_seams.h"
#include "common/win_handles.h"
#include "integration/com_apartment.h"

namespace {

struct VersionInfo {
  DWORD Platform;
  DWORD Major;
  DWORD Minor;
  DWORD Build;
};

bool g_versionKnown = false;
VersionInfo g_version;
int g_newShell = -1;  // -1 until computed, then 0 or 1

// The version as the system reports it (or as a test set it). A failing GetVersionExW leaves
// everything 0, which reads as a non-NT platform.
VersionInfo QueryVersion() {
  VersionInfo result = {0, 0, 0, 0};
  WindowsVersionOverride forced;
  if (GetWindowsVersionOverride(forced)) {
    result = {VER_PLATFORM_WIN32_NT, forced.Major, forced.Minor, forced.Build};
    return result;
  }
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (GetVersionExW(&info)) {
#pragma GCC diagnostic pop
    result = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
  }
  return result;
}

struct BstrTraits {
  static BSTR Invalid() { return nullptr; }
  static void Close(BSTR s) { SysFreeString(s); }
};
using UniqueBstr = UniqueResource<BSTR, BstrTraits>;

// Clears a VARIANT when it goes out of scope.
struct VariantHolder {
  VARIANT Value;
  VariantHolder() { VariantInit(&Value); }
  ~VariantHolder() { (void)VariantClear(&Value); }
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;
};

bool NameIsWindows10(const wchar_t* name) {
  return name != nullptr && wcsstr(name, L"Windows 10") != nullptr;
}

// The real query, through the WMI locator of the running system.
bool QueryWmiWindows10() {
  ComApartment com;  // declared first: released after the WMI objects
  ComPtr<IWbemLocator> locator;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              locator.put_void()))) {
    return false;
  }
  UniqueBstr nameSpace(SysAllocString(L"ROOT\\CIMV2"));
  if (!nameSpace)
    return false;
  ComPtr<IWbemServices> services;
  if (FAILED(locator->ConnectServer(nameSpace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                    services.put()))) {
    return false;
  }
  if (FAILED(CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE))) {
    return false;
  }
  UniqueBstr language(SysAllocString(L"WQL"));
  UniqueBstr query(SysAllocString(L"SELECT * FROM Win32_OperatingSystem"));
  if (!language || !query)
    return false;
  ComPtr<IEnumWbemClassObject> objects;
  if (FAILED(services->ExecQuery(language.get(), query.get(),
                                 WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                 objects.put()))) {
    return false;
  }
  bool result = false;
  for (;;) {
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    // A failing Next returns no object, which ends the walk like the end of the results.
    (void)objects->Next(WBEM_INFINITE, 1, object.put(), &returned);
    if (returned == 0 || !object)
      break;
    VariantHolder name;
    if (SUCCEEDED(object->Get(L"Name", 0, &name.Value, nullptr, nullptr)) &&
        name.Value.vt == VT_BSTR && NameIsWindows10(name.Value.bstrVal)) {
      result = true;
    }
  }
  return result;
}

}  // namespace

unsigned GetWindowsVersion() {
  if (!g_versionKnown) {
    g_version = QueryVersion();
    g_versionKnown = true;
  }
  if (g_version.Platform != VER_PLATFORM_WIN32_NT)
    return 0x501;
  return static_cast<unsigned>(g_version.Major * 256 + g_version.Minor);
}

bool IsWmiWindows10() {
  wchar_t name[512] = {};
  switch (GetWmiNameOverride(name, 512)) {
    case WmiOverride::Fail:
      return false;
    case WmiOverride::Name:
      return NameIsWindows10(name);
    case WmiOverride::None:
      break;
  }
  return QueryWmiWindows10();
}

bool IsNewShell() {
  if (g_newShell < 0) {
    const VersionInfo version = QueryVersion();
    bool result = false;
    if (version.Major > 10) {
      result = true;
    } else if (version.Major == 10 && version.Build > 21999) {
      result = !IsWmiWindows10();
    }
    g_newShell = result ? 1 : 0;
  }
  return g_newShell == 1;
}

void ResetOsVersionCacheForTesting() {
  g_versionKnown = false;
  g_newShell = -1;
}
