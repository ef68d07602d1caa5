#include "settings/settings_store.h"

#include <cwchar>
#include <string>
#include <vector>

#include "common/change_record.h"
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

// --- Reports of the changes (only while an observer listens) ---

// Capacity of a value's data as a report shows it; longer data is shown cut, with its size.
constexpr size_t kReportedDataCapacity = 2048;

// A key's name as reports show it: the root's full name and the path below it.
std::wstring ReportedKeyName(HKEY root, const wchar_t* path) {
  const wchar_t* rootName = L"HKEY_(open key)";
  if (root == HKEY_CURRENT_USER) {
    rootName = L"HKEY_CURRENT_USER";
  } else if (root == HKEY_LOCAL_MACHINE) {
    rootName = L"HKEY_LOCAL_MACHINE";
  } else if (root == HKEY_CLASSES_ROOT) {
    rootName = L"HKEY_CLASSES_ROOT";
  } else if (root == HKEY_USERS) {
    rootName = L"HKEY_USERS";
  }
  std::wstring name(rootName);
  if (path != nullptr && path[0] != 0) {
    name += L'\\';
    name += path;
  }
  return name;
}

// The view a report names, when not the native one.
const wchar_t* ReportedView() {
  return g_registryView == KEY_WOW64_32KEY ? L"32-bit view" : nullptr;
}

// One value's data in its report form; false when the value cannot be read (missing).
bool ReadReportedValue(HKEY key, const wchar_t* name, std::wstring& text) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  std::vector<BYTE> data(size + 2);
  DWORD got = size;
  if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &got) != ERROR_SUCCESS)
    return false;  // changed in between (grown): reported as unknown
  wchar_t shown[kReportedDataCapacity];
  FormatRegistryData(type, data.data(), got, shown, kReportedDataCapacity);
  text = shown;
  return true;
}

struct ReportedValue {
  std::wstring Name;
  std::wstring Data;
};

// Every value of an open key with its data, for the reports of a key about to go.
std::vector<ReportedValue> ReadReportedValues(HKEY key) {
  std::vector<ReportedValue> values;
  DWORD count = 0;
  DWORD longestName = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       &longestName, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return values;
  }
  std::vector<wchar_t> name(longestName + 2);
  for (DWORD index = 0; index < count; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    if (RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      continue;
    }
    ReportedValue value;
    value.Name.assign(name.data(), length);
    if (ReadReportedValue(key, value.Name.c_str(), value.Data))
      values.push_back(value);
  }
  return values;
}

// Reports a key that is gone, its values first; view is the note of the view it went
// through (null: the native one).
void ReportKeyDeleted(const std::wstring& keyName, const std::vector<ReportedValue>& values,
                      const wchar_t* view) {
  for (const ReportedValue& value : values) {
    RecordChange(ChangeEvent{ChangeKind::ValueDeleted, keyName.c_str(), value.Name.c_str(),
                             value.Data.c_str(), nullptr, view});
  }
  RecordChange(
      ChangeEvent{ChangeKind::KeyDeleted, keyName.c_str(), nullptr, nullptr, nullptr, view});
}

// The values of the key at full (view flag applied), for a report; empty when it cannot be
// opened.
std::vector<ReportedValue> ReadReportedValuesAt(HKEY root, const wchar_t* full) {
  UniqueHKey key;
  if (RegOpenKeyExW(root, full, 0, KEY_QUERY_VALUE | g_registryView, key.put()) != ERROR_SUCCESS)
    return {};
  return ReadReportedValues(key.get());
}

// How much of full exists already: the length of its longest existing prefix that ends at a
// separator (0: none). Keys below it are created by a RegCreateKeyExW on full.
size_t ExistingKeyPrefix(HKEY root, const wchar_t* full) {
  std::wstring path(full);
  for (;;) {
    UniqueHKey key;
    if (path.empty() || RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | g_registryView,
                                      key.put()) == ERROR_SUCCESS) {
      return path.size();
    }
    size_t separator = path.find_last_of(L'\\');
    path.resize(separator == std::wstring::npos ? 0 : separator);
  }
}

// Reports each key below the existing prefix of full: all of them were just created.
void ReportKeysCreated(HKEY root, const wchar_t* full, size_t existing) {
  const size_t length = WideLength(full);
  for (size_t end = existing + 1; end <= length; ++end) {
    if (end == length || full[end] == L'\\') {
      std::wstring created(full, end);
      std::wstring name = ReportedKeyName(root, created.c_str());
      RecordChange(ChangeEvent{ChangeKind::KeyCreated, name.c_str(), nullptr, nullptr, nullptr,
                               ReportedView()});
    }
  }
}

