#pragma once
// The few places where a unit test may stand in for the machine: the program's own path, the
// special folders, the Windows version (and the WMI answer behind the new-shell test), and the
// answers to message boxes. In the shipped program nothing sets them, and each query below
// answers "not overridden", so the production code takes its normal path.

#include <windows.h>

#include <cstddef>
#include <cstdint>

// --- Program path ---
// The full path of the running program: GetModuleFileNameW(NULL) unless a test set one.
// Returns the length written (0 on failure), like GetModuleFileNameW.
DWORD GetProgramPath(wchar_t* dest, DWORD capacity);
void SetProgramPathForTesting(const wchar_t* path);  // null or "" restores the real path

// --- Special folders (CSIDL values) ---
// True, with the path, when a test pointed this folder somewhere.
bool GetSpecialFolderOverride(int csidl, wchar_t* dest, size_t capacity);
void SetSpecialFolderForTesting(int csidl, const wchar_t* path);  // null removes it
void ClearSpecialFoldersForTesting();

// --- Windows version ---
struct WindowsVersionOverride {
  DWORD Major;
  DWORD Minor;
  DWORD Build;
};
// True, with the version, while a test set one.
bool GetWindowsVersionOverride(WindowsVersionOverride& version);
void SetWindowsVersionForTesting(DWORD major, DWORD minor, DWORD build);
// The WMI answer for the operating system's name: unset (ask WMI), failing, or a given name.
enum class WmiOverride { None, Fail, Name };
WmiOverride GetWmiNameOverride(wchar_t* dest, size_t capacity);
void SetWmiNameForTesting(WmiOverride kind, const wchar_t* name);
void ClearWindowsVersionForTesting();  // clears the version and the WMI answer

// --- Message boxes ---
// While an answer is set, message boxes are not shown: the call is recorded and answered.
bool TakeMessageBoxAnswer(const wchar_t* text, const wchar_t* caption, UINT flags, int& answer);
void SetMessageBoxAnswerForTesting(int answer);  // 0 shows message boxes again
struct MessageBoxRecord {
  wchar_t Text[1024];
  wchar_t Caption[256];
  UINT Flags;
};
int MessageBoxCountForTesting();  // since the last SetMessageBoxAnswerForTesting
const MessageBoxRecord& LastMessageBoxForTesting();
