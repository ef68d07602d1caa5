#pragma once
// The registry access layer. Every registry value of the suite is read, written and deleted
// here. Paths under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE without a leading backslash are
// below "Software\Vellox"; a leading backslash makes them absolute from the root; under any
// other root the path is used unchanged. Requests for the suite's own keys go to the INI
// settings file when one is in use (portable installation).
//
// Contracts callers rely on: reads never fail visibly (any failure yields the default);
// writes return the system's error code (WriteSettingString returns ERROR_ACCESS_DENIED when
// the key cannot be created or written for lack of rights); deletions ignore every failure.
// No key is kept open between calls, except within a write batch (SettingsWriteBatch).
//
// Install scope: in Machine scope (the default) roots are used as given. In User scope (a
// per-user installation) every request that reaches the registry for HKEY_LOCAL_MACHINE goes to
// HKEY_CURRENT_USER with the same path (suite paths below Software\Vellox, absolute paths from
// the root), and every one for HKEY_CLASSES_ROOT to HKEY_CURRENT_USER\Software\Classes\<path>,
// so that no machine-wide key is ever touched. Reports name the key really written. The
// settings file's routing does not depend on the scope.

#include <windows.h>

#include <cstddef>
#include <cstdint>

enum class InstallScope { Machine, User };
// Set by Setup and Uninstall before their first integration write; process-wide.
void SetInstallScope(InstallScope scope);
InstallScope GetInstallScope();

// Full key path for a root and a caller's path (see above). True unless the path had to be cut
// short to fit capacity (the store then leaves such a key alone rather than touch another).
bool SettingsKeyPath(HKEY root, const wchar_t* path, wchar_t* dest, size_t capacity);
// KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS plus the view flag; null on failure. Caller closes.
HKEY OpenSettingsKeyForRead(HKEY root, const wchar_t* path);
// KEY_WRITE plus the view flag; null on failure with the system's code in *error. Caller closes.
HKEY CreateSettingsKey(HKEY root, const wchar_t* path, LONG* error);

bool SettingsKeyExists(HKEY root, const wchar_t* path);
uint32_t ReadSettingInt(HKEY root, const wchar_t* path, const wchar_t* name, uint32_t def);
uint32_t ReadUserInt(const wchar_t* path, const wchar_t* name, uint32_t def);
// One value of an open key as text, its type not examined: at most capacity units are read (a
// longer value fails with ERROR_MORE_DATA) and dest is always terminated, also when the stored
// text carries no terminator of its own. On failure dest is empty and the system's code is
// returned; ERROR_SUCCESS otherwise. Nothing is written when capacity is 0.
[[nodiscard]] LONG ReadRegistryText(HKEY key, const wchar_t* name, wchar_t* dest, size_t capacity);
// The value's text or the default in dest; true when the text came from the store. keyExists,
// when given, receives what SettingsKeyExists would say of the key, read with the same open.
bool ReadSettingString(HKEY root, const wchar_t* path, const wchar_t* name, wchar_t* dest,
                       const wchar_t* def, size_t capacity, bool* keyExists = nullptr);
bool ReadUserString(const wchar_t* path, const wchar_t* name, wchar_t* dest, const wchar_t* def,
                    size_t capacity);
[[nodiscard]] LONG WriteSettingString(HKEY root, const wchar_t* path, const wchar_t* name,
                                      const wchar_t* text);
[[nodiscard]] LONG WriteUserString(const wchar_t* path, const wchar_t* name, const wchar_t* text);
[[nodiscard]] LONG WriteSettingInt(HKEY root, const wchar_t* path, const wchar_t* name,
                                   uint32_t value);
[[nodiscard]] LONG WriteUserInt(const wchar_t* path, const wchar_t* name, uint32_t value);
void DeleteSettingValue(HKEY root, const wchar_t* path, const wchar_t* name);
void DeleteUserValue(const wchar_t* path, const wchar_t* name);
// One key, which must have no subkeys (a key with subkeys survives).
void DeleteSettingsKey(HKEY root, const wchar_t* path);
// A key with everything below it.
void DeleteSettingsTree(HKEY root, const wchar_t* path);
// Raw recursive deletion by repeated depth-first passes; the parent itself is never deleted.
void DeleteRegistryTree(HKEY parent, const wchar_t* subkey);
// 0 or KEY_WOW64_32KEY; added to open-for-read, create and single-key delete only.
// A caller that sets it resets it to 0 before it returns: ScopedRegistryView does.
void SetRegistryView(REGSAM flag);
// Sets the view for its lifetime and puts the former one back when it goes, also on an early
// return or an exception.
class ScopedRegistryView {
 public:
  explicit ScopedRegistryView(REGSAM flag);
  ~ScopedRegistryView();
  ScopedRegistryView(const ScopedRegistryView&) = delete;
  ScopedRegistryView& operator=(const ScopedRegistryView&) = delete;

 private:
  REGSAM previous_;
};
// For its lifetime (batches nest), the key of the last value written stays open for the next
// value written to the same key, in the same view: a run of writes to one key opens it once.
// The key is closed when the outermost batch ends and before any key is deleted; a write to a
// key that another program deleted meanwhile creates it again, as outside a batch. Reads always
// open keys of their own. What is written, and what is reported, is the same with or without
// a batch.
class SettingsWriteBatch {
 public:
  SettingsWriteBatch();
  ~SettingsWriteBatch();
  SettingsWriteBatch(const SettingsWriteBatch&) = delete;
  SettingsWriteBatch& operator=(const SettingsWriteBatch&) = delete;
};
// False only while a settings file is in use whose Global\Integration is 0.
bool IsIntegrationEnabled();
// Writes the settings file back; false when nothing was written.
[[nodiscard]] bool SaveSettingsFile();
