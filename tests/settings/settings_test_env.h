#pragma once
// A settings environment for one test: an empty registry sandbox, a program folder and an
// application-data folder of its own, and a settings store that has forgotten any earlier
// file. Nothing reaches the real registry, the real program folder or the real AppData.

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>

#include "common/file.h"
#include "common/test_seams.h"
#include "settings/settings_file.h"
#include "support/program_folder.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"
#include "support/utf16_bytes.h"

class SettingsEnvironment {
 public:
  SettingsEnvironment() : program_(scratch_.MakeFolder(L"program")) {
    appData_ = scratch_.MakeFolder(L"appdata");
    SetSpecialFolderForTesting(CSIDL_APPDATA, appData_.c_str());
    ResetSettingsFileForTesting();
  }
  ~SettingsEnvironment() {
    ResetSettingsFileForTesting();
    SetSpecialFolderForTesting(CSIDL_APPDATA, nullptr);
  }
  SettingsEnvironment(const SettingsEnvironment&) = delete;
  SettingsEnvironment& operator=(const SettingsEnvironment&) = delete;

  const ScratchFolder& Scratch() const { return scratch_; }
  const RegistrySandbox& Registry() const { return registry_; }
  const std::wstring& ProgramFolder() const { return program_.Path(); }
  const std::wstring& AppDataFolder() const { return appData_; }
  std::wstring IniPath() const { return program_.File(L"Vellox.ini"); }

  // Puts a settings file beside the program (raw bytes) and forgets the loaded one.
  std::wstring WriteIni(const std::string& bytes) {
    ResetSettingsFileForTesting();
    return scratch_.WriteFile(L"program\\Vellox.ini", bytes);
  }
  std::string ReadIni() const {
    std::string bytes;
    ReadWholeFile(IniPath(), bytes);
    return bytes;
  }

 private:
  RegistrySandbox registry_;
  ScratchFolder scratch_;
  ScopedProgramFolder program_;
  std::wstring appData_;
};

// A real file whose reading fails for real once `good` bytes have been read, as on a flaky
// stick or network share: the next read goes into a page the system cannot store into, so
// ReadFile itself fails (ERROR_NOACCESS) and the file object takes its own read-error path.
class FlakyFile : public File {
 public:
  explicit FlakyFile(uint32_t good)
      : good_(good), page_(VirtualAlloc(nullptr, kPage, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY)) {}
  ~FlakyFile() override {
    (void)Close();  // before the page goes: nothing reads into it afterwards
    if (page_ != nullptr)
      (void)VirtualFree(page_, 0, MEM_RELEASE);
  }
  int32_t Read(void* buffer, uint32_t count) override {
    if (good_ == 0)
      return File::Read(page_, count < kPage ? count : kPage);
    int32_t got = File::Read(buffer, count < good_ ? count : good_);
    if (got > 0)
      good_ -= static_cast<uint32_t>(got);
    return got;
  }

 private:
  static constexpr uint32_t kPage = 65536;
  uint32_t good_;
  void* page_;
};

// The content a save produces for these lines (each gets CR LF).
inline std::string SavedFile(std::initializer_list<const wchar_t*> lines) {
  std::wstring text;
  for (const wchar_t* line : lines)
    text += std::wstring(line) + L"\r\n";
  return Utf16Le(text);
}
