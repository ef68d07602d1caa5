#include "settings/settings_file.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "common/error_handler.h"
#include "common/file.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "settings/folders.h"
#include "settings/settings_file_internal.h"
#include "settings/text_file.h"

namespace {

constexpr wchar_t kSettingsFileName[] = L"Vellox.ini";
constexpr wchar_t kGlobalPath[] = L"Global";

bool SameName(const wchar_t* a, const wchar_t* b) {
  return std::wcscmp(a, b) == 0;
}

bool StartsWith(const wchar_t* text, const wchar_t* prefix, size_t prefixLength) {
  return std::wcsncmp(text, prefix, prefixLength) == 0;
}

// Where the file would be: beside the program, else in the suite's application-data folder.
// False when neither holds one.
bool FindSettingsFile(wchar_t* path, size_t capacity) {
  path[0] = 0;
  // The module that holds this code: the program itself, unless the settings code was ever
  // built into a library of its own.
  HMODULE module = nullptr;
  (void)GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&FindSettingsFile), &module);
  DWORD length = 0;
  if (module == nullptr || module == GetModuleHandleW(nullptr)) {
    length = GetProgramPath(path, static_cast<DWORD>(capacity));
  } else {
    length = GetModuleFileNameW(module, path, static_cast<DWORD>(capacity));
  }
  // A cut-short module path names some other file: not usable.
  const size_t nameLength = WideLength(kSettingsFileName);
  if (length == 0 || length >= capacity ||
      static_cast<size_t>(FileNamePart(path) - path) + nameLength >= capacity) {
    path[0] = 0;
  } else {
    ReplaceFileName(path, kSettingsFileName, capacity);
  }
  if (path[0] != 0 && FileExists(path))
    return true;
  if (!GetAppDataVelloxFolder(path, capacity))
    return false;
  if (WideLength(path) + 1 + nameLength >= capacity)
    return false;
  JoinPath(path, kSettingsFileName, path, capacity);
  return FileExists(path);
}

// Turns the lines of the file into entries, in file order. A line counts when it starts with
// an ASCII letter and holds '='; everything else (comments, headers, blank-led lines) is
// skipped.
void ParseLines(SettingsFile& store, TextLines& lines) {
  lines.Rewind();
  while (const wchar_t* line = lines.Next()) {
    if (!IsAsciiLetter(line[0]))
      continue;
    const wchar_t* equals = std::wcschr(line, L'=');
    if (equals == nullptr)
      continue;
    const wchar_t* value = equals + 1;
    size_t valueLength = WideLength(value);
    EntryKind kind = EntryKind::Plain;
    if (value[0] == L'"') {
      kind = EntryKind::Quoted;
      ++value;
      --valueLength;
      if (valueLength > 0 && value[valueLength - 1] == L'"')
        --valueLength;
    } else if (std::wcsncmp(value, L"bin:", 4) == 0) {
      kind = EntryKind::Binary;
      value += 4;
      valueLength -= 4;
    }
    store.Append(NewEntry(line, static_cast<size_t>(equals - line), value, valueLength, kind));
  }
}

// Reads the three switches (default on, any non-zero value is on) and writes them back, so
// that a value such as 5 is saved as 1 and missing switches appear in the file.
void ReadSwitches(SettingsFile& store, bool writeBack) {
  struct Switch {
    const wchar_t* Name;
    bool SettingsFile::*Flag;
  };
  static const Switch kSwitches[] = {
      {L"AppData", &SettingsFile::AppData},
      {L"Integration", &SettingsFile::Integration},
      {L"SaveSettings", &SettingsFile::SaveSettings},
  };
  for (const Switch& s : kSwitches) {
    int64_t value = 1;
    (void)IniReadInt(nullptr, kGlobalPath, s.Name, 1, &value);  // taken: the file is loaded
    store.*s.Flag = value != 0;
  }
  if (!writeBack)
    return;
  for (const Switch& s : kSwitches) {
    (void)IniWriteInt(nullptr, kGlobalPath, s.Name, store.*s.Flag ? 1 : 0);
  }
}

}  // namespace

wchar_t* DuplicateText(const wchar_t* text, size_t n) {
  auto* copy = static_cast<wchar_t*>(std::malloc((n + 1) * sizeof(wchar_t)));
  if (copy == nullptr)
    return nullptr;
  std::memcpy(copy, text, n * sizeof(wchar_t));
  copy[n] = 0;
  return copy;
}

void FreeEntry(SettingsEntry* entry) {
  std::free(entry->EntryName);
  std::free(entry->EntryValue);
  std::free(entry);
}

