#pragma once
// The process-wide store behind the settings file: shared by the loader, the request handlers
// and the writer. Not for use outside the settings subsystem.

#include <cstddef>
#include <cstdint>

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

class SettingsFile {
 public:
  static constexpr size_t kPathCapacity = 2048;

  SettingsFile();
  // Process exit: writes the file back when one is in use and SaveSettings is on, then frees.
  ~SettingsFile();
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  // The one-time search and load.
  void Load();
  // Frees every entry and clears the loaded and search-done flags (switches stay).
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
  SettingsEntry* First = nullptr;
  SettingsEntry* Last = nullptr;
  bool AppData = true;
  bool Integration = true;
  bool SaveSettings = true;
};

SettingsFile& TheSettingsFile();
