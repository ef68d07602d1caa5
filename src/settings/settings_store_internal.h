#pragma once
// Shared by the three parts of the registry access layer, not for use outside it: request
// routing (settings_store.cpp) sends a request to the settings file or to registry I/O
// (settings_registry.cpp), which reports each change it makes (settings_reports.cpp).

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "common/win_handles.h"

// Capacity of a full key path, terminator included.
constexpr size_t kKeyPathCapacity = 512;
// Returned for a request whose key path or entry name does not fit its buffer.
constexpr LONG kPathTooLong = ERROR_FILENAME_EXCED_RANGE;

// 0 or KEY_WOW64_32KEY (SetRegistryView).
REGSAM RegistryView();

// The key a request really addresses: the full key path, and in User scope the root it is
// routed to (root is changed then, see the install scope in settings_store.h). False (and
// nothing to be done) when the path does not fit.
bool FullKeyPath(HKEY& root, const wchar_t* path, wchar_t (&dest)[kKeyPathCapacity]);

// Opens the key of a caller's path (routed as FullKeyPath does) for reading, with the view
// flag; the system's code (kPathTooLong for a path that does not fit), key set on success.
LONG OpenKeyForRead(HKEY root, const wchar_t* path, UniqueHKey& key);

// --- Registry I/O on full key paths (the view flag applied as settings_store.h says) ---

// Creates the key and sets one value; the system's code of whichever step failed, or 0.
[[nodiscard]] LONG SetRegistryValue(HKEY root, const wchar_t* full, const wchar_t* name, DWORD type,
                                    const void* data, DWORD bytes);
// Deletes one value; failures are ignored.
void DeleteRegistryValue(HKEY root, const wchar_t* full, const wchar_t* name);
// Deletes one key without subkeys; failures are ignored.
void DeleteRegistryKey(HKEY root, const wchar_t* full);

// --- Reports (only while an observer listens; none of them ever throws) ---

// One value's data as a report shows it. Unknown: the value is there (or may be) but its data
// could not be read; such data is reported as kUnknownData, never as absent.
enum class ReportedState { Absent, Present, Unknown };
struct ReportedValue {
  std::wstring Name;
  std::wstring Data;  // may hold NUL units (a multi-string's items)
  ReportedState State = ReportedState::Absent;
};

// The value's data read from an open key.
ReportedValue ReadReportedValue(HKEY key, const wchar_t* name) noexcept;
// The value's data at full: opened for querying only, so that the change itself is asked for
// with exactly the rights it needs without a report. view: the view flag to open it with.
ReportedValue ReadReportedValueAt(HKEY root, const wchar_t* full, const wchar_t* name,
                                  REGSAM view) noexcept;
// Every value of an open key with its data (values whose data cannot be read as unknown).
std::vector<ReportedValue> ReadReportedValues(HKEY key) noexcept;
// The values of the key at full (view flag applied); empty when it cannot be opened.
std::vector<ReportedValue> ReadReportedValuesAt(HKEY root, const wchar_t* full) noexcept;
// How much of full exists already: the length of its longest prefix ending at a separator
// that is known to exist or may exist (a key that cannot be opened for another reason than its
// absence counts as there). Keys below it are created by a RegCreateKeyExW on full.
size_t ExistingKeyPrefix(HKEY root, const wchar_t* full) noexcept;

// Reports each key of full below its existing prefix (created), then the value set.
void ReportValueSet(HKEY root, const wchar_t* full, size_t existing, const wchar_t* name,
                    const ReportedValue& before, DWORD type, const void* data, DWORD bytes,
                    bool valueSet) noexcept;
// Reports a value deleted with what it held.
void ReportValueDeleted(HKEY root, const wchar_t* full, const wchar_t* name,
                        const ReportedValue& before) noexcept;
// Reports a key that is gone, its values first; view is the note of the view it went through
// (null: the native one). reportedName: the key's name as reports show it.
void ReportKeyDeleted(const std::wstring& reportedName, const std::vector<ReportedValue>& values,
                      const wchar_t* view) noexcept;
// A key's name as reports show it: the root's full name and the path below it; empty when
// there is no memory for it.
std::wstring ReportedKeyName(HKEY root, const wchar_t* path) noexcept;
// The child's name below a reported name; false when there is no memory for it.
bool ReportedChildName(const std::wstring& parent, const wchar_t* child,
                       std::wstring& dest) noexcept;
// The note of the view in use, when not the native one.
const wchar_t* ReportedView();
