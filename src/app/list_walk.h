#pragma once
// Deleting the entries of the installation's file list in repeated walks. Order in the list does
// not matter: a folder listed before its files is removed by a later walk, once it is empty.
// Walks go on until one removes nothing; each walk passes over the entries that an earlier one
// settled (removed, found missing, moved aside or refused), which gives the same outcome as
// trying every entry again.

#include <cstddef>
#include <vector>

class UninstallList;

struct ListWalkState {
  const wchar_t* Folder;       // installation folder, with its trailing backslash
  const wchar_t* ProgramPath;  // the running program: left to the self-removal script
  bool RebootPending;          // set when a file in use was scheduled for deletion at restart
                               // (or, in User scope, at the next logon)
  // In User scope, the folder that a logon deletion removes too once it is empty (no trailing
  // backslash); null for none.
  const wchar_t* LogonFolder = nullptr;
  // By entry index: found to be a plain folder that was not empty yet. Kept by the walks from
  // one to the next, for one list; starts empty.
  std::vector<bool> KnownFolders = {};
};

// One walk over the list; returns the number of entries it removed.
//  - A folder is removed only when empty (RemoveDirectoryW).
//  - A link (junction or symbolic link) is removed as the link itself; an entry that lies
//    below a link inside the installation folder is never touched.
//  - A file that cannot be deleted is left alone when it is the program itself or the list
//    "Uninstall.lst"; otherwise it is in use: it is moved aside to the first free
//    "<path>.<n>.tmp" name (n = 0..999) and scheduled for deletion at restart. In User scope
//    (no administrator rights) it is neither renamed nor scheduled: DeleteAtLogon takes it.
size_t WalkListOnce(UninstallList& list, ListWalkState& state);
// Walks until a walk removes nothing; returns the number of walks made.
size_t WalkListUntilDone(UninstallList& list, ListWalkState& state);

// Renames the file to the first "<path>.<n>.tmp" that does not exist (the name for n = 999 when
// all exist) and schedules the renamed file, or the file itself when the rename fails, for
// deletion at restart. Returns whether the scheduling was recorded.
bool MoveAsideForRestart(const wchar_t* path);

// The per-user run-once key; Windows runs each of its values once at the user's next logon
// and deletes it.
inline constexpr wchar_t kRunOnceKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// Deletes the file at the user's next logon: a value "Vellox delete <n>" (the first free n) of
// the per-user run-once key holding a hidden command-interpreter command,
// "<ComSpec>" /d /c del /f /q "<path>", with short paths so that it stays below 260 characters.
// With a folder (no trailing backslash) the command then removes the folder too, once it is empty
// ("rd", which leaves a folder with anything in it alone), so that the last of these commands to
// run takes the folder with it; a command too long with the folder goes without it. Needs no
// administrator rights. False, with nothing written, when the command does not fit or the value
// cannot be written.
bool DeleteAtLogon(const wchar_t* path, const wchar_t* folder = nullptr);
