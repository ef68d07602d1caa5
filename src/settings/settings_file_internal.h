#pragma once
// The process-wide store behind the settings file: shared by the loader, the request handlers
// and the writer. Not for use outside the settings subsystem.

#include <cstddef>
#include <cstdint>

#include "common/file.h"
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
  // True while changes to the entries go to the file when the process ends: the only time
  // they are reported as changes.
  bool WritesBack() const { return Loaded && !Closed && !Partial && SaveSettings; }

  wchar_t Path[kPathCapacity] = {};
  bool SearchDone = false;
  bool Loaded = false;
  bool Partial = false;  // loaded only in part: never written back
  bool Closed = false;   // freed after a file was in use (see Free)
  SettingsEntry* First = nullptr;
  SettingsEntry* Last = nullptr;
  bool AppData = true;
  bool Integration = true;
  bool SaveSettings = true;
};

SettingsFile& TheSettingsFile();
