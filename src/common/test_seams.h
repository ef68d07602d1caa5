#pragma once
// The few places where a unit test may stand in for the machine: the program's own path, the
// special folders, the Windows version (and the WMI answer behind the new-shell test), the help
// viewer, the answers to message boxes, and the reading of a file. In the shipped program
// nothing sets them, and each query below answers "not overridden", so the production code takes
// its normal path.

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
// Every ask is counted, so that a test sees how often the system would have been queried.
enum class WmiOverride { None, Fail, Name };
WmiOverride GetWmiNameOverride(wchar_t* dest, size_t capacity);
void SetWmiNameForTesting(WmiOverride kind, const wchar_t* name);
int WmiQueryCountForTesting();         // asks since the last ClearWindowsVersionForTesting
void ClearWindowsVersionForTesting();  // clears the version, the WMI answer and the count

// --- Help viewer ---
// Stands in for the HtmlHelpW entry of the system's help viewer library (same signature).
using HelpViewerOverride = HWND(WINAPI*)(HWND owner, const wchar_t* file, UINT command,
                                         DWORD_PTR data);
HelpViewerOverride GetHelpViewerOverride();               // null: the real entry
void SetHelpViewerForTesting(HelpViewerOverride viewer);  // null restores the real entry

// --- Files ---
// The reading members of File (common/file.h) are virtual for one reason: a test may hand the
// readers a file of its own whose bytes come from memory, arrive in short pieces, or stop with
// a real read error part way. The program itself only ever uses File as it is.

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
