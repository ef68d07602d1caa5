// Request routing of the registry access layer: each request goes to the settings file of a
// portable installation, is dropped (the file switched integration off), or goes to registry
// I/O (settings_registry.cpp) on its full key path.

#include "settings/settings_store.h"

#include "common/string_util.h"
#include "common/win_handles.h"
#include "settings/settings_file.h"
#include "settings/settings_store_internal.h"

namespace {

constexpr wchar_t kUserClassesKey[] = L"Software\\Classes";

InstallScope g_installScope = InstallScope::Machine;

// Where a request goes (see the routing rule in the header).
enum class Route { File, Dropped, Registry, TooLong };

Route RouteRequest(HKEY root, const wchar_t* path, const wchar_t* name, wchar_t* entryName) {
  switch (IniRouteRequest(root, path, name, entryName, kIniEntryNameCapacity)) {
    case IniRoute::Taken:
      return Route::File;
    case IniRoute::NameTooLong:
      return Route::TooLong;
    case IniRoute::NotTaken:
      break;
  }
  return IsIntegrationEnabled() ? Route::Registry : Route::Dropped;
}

// Sets one value in the registry on the caller's path.
LONG SetValueAt(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type, const void* data,
                DWORD bytes) {
  wchar_t full[kKeyPathCapacity];
  if (!FullKeyPath(root, path, full))
    return kPathTooLong;
  return SetRegistryValue(root, full, name, type, data, bytes);
}

}  // namespace

void SetInstallScope(InstallScope scope) {
  g_installScope = scope;
}

InstallScope GetInstallScope() {
  return g_installScope;
}

bool FullKeyPath(HKEY& root, const wchar_t* path, wchar_t (&dest)[kKeyPathCapacity]) {
  if (g_installScope == InstallScope::User && root == HKEY_CLASSES_ROOT) {
    // The user's own classes: what HKEY_CLASSES_ROOT shows of them on Windows.
    root = HKEY_CURRENT_USER;
    CopyBounded(dest, kUserClassesKey);
    if (path == nullptr || path[0] == 0)
      return true;
    AppendBounded(dest, L"\\");
    AppendBounded(dest, path);
    return WideLength(kUserClassesKey) + 1 + WideLength(path) < kKeyPathCapacity;
  }
  if (g_installScope == InstallScope::User && root == HKEY_LOCAL_MACHINE)
    root = HKEY_CURRENT_USER;  // same path: below Software\Vellox, or absolute from the root
  return SettingsKeyPath(root, path, dest, kKeyPathCapacity);
}

bool SettingsKeyPath(HKEY root, const wchar_t* path, wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return false;
  if (path == nullptr)
    path = L"";
  if (root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE) {
    if (path[0] == L'\\') {
      CopyBounded(dest, path + 1, capacity);
      return WideLength(path + 1) < capacity;
    }
    CopyBounded(dest, L"Software\\Vellox", capacity);
    if (path[0] != 0) {
      AppendBounded(dest, L"\\", capacity);
      AppendBounded(dest, path, capacity);
    }
    return WideLength(L"Software\\Vellox") + (path[0] != 0 ? 1 + WideLength(path) : 0) < capacity;
  }
  CopyBounded(dest, path, capacity);
  return WideLength(path) < capacity;
}

