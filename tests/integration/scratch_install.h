#pragma once
// A scratch installation for the integration tests: a program folder holding stand-ins for
// the suite's files, the program path pointed into it, the shell's special folders pointed at
// scratch folders, and a fixed Windows version. Everything is undone by the destructor.

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/test_seams.h"
#include "common/win_handles.h"
#include "integration/os_version.h"
#include "support/program_folder.h"
#include "support/scratch_folder.h"

// The special folders that shortcuts use, each pointed at its own scratch folder.
struct ScratchSpecialFolder {
  int Csidl;
  const wchar_t* Name;
};
inline const ScratchSpecialFolder kScratchSpecialFolders[] = {
    {CSIDL_DESKTOPDIRECTORY, L"UserDesktop"},
    {CSIDL_COMMON_DESKTOPDIRECTORY, L"PublicDesktop"},
    {CSIDL_COMMON_STARTMENU, L"CommonStartMenu"},
    {CSIDL_STARTMENU, L"UserStartMenu"},
    {CSIDL_PROGRAMS, L"UserPrograms"},
    {CSIDL_COMMON_PROGRAMS, L"CommonPrograms"},
};

class ScratchInstall {
 public:
  // The files of an installation that the integration names or links to.
  static constexpr const wchar_t* kSuiteFiles[] = {L"Vellox.exe",  L"vlxext.dll",   L"vlxext32.dll",
                                                   L"Vellox.chm",  L"Vlx.txt",      L"WhatsNew.txt",
                                                   L"license.txt", L"uninstall.exe"};

  explicit ScratchInstall(bool withFiles = true) : program_(root_.MakeFolder(L"Install\\Vellox")) {
    if (withFiles) {
      for (const wchar_t* name : kSuiteFiles)
        AddFile(name);
    }
    for (const auto& folder : kScratchSpecialFolders) {
      SetSpecialFolderForTesting(folder.Csidl, root_.MakeFolder(folder.Name).c_str());
    }
    SetWindowsVersion(6, 1, 7601);
  }
  ~ScratchInstall() {
    ClearSpecialFoldersForTesting();
    ClearWindowsVersionForTesting();
    ResetOsVersionCacheForTesting();
  }
  ScratchInstall(const ScratchInstall&) = delete;
  ScratchInstall& operator=(const ScratchInstall&) = delete;

  // Makes the system report this version (and WMI the given name) from the next query on.
  static void SetWindowsVersion(DWORD major, DWORD minor, DWORD build,
                                const wchar_t* wmiName = nullptr) {
    SetWindowsVersionForTesting(major, minor, build);
    SetWmiNameForTesting(wmiName != nullptr ? WmiOverride::Name : WmiOverride::Fail, wmiName);
    ResetOsVersionCacheForTesting();
  }

  const std::wstring& ProgramFolder() const { return program_.Path(); }
  std::wstring ProgramFile(const wchar_t* name) const { return program_.File(name); }
  std::wstring Folder(int csidl) const {
    for (const auto& folder : kScratchSpecialFolders) {
      if (folder.Csidl == csidl)
        return root_.Join(folder.Name);
    }
    return std::wstring();
  }
  void AddFile(const wchar_t* name) const {
    root_.WriteFile(L"Install\\Vellox\\" + std::wstring(name), "x");
  }
  void RemoveProgramFile(const wchar_t* name) const { DeleteFileW(ProgramFile(name).c_str()); }

  // Every file and folder below the special folders, one sorted line each (the program folder
  // is not included).
  std::vector<std::wstring> FolderSnapshot() const {
    std::vector<std::wstring> lines;
    for (const auto& folder : kScratchSpecialFolders)
      Walk(root_.Join(folder.Name), folder.Name, lines);
    std::sort(lines.begin(), lines.end());
    return lines;
  }

 private:
  static void Walk(const std::wstring& path, const std::wstring& shown,
                   std::vector<std::wstring>& lines) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
    if (!find)
      return;
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..")
        continue;
      bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      lines.push_back(shown + L"\\" + name + (folder ? L"\\" : L""));
      if (folder)
        Walk(path + L"\\" + name, shown + L"\\" + name, lines);
    } while (FindNextFileW(find.get(), &data));
  }

  ScratchFolder root_;
  ScopedProgramFolder program_;
};
