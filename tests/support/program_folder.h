#pragma once
// A program folder for one test: for the lifetime of the object the program's own path is
// uninstall.exe in the given folder, so that everything the program looks for beside itself
// (settings file, language files, the suite's files) is looked for there. The folder must
// outlive the object; the destructor gives the program its real path back.

#include <string>
#include <utility>

#include "common/test_seams.h"

class ScopedProgramFolder {
 public:
  explicit ScopedProgramFolder(std::wstring folder) : folder_(std::move(folder)) {
    SetProgramPathForTesting(File(L"uninstall.exe").c_str());
  }
  ~ScopedProgramFolder() { SetProgramPathForTesting(nullptr); }
  ScopedProgramFolder(const ScopedProgramFolder&) = delete;
  ScopedProgramFolder& operator=(const ScopedProgramFolder&) = delete;

  const std::wstring& Path() const { return folder_; }
  // Path() + '\' + name.
  std::wstring File(const wchar_t* name) const { return folder_ + L"\\" + name; }

 private:
  std::wstring folder_;
};