bool SettingsKeyExists(HKEY root, const wchar_t* path) {
  bool found = false;
  if (IniHasKey(root, path, &found))
    return found;  // the file's, or dropped (false)
  wchar_t full[kKeyPathCapacity];
  if (!FullKeyPath(root, path, full))
    return false;
  UniqueHKey key;
  return RegOpenKeyExW(root, full, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

uint32_t ReadSettingInt(HKEY root, const wchar_t* path, const wchar_t* name, uint32_t def) {
  int64_t fromFile = def;
  if (IniReadInt(root, path, name, def, &fromFile))
    return static_cast<uint32_t>(fromFile);
  UniqueHKey key(OpenSettingsKeyForRead(root, path));
  if (!key)
    return def;
  // The type is not examined: a value shorter than 4 bytes replaces only the low bytes of the
  // default, and anything longer does not fit (ERROR_MORE_DATA) and yields the default.
  uint32_t value = def;
  DWORD size = sizeof(value);
  if (RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return def;
  }
  return value;
}

uint32_t ReadUserInt(const wchar_t* path, const wchar_t* name, uint32_t def) {
  return ReadSettingInt(HKEY_CURRENT_USER, path, name, def);
}

bool ReadSettingString(HKEY root, const wchar_t* path, const wchar_t* name, wchar_t* dest,
                       const wchar_t* def, size_t capacity, bool* keyExists) {
  if (def == nullptr)
    def = L"";
  wchar_t entryName[kIniEntryNameCapacity];
  const Route route = RouteRequest(root, path, name, entryName);
  if (keyExists != nullptr && route != Route::Registry)
    *keyExists = SettingsKeyExists(root, path);  // the file's answer: no registry call
  switch (route) {
    case Route::File: {
      const wchar_t* text = IniFindValue(entryName);
      CopyBounded(dest, text != nullptr ? text : def, capacity);
      return true;
    }
    case Route::Dropped:
      CopyBounded(dest, def, capacity);
      return true;
    case Route::TooLong:
      CopyBounded(dest, def, capacity);
      return false;
    case Route::Registry:
      break;
  }
  CopyBounded(dest, def, capacity);
  if (capacity == 0 && keyExists == nullptr)
    return false;
  UniqueHKey key;
  const LONG opened = OpenKeyForRead(root, path, key);
  if (keyExists != nullptr) {
    // Only a key known to be absent counts as absent; one that cannot be opened for reading
    // is asked about as SettingsKeyExists asks.
    *keyExists = opened == ERROR_SUCCESS ||
                 (opened != ERROR_FILE_NOT_FOUND && SettingsKeyExists(root, path));
  }
  if (opened != ERROR_SUCCESS || capacity == 0)
    return false;
  if (ReadRegistryText(key.get(), name, dest, capacity) != ERROR_SUCCESS) {
    CopyBounded(dest, def, capacity);
    return false;
  }
  return true;
}

bool ReadUserString(const wchar_t* path, const wchar_t* name, wchar_t* dest, const wchar_t* def,
                    size_t capacity) {
  return ReadSettingString(HKEY_CURRENT_USER, path, name, dest, def, capacity);
}

LONG WriteSettingString(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* text) {
  if (text == nullptr)
    text = L"";
  wchar_t entryName[kIniEntryNameCapacity];
  switch (RouteRequest(root, path, name, entryName)) {
    case Route::File:
      IniSetValue(entryName, text, EntryKind::Quoted);
      return ERROR_SUCCESS;
    case Route::Dropped:
      return ERROR_SUCCESS;
    case Route::TooLong:
      return kPathTooLong;
    case Route::Registry:
      break;
  }
  size_t bytes = (WideLength(text) + 1) * sizeof(wchar_t);
  if (bytes > 0xFFFFFFF0u)
    return ERROR_INVALID_PARAMETER;
  return SetValueAt(root, path, name, REG_SZ, text, static_cast<DWORD>(bytes));
}

LONG WriteUserString(const wchar_t* path, const wchar_t* name, const wchar_t* text) {
  return WriteSettingString(HKEY_CURRENT_USER, path, name, text);
}

LONG WriteSettingInt(HKEY root, const wchar_t* path, const wchar_t* name, uint32_t value) {
  wchar_t entryName[kIniEntryNameCapacity];
  switch (RouteRequest(root, path, name, entryName)) {
    case Route::File:
      // The zero-extended value: 0xFFFFFFFF is written as 4294967295.
      (void)IniWriteInt(root, path, name, static_cast<int64_t>(value));  // taken: always true
      return ERROR_SUCCESS;
    case Route::Dropped:
      return ERROR_SUCCESS;
    case Route::TooLong:
      return kPathTooLong;
    case Route::Registry:
      break;
  }
  return SetValueAt(root, path, name, REG_DWORD, &value, sizeof(value));
}

LONG WriteUserInt(const wchar_t* path, const wchar_t* name, uint32_t value) {
  return WriteSettingInt(HKEY_CURRENT_USER, path, name, value);
}

void DeleteSettingValue(HKEY root, const wchar_t* path, const wchar_t* name) {
  if (IniDeleteEntries(root, path, name))
    return;  // the file's, or dropped
  wchar_t full[kKeyPathCapacity];
  if (FullKeyPath(root, path, full))
    DeleteRegistryValue(root, full, name);
}

void DeleteUserValue(const wchar_t* path, const wchar_t* name) {
  DeleteSettingValue(HKEY_CURRENT_USER, path, name);
}

void DeleteSettingsKey(HKEY root, const wchar_t* path) {
  if (IniDeleteEntries(root, path, L""))
    return;
  wchar_t full[kKeyPathCapacity];
  if (FullKeyPath(root, path, full))
    DeleteRegistryKey(root, full);
}

void DeleteSettingsTree(HKEY root, const wchar_t* path) {
  if (IniDeleteEntries(root, path, L""))
    return;
  wchar_t full[kKeyPathCapacity];
  if (FullKeyPath(root, path, full))
    DeleteRegistryTree(root, full);
}

bool IsIntegrationEnabled() {
  return IniIntegrationSwitch();
}

bool SaveSettingsFile() {
  return WriteSettingsFile();
}