// One pass of the tree deletion below an open key; counts the keys it deleted. reportedName is
// the subkey's name for reports, or null while nobody listens.
void DeletePass(HKEY parent, const wchar_t* subkey, const std::wstring* reportedName,
                int& deleted) {
  if (subkey == nullptr || subkey[0] == 0)
    return;  // the parent itself is never deleted
  std::vector<ReportedValue> values;
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
      if (reportedName != nullptr) {
        std::wstring childName = *reportedName + L'\\' + name;
        DeletePass(key.get(), name, &childName, deleted);
      } else {
        DeletePass(key.get(), name, nullptr, deleted);
      }
    }
    if (reportedName != nullptr)
      values = ReadReportedValues(key.get());
  }
  if (RegDeleteKeyW(parent, subkey) != ERROR_SUCCESS)
    return;  // still has subkeys: a later pass tries again
  ++deleted;
  if (reportedName != nullptr)
    ReportKeyDeleted(*reportedName, values, nullptr);  // tree deletion never takes the view
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
  // What a report needs from before the change: which keys exist and the value's old data.
  const bool reporting = IsRecordingChanges();
  wchar_t full[kKeyPathCapacity] = L"";
  size_t existing = 0;
  std::wstring before;
  bool hadValue = false;
  if (reporting && FullKeyPath(root, path, full)) {
    existing = ExistingKeyPrefix(root, full);
    UniqueHKey old;
    if (existing == WideLength(full) &&
        RegOpenKeyExW(root, full, 0, KEY_QUERY_VALUE | g_registryView, old.put()) ==
            ERROR_SUCCESS) {
      hadValue = ReadReportedValue(old.get(), name != nullptr ? name : L"", before);
    }
  }
  LONG error = ERROR_SUCCESS;
  UniqueHKey key(CreateSettingsKey(root, path, &error));
  if (!key)
    return error;
  error = RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes);
  if (reporting && full[0] != 0) {
    // The keys were created even when the value could not be set.
    ReportKeysCreated(root, full, existing);
    if (error == ERROR_SUCCESS) {
      wchar_t after[kReportedDataCapacity];
      FormatRegistryData(type, static_cast<const BYTE*>(data), bytes, after, kReportedDataCapacity);
      std::wstring keyName = ReportedKeyName(root, full);
      RecordChange(ChangeEvent{ChangeKind::ValueSet, keyName.c_str(), name != nullptr ? name : L"",
                               hadValue ? before.c_str() : nullptr, after, ReportedView()});
    }
  }
  return error;
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
  // Reading the former data for the report needs the right to query as well.
  const bool reporting = IsRecordingChanges();
  UniqueHKey key;
  if (RegOpenKeyExW(root, full, 0, KEY_WRITE | (reporting ? KEY_QUERY_VALUE : 0), key.put()) !=
      ERROR_SUCCESS) {
    return;
  }
  std::wstring before;
  const bool reported =
      reporting && ReadReportedValue(key.get(), name != nullptr ? name : L"", before);
  // Deletions ignore every failure.
  if (RegDeleteValueW(key.get(), name) != ERROR_SUCCESS || !reported)
    return;
  std::wstring keyName = ReportedKeyName(root, full);
  RecordChange(ChangeEvent{ChangeKind::ValueDeleted, keyName.c_str(), name != nullptr ? name : L"",
                           before.c_str(), nullptr, nullptr});
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
  std::vector<ReportedValue> values;
  if (IsRecordingChanges())
    values = ReadReportedValuesAt(root, full);
  // Deletions ignore every failure: a key with subkeys simply stays.
  const LONG result = g_registryView != 0 ? RegDeleteKeyExW(root, full, g_registryView, 0)
                                          : RegDeleteKeyW(root, full);
  if (result == ERROR_SUCCESS && IsRecordingChanges())
    ReportKeyDeleted(ReportedKeyName(root, full), values, ReportedView());
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
  std::wstring reportedName;
  if (IsRecordingChanges())
    reportedName = ReportedKeyName(parent, subkey);
  for (;;) {
    int deleted = 0;
    DeletePass(parent, subkey, IsRecordingChanges() ? &reportedName : nullptr, deleted);
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
