#include "settings/settings_store.h"

#include <cwchar>

#include "common/string_util.h"
#include "common/win_handles.h"
#include "settings/settings_file.h"

namespace {

// Capacity of a full key path, terminator included.
constexpr size_t kKeyPathCapacity = 512;
// Subkey names are at most 255 characters.
constexpr DWORD kSubkeyNameCapacity = 256;
// Returned for a request whose key path or entry name does not fit its buffer.
constexpr LONG kPathTooLong = ERROR_FILENAME_EXCED_RANGE;

REGSAM g_registryView = 0;

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

// The full key path; false (and nothing to be done) when it does not fit.
bool FullKeyPath(HKEY root, const wchar_t* path, wchar_t (&dest)[kKeyPathCapacity]) {
  return SettingsKeyPath(root, path, dest, kKeyPathCapacity);
}

// One pass of the tree deletion below an open key; counts the keys it deleted.
void DeletePass(HKEY parent, const wchar_t* subkey, int& deleted) {
  if (subkey == nullptr || subkey[0] == 0)
    return;  // the parent itself is never deleted
  {
    UniqueHKey key;
    if (RegOpenKeyExW(parent, subkey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
      return;
    // Deleting while enumerating skips the entries that move down into freed slots; the
    // next pass picks them up. Children are addressed from the open key, so depth never
    // runs into a path-length limit.
    for (DWORD index = 0;; ++index) {
      wchar_t name[kSubkeyNameCapacity];
      DWORD length = kSubkeyNameCapacity;
      if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      DeletePass(key.get(), name, deleted);
    }
  }
  if (RegDeleteKeyW(parent, subkey) == ERROR_SUCCESS)
    ++deleted;
}

}  // namespace

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

HKEY OpenSettingsKeyForRead(HKEY root, const wchar_t* path) {
  wchar_t full[kKeyPathCapacity];
  if (!FullKeyPath(root, path, full))
    return nullptr;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, full, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | g_registryView,
                    &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

HKEY CreateSettingsKey(HKEY root, const wchar_t* path, LONG* error) {
  wchar_t full[kKeyPathCapacity];
  LONG result = kPathTooLong;
  HKEY key = nullptr;
  if (FullKeyPath(root, path, full)) {
    result = RegCreateKeyExW(root, full, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_WRITE | g_registryView, nullptr, &key, nullptr);
  }
  if (error != nullptr)
    *error = result;
  return result == ERROR_SUCCESS ? key : nullptr;
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

LONG ReadRegistryText(HKEY key, const wchar_t* name, wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return ERROR_MORE_DATA;
  // Bytes fit a DWORD; a larger buffer is simply not used in full.
  const size_t bytes = capacity * sizeof(wchar_t);
  DWORD size = bytes > 0xFFFFFFF0u ? 0xFFFFFFF0u : static_cast<DWORD>(bytes);
  const LONG result =
      RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(dest), &size);
  if (result != ERROR_SUCCESS) {
    dest[0] = 0;  // a failed query may have left part of a text behind
    return result;
  }
  // The stored text need not carry its terminator.
  const size_t end = size / sizeof(wchar_t);
  dest[end < capacity - 1 ? end : capacity - 1] = 0;
  return ERROR_SUCCESS;
}

bool ReadSettingString(HKEY root, const wchar_t* path, const wchar_t* name, wchar_t* dest,
                       const wchar_t* def, size_t capacity) {
  if (def == nullptr)
    def = L"";
  wchar_t entryName[kIniEntryNameCapacity];
  switch (RouteRequest(root, path, name, entryName)) {
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
  if (capacity == 0)
    return false;
  UniqueHKey key(OpenSettingsKeyForRead(root, path));
  if (!key)
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

namespace {

// Creates the key (with the view flag) and sets one value; the system's code of whichever
// step failed, or 0.
LONG SetRegistryValue(HKEY root, const wchar_t* path, const wchar_t* name, DWORD type,
                      const void* data, DWORD bytes) {
  LONG error = ERROR_SUCCESS;
  UniqueHKey key(CreateSettingsKey(root, path, &error));
  if (!key)
    return error;
  return RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes);
}

}  // namespace

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
  return SetRegistryValue(root, path, name, REG_SZ, text, static_cast<DWORD>(bytes));
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
  return SetRegistryValue(root, path, name, REG_DWORD, &value, sizeof(value));
}

LONG WriteUserInt(const wchar_t* path, const wchar_t* name, uint32_t value) {
  return WriteSettingInt(HKEY_CURRENT_USER, path, name, value);
}

void DeleteSettingValue(HKEY root, const wchar_t* path, const wchar_t* name) {
  if (IniDeleteEntries(root, path, name))
    return;  // the file's, or dropped
  wchar_t full[kKeyPathCapacity];
  if (!FullKeyPath(root, path, full))
    return;
  UniqueHKey key;
  if (RegOpenKeyExW(root, full, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS)
    return;
  (void)RegDeleteValueW(key.get(), name);  // deletions ignore every failure
}

void DeleteUserValue(const wchar_t* path, const wchar_t* name) {
  DeleteSettingValue(HKEY_CURRENT_USER, path, name);
}

void DeleteSettingsKey(HKEY root, const wchar_t* path) {
  if (IniDeleteEntries(root, path, L""))
    return;
  wchar_t full[kKeyPathCapacity];
  if (!FullKeyPath(root, path, full))
    return;
  // Deletions ignore every failure: a key with subkeys simply stays.
  if (g_registryView != 0) {
    (void)RegDeleteKeyExW(root, full, g_registryView, 0);
  } else {
    (void)RegDeleteKeyW(root, full);
  }
}

void DeleteSettingsTree(HKEY root, const wchar_t* path) {
  if (IniDeleteEntries(root, path, L""))
    return;
  wchar_t full[kKeyPathCapacity];
  if (!FullKeyPath(root, path, full))
    return;
  DeleteRegistryTree(root, full);
}

void DeleteRegistryTree(HKEY parent, const wchar_t* subkey) {
  for (;;) {
    int deleted = 0;
    DeletePass(parent, subkey, deleted);
    if (deleted == 0)
      return;
  }
}

void SetRegistryView(REGSAM flag) {
  g_registryView = flag;
}

bool IsIntegrationEnabled() {
  return IniIntegrationSwitch();
}

bool SaveSettingsFile() {
  return WriteSettingsFile();
}
