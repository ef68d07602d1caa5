#pragma once
// Redirects HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT to scratch keys for
// the lifetime of the object, so production code runs unchanged against an empty registry.
// The scratch keys live under HKCU\Software\VelloxTests\<unique>; the destructor first undoes
// the overrides, then deletes them. The constructor proves each override by reading, through
// the predefined root, a value it wrote into the scratch key; when a scratch key or an override
// did not take effect it ends the whole test program (exit code 3) before any test can write to
// the real registry.

#include <windows.h>

#include <string>

#include "common/win_handles.h"

class RegistrySandbox {
 public:
  RegistrySandbox();
  ~RegistrySandbox();
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  // The real key that stands in for a root (for reading it bypassing the override, or for
  // exporting it): "Software\VelloxTests\<unique>\HKLM" below the real HKEY_CURRENT_USER.
  std::wstring ScratchPath(HKEY root) const;
  // Opens the stand-in of a root for a path below it, through the real registry.
  HKEY OpenReal(HKEY root, const wchar_t* path, REGSAM access = KEY_READ) const;

  // A listing of everything below the sandbox, one line per key and value with type and data,
  // sorted: compare two snapshots to see what a sequence left behind.
  std::wstring Snapshot() const;

 private:
  // Ends the process when the override of root is not in effect.
  void VerifyOverride(HKEY root, HKEY scratch, const wchar_t* rootName);

  std::wstring base_;
  UniqueHKey realHkcu_;
  UniqueHKey hkcu_;
  UniqueHKey hklm_;
  UniqueHKey hkcr_;
};

// Reads a value through the (possibly overridden) registry; empty optional-like results.
bool RegValueExists(HKEY root, const wchar_t* path, const wchar_t* name);
bool RegKeyExists(HKEY root, const wchar_t* path, REGSAM view = 0);
std::wstring RegReadString(HKEY root, const wchar_t* path, const wchar_t* name, REGSAM view = 0);
DWORD RegReadDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD fallback = 0xDEADBEEF,
                   REGSAM view = 0);
void RegWriteString(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* value);
void RegWriteDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD value);
// Creates a key whose DACL allows only reading (D:P(A;OICI;KR;;;WD)), so that opening it for
// writing fails with ERROR_ACCESS_DENIED.
void RegCreateReadOnlyKey(HKEY root, const wchar_t* path);
// Creates (or takes) a key whose DACL allows everyone only the given rights, in SDDL form ("KW":
// writing only, so that opening it for querying fails with ERROR_ACCESS_DENIED).
void RegCreateKeyWithRights(HKEY root, const wchar_t* path, const wchar_t* rights);
