#pragma once
// The process-wide store behind the settings file: shared by the loader, the request handlers
// and the writer. Not for use outside the settings subsystem.

#include <cstddef>
#include <cstdint>

#include "common/file.h"
#include "common/grow_array.h"
#include "common/string_util.h"
#include "settings/settings_file.h"

struct SettingsEntry {
  wchar_t* EntryName;   // owned
  wchar_t* EntryValue;  // owned
  EntryKind Kind;
  uint32_t NameHash;  // of EntryName (NameHash below): lets a search skip most names unread
  SettingsEntry* Next;
};

// A hash of a name's code units (FNV-1a).
uint32_t NameHash(const wchar_t* name);
// A new entry with copies of both texts; out of memory ends the operation (VLX_EXIT 8).
SettingsEntry* NewEntry(const wchar_t* name, size_t nameLength, const wchar_t* value,
                        size_t valueLength, EntryKind kind);
// A copy of n units of text, terminated; null when out of memory.
wchar_t* DuplicateText(const wchar_t* text, size_t n);
void FreeEntry(SettingsEntry* entry);
// Frees a whole list.
void FreeEntries(SettingsEntry* first);

// An entry and its place in its list: equal names keep their order, so the entry that reads
// see first is still the first after a save and a reload.
struct SortItem {
  const SettingsEntry* Entry;
  size_t Position;
};
// The entries of a list sorted by name (code-unit order), equal names in list order.
void SortEntries(const SettingsEntry* first, GrowArray<SortItem>& sorted);
// Name order of two sorted items (<0, 0, >0), positions aside.
int CompareNames(const SortItem& a, const SortItem& b);

class SettingsFile {
 public:
  static constexpr size_t kPathCapacity = kPathBufferCapacity;

  SettingsFile();
  // Process exit: writes the file back when one is in use and SaveSettings is on, then frees.
  ~SettingsFile();
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  // The one-time search, then LoadFrom on the file found.
  void Load();
  // Loads the file at path through file (a closed object; Load passes a plain File): what Load
  // does once it has found one. A read error or running out of memory part way leaves a
  // partial load: what was read is served, and the file is never written back.
  void LoadFrom(const wchar_t* path, File& file);
  // Frees every entry. After a file was in use, the store stays closed for the rest of the
  // process: the file's requests are served from memory only and never reach a file again.
  // The search-done flag stays set, so nothing searches again; the switches keep their values.
  void Free();
  void Append(SettingsEntry* entry);
  // First entry of exactly that name, or null.
  SettingsEntry* Find(const wchar_t* name) const;
  // Removes and frees every entry whose name equals text (or begins with it, for a prefix).
  void RemoveWhere(const wchar_t* text, bool prefix);

  wchar_t Path[kPathCapacity] = {};
  bool SearchDone = false;
  bool Loaded = false;
  bool Partial = false;  // loaded only in part: never written back
  bool Closed = false;   // freed after a file was in use (see Free)
  SettingsEntry* First = nullptr;
  SettingsEntry* Last = nullptr;
  // The entries as the file on the disk holds them: as loaded, then as last written. Changes
  // to the entries are reported once a save has put them in the file, as the difference
  // between these and the entries written (settings_file_changes.cpp). Not known: no memory
  // was left to keep them, and no difference is reported rather than a wrong one.
  SettingsEntry* Saved = nullptr;
  bool SavedKnown = false;
  bool AppData = true;
  bool Integration = true;
  bool SaveSettings = true;
};

SettingsFile& TheSettingsFile();

// Keeps a copy of the entries as the file now holds them (after a load or a save). Never
// throws: without memory for the copy the picture is marked not known.
void KeepSavedEntries(SettingsFile& store) noexcept;
// After a save has put the entries in the file: reports each entry it changed (setting-set,
// setting-deleted) while an observer listens, then keeps the entries as the file's. Never
// throws.
void ReportSavedSettings(SettingsFile& store) noexcept;
// After a save that did not happen (it failed, or the file was loaded only in part): reports
// that the file was not written and keeps its former content, when any entry differs from the
// file's. Never throws.
void ReportUnsavedSettings(const SettingsFile& store) noexcept;
