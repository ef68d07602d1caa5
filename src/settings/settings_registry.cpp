// Registry I/O of the registry access layer: every key it opens, creates or deletes, on full
// key paths built by the request routing (settings_store.cpp). Each change that succeeds is
// reported (settings_reports.cpp) while an observer listens; a report asks for no access right
// beyond what the change itself needs, so that a change never fails only because it is logged.

#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "common/change_record.h"
#include "common/string_util.h"
#include "common/win_handles.h"
#include "settings/settings_store.h"
#include "settings/settings_store_internal.h"

namespace {

// Subkey names are at most 255 characters.
constexpr DWORD kSubkeyNameCapacity = 256;

REGSAM g_registryView = 0;

// Within a write batch the key of the last value set stays open, so that the values a caller
// sets one after another on one key cost one open. It is closed when the batch ends and before
// any key is deleted (it may be that key or one below the deleted one).
struct BatchKey {
  HKEY Root = nullptr;
  REGSAM View = 0;
  wchar_t Path[kKeyPathCapacity] = L"";
  UniqueHKey Key;
};
int g_batchDepth = 0;
BatchKey g_batchKey;

void ForgetBatchKey() {
  g_batchKey.Key.reset();
  g_batchKey.Root = nullptr;
}

bool BatchKeyIs(HKEY root, const wchar_t* full) {
  return g_batchKey.Key && g_batchKey.Root == root && g_batchKey.View == g_registryView &&
         std::wcscmp(g_batchKey.Path, full) == 0;
}

// Keeps an open key as the batch's key; a path that does not fit is simply not kept.
void KeepBatchKey(HKEY root, const wchar_t* full, UniqueHKey&& key) {
  if (g_batchDepth == 0 || WideLength(full) >= kKeyPathCapacity)
    return;
  g_batchKey.Key = std::move(key);
  g_batchKey.Root = root;
  g_batchKey.View = g_registryView;
  CopyBounded(g_batchKey.Path, full);
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
      std::wstring childName;
      const bool named =
          reportedName != nullptr && ReportedChildName(*reportedName, name, childName);
      DeletePass(key.get(), name, named ? &childName : nullptr, deleted);
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

REGSAM RegistryView() {
  return g_registryView;
}

void SetRegistryView(REGSAM flag) {
  g_registryView = flag;
}

ScopedRegistryView::ScopedRegistryView(REGSAM flag) : previous_(g_registryView) {
  g_registryView = flag;
}

ScopedRegistryView::~ScopedRegistryView() {
  g_registryView = previous_;
}

SettingsWriteBatch::SettingsWriteBatch() {
  ++g_batchDepth;
}

SettingsWriteBatch::~SettingsWriteBatch() {
  if (--g_batchDepth == 0)
    ForgetBatchKey();
}

LONG OpenKeyForRead(HKEY root, const wchar_t* path, UniqueHKey& key) {
  wchar_t full[kKeyPathCapacity];
  if (!FullKeyPath(root, path, full))
    return kPathTooLong;
  return RegOpenKeyExW(root, full, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | g_registryView,
                       key.put());
}

HKEY OpenSettingsKeyForRead(HKEY root, const wchar_t* path) {
  UniqueHKey key;
  return OpenKeyForRead(root, path, key) == ERROR_SUCCESS ? key.release() : nullptr;
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

LONG SetRegistryValue(HKEY root, const wchar_t* full, const wchar_t* name, DWORD type,
                      const void* data, DWORD bytes) {
  // What a report needs from before the change: which keys exist and the value's old data.
  const bool reporting = IsRecordingChanges();
  size_t existing = 0;
  ReportedValue before;
  if (reporting) {
    existing = ExistingKeyPrefix(root, full);
    if (existing == WideLength(full))
      before = ReadReportedValueAt(root, full, name, g_registryView);
  }
  const BYTE* const bytesToSet = static_cast<const BYTE*>(data);
  LONG error = ERROR_SUCCESS;
  bool written = false;
  if (BatchKeyIs(root, full)) {
    error = RegSetValueExW(g_batchKey.Key.get(), name, 0, type, bytesToSet, bytes);
    // Another program deleted the key since: it is created again like any other.
    written = error != ERROR_KEY_DELETED;
    if (!written)
      ForgetBatchKey();
  }
  if (!written) {
    UniqueHKey key;
    error = RegCreateKeyExW(root, full, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE | g_registryView, nullptr, key.put(), nullptr);
    if (error != ERROR_SUCCESS)
      return error;
    error = RegSetValueExW(key.get(), name, 0, type, bytesToSet, bytes);
    KeepBatchKey(root, full, std::move(key));
  }
  if (reporting)
    ReportValueSet(root, full, existing, name, before, type, data, bytes, error == ERROR_SUCCESS);
  return error;
}

void DeleteRegistryValue(HKEY root, const wchar_t* full, const wchar_t* name) {
  // The former data is read through a handle of its own: the deletion asks for the rights it
  // needs and no more, logged or not.
  ReportedValue before;
  const bool reporting = IsRecordingChanges();
  if (reporting)
    before = ReadReportedValueAt(root, full, name, 0);
  UniqueHKey key;
  if (RegOpenKeyExW(root, full, 0, KEY_WRITE, key.put()) != ERROR_SUCCESS)
    return;
  // Deletions ignore every failure.
  if (RegDeleteValueW(key.get(), name) == ERROR_SUCCESS && reporting)
    ReportValueDeleted(root, full, name, before);
}

void DeleteRegistryKey(HKEY root, const wchar_t* full) {
  ForgetBatchKey();
  std::vector<ReportedValue> values;
  const bool reporting = IsRecordingChanges();
  if (reporting)
    values = ReadReportedValuesAt(root, full);
  // Deletions ignore every failure: a key with subkeys simply stays.
  const LONG result = g_registryView != 0 ? RegDeleteKeyExW(root, full, g_registryView, 0)
                                          : RegDeleteKeyW(root, full);
  if (result == ERROR_SUCCESS && reporting)
    ReportKeyDeleted(ReportedKeyName(root, full), values, ReportedView());
}

void DeleteRegistryTree(HKEY parent, const wchar_t* subkey) {
  ForgetBatchKey();
  const bool reporting = IsRecordingChanges();
  const std::wstring reportedName = reporting ? ReportedKeyName(parent, subkey) : std::wstring();
  const bool named = reporting && !reportedName.empty();
  for (;;) {
    int deleted = 0;
    DeletePass(parent, subkey, named ? &reportedName : nullptr, deleted);
    if (deleted == 0)
      return;
  }
}
