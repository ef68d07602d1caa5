#include <windows.h>

#include "support/scratch_folder.h"

#include <vector>

#include "common/win_handles.h"

ScratchFolder::ScratchFolder() {
  static int counter = 0;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  wchar_t name[128];
  swprintf(name, 128, L"vlxt-%lu-%lu-%d", GetCurrentProcessId(), GetTickCount(), ++counter);
  path_ = std::wstring(temp) + name;
  CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { DeleteTree(path_); }

std::wstring ScratchFolder::Join(const std::wstring& relative) const {
  return path_ + L"\\" + relative;
}

std::wstring ScratchFolder::MakeFolder(const std::wstring& relative) const {
  std::wstring full = Join(relative);
  for (size_t i = path_.size() + 1; i <= full.size(); ++i) {
    if (i == full.size() || full[i] == L'\\') {
      CreateDirectoryW(full.substr(0, i).c_str(), nullptr);
    }
  }
  return full;
}

std::wstring ScratchFolder::WriteFile(const std::wstring& relative, const std::string& bytes) const {
  std::wstring full = Join(relative);
  size_t slash = relative.find_last_of(L'\\');
  if (slash != std::wstring::npos) MakeFolder(relative.substr(0, slash));
  UniqueFileHandle h(CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (h) ::WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return full;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  UniqueFileHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
  if (!h) return false;
  bytes.clear();
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h.get(), buf, sizeof(buf), &got, nullptr) && got > 0) bytes.append(buf, got);
  return true;
}

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void DeleteTree(const std::wstring& path) {
  DWORD attr = GetFileAttributesW(path.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES) return;
  if (!(attr & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    return;
  }
  if (!(attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW fd;
    UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &fd));
    if (find) {
      do {
        std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") DeleteTree(path + L"\\" + name);
      } while (FindNextFileW(find.get(), &fd));
    }
  }
  RemoveDirectoryW(path.c_str());
}

std::wstring TestProgramFolder() {
  wchar_t buf[2048];
  DWORD n = GetModuleFileNameW(nullptr, buf, 2048);
  std::wstring p(buf, n);
  return p.substr(0, p.find_last_of(L'\\'));
}

int RunAndWait(const std::wstring& commandLine, DWORD timeoutMs) {
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(0);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return -1;
  }
  UniqueHandle process(pi.hProcess);
  UniqueHandle thread(pi.hThread);
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 255);
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}