SettingsEntry* NewEntry(const wchar_t* name, size_t nameLength, const wchar_t* value,
                        size_t valueLength, EntryKind kind) {
  auto* entry = static_cast<SettingsEntry*>(std::malloc(sizeof(SettingsEntry)));
  wchar_t* nameCopy = DuplicateText(name, nameLength);
  wchar_t* valueCopy = DuplicateText(value, valueLength);
  if (entry == nullptr || nameCopy == nullptr || valueCopy == nullptr) {
    std::free(entry);
    std::free(nameCopy);
    std::free(valueCopy);
    Errors().MemoryError();
  }
  *entry = {nameCopy, valueCopy, kind, NameHash(nameCopy), nullptr};
  return entry;
}

void FreeEntries(SettingsEntry* first) {
  while (first != nullptr) {
    SettingsEntry* next = first->Next;
    FreeEntry(first);
    first = next;
  }
}

uint32_t NameHash(const wchar_t* name) {
  uint32_t hash = 2166136261u;
  for (; *name != 0; ++name) {
    hash ^= static_cast<uint16_t>(*name);
    hash *= 16777619u;
  }
  return hash;
}

SettingsFile::SettingsFile() {
  // The error handler must outlive this store, whose teardown may report to it.
  (void)Errors();
}

SettingsFile::~SettingsFile() {
  if (Loaded)
    (void)WriteSettingsFile();  // a failed save keeps the previous file
  Free();
}

void SettingsFile::Append(SettingsEntry* entry) {
  if (Last == nullptr) {
    First = entry;
  } else {
    Last->Next = entry;
  }
  Last = entry;
}

SettingsEntry* SettingsFile::Find(const wchar_t* name) const {
  uint32_t hash = NameHash(name);
  for (SettingsEntry* e = First; e != nullptr; e = e->Next) {
    if (e->NameHash == hash && SameName(e->EntryName, name))
      return e;
  }
  return nullptr;
}

void SettingsFile::RemoveWhere(const wchar_t* text, bool prefix) {
  size_t length = WideLength(text);
  SettingsEntry* previous = nullptr;
  SettingsEntry* e = First;
  while (e != nullptr) {
    SettingsEntry* next = e->Next;
    bool match = prefix ? StartsWith(e->EntryName, text, length) : SameName(e->EntryName, text);
    if (match) {
      if (previous == nullptr) {
        First = next;
      } else {
        previous->Next = next;
      }
      if (Last == e)
        Last = previous;
      FreeEntry(e);
    } else {
      previous = e;
    }
    e = next;
  }
}

void SettingsFile::Free() {
  FreeEntries(First);
  First = Last = nullptr;
  FreeEntries(Saved);
  Saved = nullptr;
  SavedKnown = false;
  if (Loaded)
    Closed = true;
  Loaded = false;
  Partial = false;
}

void SettingsFile::Load() {
  if (Loaded || SearchDone)
    return;
  SearchDone = true;
  Path[0] = 0;
  if (!FindSettingsFile(Path, kPathCapacity)) {
    Path[0] = 0;
    return;  // registry mode for the rest of the process
  }
  File file;
  LoadFrom(Path, file);
}

void SettingsFile::LoadFrom(const wchar_t* path, File& file) {
  SearchDone = true;
  if (path != Path)
    CopyBounded(Path, path);
  if (!file.Open(Path, 0)) {
    Path[0] = 0;
    return;  // registry mode
  }
  TextLines lines;
  try {
    bool whole = ReadTextLines(file, lines);
    (void)file.Close();  // a read-only handle; a failed close is reported by the file object
    ParseLines(*this, lines);
    KeepSavedEntries(*this);  // what the file holds, before the switches are written back
    Loaded = true;
    // A read error part way (a flaky stick or network share) leaves a picture without the
    // rest of the file: serve it, but never write it back over the whole file.
    Partial = !whole;
    ReadSwitches(*this, whole);
  } catch (...) {
    // Out of memory while reading or parsing: the same partial picture.
    Errors().ReportMemoryError();
    Loaded = true;
    Partial = true;
    ReadSwitches(*this, false);
  }
}

SettingsFile& TheSettingsFile() {
  static SettingsFile store;
  return store;
}

void LoadSettingsFile() {
  TheSettingsFile().Load();
}

bool IniIntegrationSwitch() {
  return TheSettingsFile().Integration;
}

bool IniAppDataSwitch() {
  return TheSettingsFile().AppData;
}

bool SettingsFileInUse(wchar_t* path, size_t capacity) {
  SettingsFile& store = TheSettingsFile();
  if (path != nullptr)
    CopyBounded(path, store.Loaded ? store.Path : L"", capacity);
  return store.Loaded;
}

void FreeSettingsFile() {
  TheSettingsFile().Free();
}

void CloseSettingsFile() {
  if (TheSettingsFile().Loaded)
    (void)WriteSettingsFile();  // a failed save keeps the previous file
  FreeSettingsFile();
}

void ResetSettingsFileForTesting() {
  SettingsFile& store = TheSettingsFile();
  store.Free();
  store.Path[0] = 0;
  store.SearchDone = false;
  store.Closed = false;
  store.AppData = store.Integration = store.SaveSettings = true;
}
