#pragma once
// The INI settings file "Vellox.ini" of a portable installation. When the program's folder (or
// the "Vellox" folder in the user's application-data folder) holds one, it is loaded at the
// first settings request and the registry access layer hands it every request for the suite's
// own keys; it is written back at process exit while its SaveSettings switch is on.
//
// The file is flat: each entry's name is the full path of a registry value below
// "Software\Vellox", led by the root ("HKCU\Setup\Links\Desktop=1"). Names are compared
// exactly, case-sensitively; the first of several entries with one name is the one that is
// read and replaced.

#include <windows.h>

#include <cstddef>
#include <cstdint>

enum class EntryKind : uint32_t {
  Plain = 0,   // name=value (numbers)
  Quoted = 1,  // name="value" (texts; nothing inside is escaped)
  Binary = 2,  // name=bin:value (kept as read)
};

// Capacity of an entry name, terminator included.
constexpr size_t kIniEntryNameCapacity = 1024;

// How a request stands with the settings file.
enum class IniRoute {
  NotTaken,     // no file, or not one of the suite's own keys: the registry (or nothing)
  Taken,        // served from the file's entries
  NameTooLong,  // the file's business, but the entry name does not fit: nothing is done
};

// Finds and loads the file, once per process.
void LoadSettingsFile();
// Loads, then: a file is in use, the root is HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or null,
// and the path does not begin with '\'.
bool IniTakesRequest(HKEY root, const wchar_t* path);
// IniTakesRequest, then the entry name (root prefix + path + '\' + value name) in dest.
IniRoute IniRouteRequest(HKEY root, const wchar_t* path, const wchar_t* name, wchar_t* dest,
                         size_t capacity);
// True with the entry name when the file takes the request.
bool IniEntryNameFor(HKEY root, const wchar_t* path, const wchar_t* name, wchar_t* dest,
                     size_t capacity);
// The value of the first entry with exactly that name, or null. Valid until the entry changes.
const wchar_t* IniFindValue(const wchar_t* entryName);
// Replaces value and kind of the first entry with that name, or appends a new entry. In memory
// only: the file takes it at the next save (WriteSettingsFile).
void IniSetValue(const wchar_t* entryName, const wchar_t* value, EntryKind kind);

// The next four return true when the request was handled: taken by the file, or dropped
// because the file switched integration off. False: the registry serves it.
// found: some entry lies under the key.
bool IniHasKey(HKEY root, const wchar_t* path, bool* found);
// Non-empty name: every entry of exactly that name; empty name: every entry under the key.
bool IniDeleteEntries(HKEY root, const wchar_t* path, const wchar_t* name);
// The first exact match read as a decimal number, else def.
bool IniReadInt(HKEY root, const wchar_t* path, const wchar_t* name, int64_t def, int64_t* value);
// Stores the number as decimal text (Plain).
bool IniWriteInt(HKEY root, const wchar_t* path, const wchar_t* name, int64_t number);

// The Integration switch, without starting the search: on unless a file in use says 0.
bool IniIntegrationSwitch();
// The AppData switch of the file (on unless a file in use says 0).
bool IniAppDataSwitch();
// True while a file is in use; path (if given) receives its full path.
bool SettingsFileInUse(wchar_t* path = nullptr, size_t capacity = 0);
// Writes the file back, sorted by name, as UTF-16LE with its mark. False when nothing was
// written: no file in use, SaveSettings off, a file that was loaded only in part (a read error
// or out of memory while reading it), or a save that could not complete. The new content is
// written beside the file and then replaces it in one step, so a failed save leaves the
// previous file intact. A file that is a link is written through it: the link stays, and its
// target is replaced. The replaced file keeps its attributes and access rights.
// Changes to the entries are reported only here, once the file holds them: each entry the save
// changed (setting-set, setting-deleted, in name order) after the file itself (file-created).
// A save that does not happen while entries differ from the file's is reported as a notice
// that the file keeps its former content.
[[nodiscard]] bool WriteSettingsFile();
// Frees every entry. After a file was in use, nothing searches for, loads or writes a settings
// file for the rest of the process: requests for the suite's own keys are served from memory
// only (reads give their defaults unless written since) and never reach the registry, which a
// portable installation does not use for them. Without a file in use the registry goes on
// serving. The switches keep their values.
void FreeSettingsFile();
// Writes a file in use back as the end of the process would, then frees it: the program's last
// word on its settings, said while the change observer still listens.
void CloseSettingsFile();
// Tests only: forgets the file without saving it, so the next request searches again, and
// puts the switches back on.
void ResetSettingsFileForTesting();
