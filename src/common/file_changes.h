#pragma once
// The changes the program makes to files and folders by name, outside whole-file writing
// (common/file.h). Each does one system call and, when that succeeds, reports the change to
// the change observer under the full path (common/change_record.h); a failure changes nothing
// and reports nothing. None of them retries on the long-path form: their callers hand them
// names they have checked or made themselves.

#include <windows.h>

#include "common/change_record.h"

// RemoveDirectoryW: the folder, which must be empty.
bool RemoveEmptyFolder(const wchar_t* path);
// CreateDirectoryW, without an access list of its own.
bool CreateFolder(const wchar_t* path);
// SetFileAttributesW.
bool SetAttributes(const wchar_t* path, DWORD attributes);
// MoveFileW: to must not exist.
bool RenameFile(const wchar_t* from, const wchar_t* to);
// MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT: the file or empty folder goes at the next
// restart.
bool DeleteAtRestart(const wchar_t* path);
// CopyFileW to a name that must not exist yet.
bool CopyToNewFile(const wchar_t* from, const wchar_t* to);

// Reports a change to the named file or folder with its full path (the name as given when it
// cannot be made full). Does nothing while no observer listens.
void RecordFileChange(ChangeKind kind, const wchar_t* path, const wchar_t* name = nullptr,
                      const wchar_t* detail = nullptr);
