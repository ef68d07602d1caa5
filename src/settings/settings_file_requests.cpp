// The requests of the registry access layer that the settings file serves: routing a request
// to an entry name, and reading, setting and deleting entries. Changes are made to the entries
// in memory only; a save puts them in the file and reports them (settings_file_changes.cpp).

#include <cstdlib>
#include <cwchar>

#include "common/error_handler.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "settings/settings_file.h"
#include "settings/settings_file_internal.h"

namespace {

bool StartsWith(const wchar_t* text, const wchar_t* prefix, size_t prefixLength) {
  return std::wcsncmp(text, prefix, prefixLength) == 0;
}

}  // namespace

bool IniTakesRequest(HKEY root, const wchar_t* path) {
  SettingsFile& store = TheSettingsFile();
  store.Load();
  // A closed store keeps the file's requests: they must not reach the registry, which a
  // portable installation never used for its own settings.
  if (!store.Loaded && !store.Closed)
    return false;
  if (root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE && root != nullptr)
    return false;
  return path == nullptr || path[0] != L'\\';
}

IniRoute IniRouteRequest(HKEY root, const wchar_t* path, const wchar_t* name, wchar_t* dest,
                         size_t capacity) {
  if (!IniTakesRequest(root, path))
    return IniRoute::NotTaken;
  if (path == nullptr)
    path = L"";
  if (name == nullptr)
    name = L"";
  const wchar_t* prefix = root == HKEY_CURRENT_USER    ? L"HKCU\\"
                          : root == HKEY_LOCAL_MACHINE ? L"HKLM\\"
                                                       : L"";
  // Built in kPathBufferCapacity units (JoinPath's own limit) and accepted only when it fits the
  // caller's buffer whole: a cut-short name could address some other entry.
  if (WideLength(prefix) + WideLength(path) + 1 + WideLength(name) >= kPathBufferCapacity) {
    return IniRoute::NameTooLong;
  }
  wchar_t built[kPathBufferCapacity];
  CopyBounded(built, prefix);
  AppendBounded(built, path);
  JoinPath(built, name, built, kPathBufferCapacity);
  if (WideLength(built) >= capacity)
    return IniRoute::NameTooLong;
  CopyBounded(dest, built, capacity);
  return IniRoute::Taken;
}

bool IniEntryNameFor(HKEY root, const wchar_t* path, const wchar_t* name, wchar_t* dest,
                     size_t capacity) {
  return IniRouteRequest(root, path, name, dest, capacity) == IniRoute::Taken;
}

const wchar_t* IniFindValue(const wchar_t* entryName) {
  SettingsEntry* e = TheSettingsFile().Find(entryName);
  return e != nullptr ? e->EntryValue : nullptr;
}

void IniSetValue(const wchar_t* entryName, const wchar_t* value, EntryKind kind) {
  if (value == nullptr)
    value = L"";
  SettingsFile& store = TheSettingsFile();
  size_t valueLength = WideLength(value);
  if (SettingsEntry* e = store.Find(entryName)) {
    wchar_t* copy = DuplicateText(value, valueLength);
    if (copy == nullptr)
      Errors().MemoryError();
    std::free(e->EntryValue);
    e->EntryValue = copy;
    e->Kind = kind;
    return;
  }
  store.Append(NewEntry(entryName, WideLength(entryName), value, valueLength, kind));
}

bool IniHasKey(HKEY root, const wchar_t* path, bool* found) {
  wchar_t prefix[kIniEntryNameCapacity];
  IniRoute route = IniRouteRequest(root, path, L"", prefix, kIniEntryNameCapacity);
  *found = false;
  if (route == IniRoute::NotTaken)
    return !IniIntegrationSwitch();
  if (route == IniRoute::Taken) {
    size_t length = WideLength(prefix);
    for (SettingsEntry* e = TheSettingsFile().First; e != nullptr; e = e->Next) {
      if (StartsWith(e->EntryName, prefix, length)) {
        *found = true;
        break;
      }
    }
  }
  return true;
}

bool IniDeleteEntries(HKEY root, const wchar_t* path, const wchar_t* name) {
  wchar_t entryName[kIniEntryNameCapacity];
  IniRoute route = IniRouteRequest(root, path, name, entryName, kIniEntryNameCapacity);
  if (route == IniRoute::NotTaken)
    return !IniIntegrationSwitch();
  if (route == IniRoute::Taken) {
    // With the empty value name the entry name is the key prefix (it ends in '\').
    bool wholeKey = name == nullptr || name[0] == 0;
    TheSettingsFile().RemoveWhere(entryName, wholeKey);
  }
  return true;
}

bool IniReadInt(HKEY root, const wchar_t* path, const wchar_t* name, int64_t def, int64_t* value) {
  wchar_t entryName[kIniEntryNameCapacity];
  IniRoute route = IniRouteRequest(root, path, name, entryName, kIniEntryNameCapacity);
  *value = def;
  if (route == IniRoute::NotTaken)
    return !IniIntegrationSwitch();
  if (route == IniRoute::Taken) {
    if (const wchar_t* text = IniFindValue(entryName))
      *value = DecimalToInt(text);
  }
  return true;
}

bool IniWriteInt(HKEY root, const wchar_t* path, const wchar_t* name, int64_t number) {
  wchar_t entryName[kIniEntryNameCapacity];
  IniRoute route = IniRouteRequest(root, path, name, entryName, kIniEntryNameCapacity);
  if (route == IniRoute::NotTaken)
    return !IniIntegrationSwitch();
  if (route == IniRoute::Taken) {
    wchar_t text[20];
    IntToDecimal(number, text, 20);
    IniSetValue(entryName, text, EntryKind::Plain);
  }
  return true;
}
