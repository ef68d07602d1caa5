#pragma once
// A fresh, empty folder below the system's temporary folder for the lifetime of the object;
// the destructor deletes it with everything in it (never following reparse points).

#include <string>

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  // Path() + '\' + relative.
  std::wstring Join(const std::wstring& relative) const;
  // Creates a file (and its folders) holding the given bytes; returns its full path.
  std::wstring WriteFile(const std::wstring& relative, const std::string& bytes) const;
  std::wstring MakeFolder(const std::wstring& relative) const;

 private:
  std::wstring path_;
};

// Whole-file helpers for tests.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);
bool PathExists(const std::wstring& path);
// Deletes a folder tree without following reparse points.
void DeleteTree(const std::wstring& path);
// The folder that holds the running test program.
std::wstring TestProgramFolder();
// Runs a command line and waits for it (up to timeoutMs); returns its exit code, or -1.
int RunAndWait(const std::wstring& commandLine, DWORD timeoutMs = 60000);
