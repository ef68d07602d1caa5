// Starts one command line exactly as it is written, the way the list of installed programs
// starts an entry's command: CreateProcessW with no application name, so the system itself
// finds the program in the text (for an unquoted path with blanks, the first match of
// "C:\Apps.exe", "C:\Apps - Portable\...", ...). Nothing is quoted or split here.
//
//   run_command_line "<command line>"
//
// Waits for the started program, prints its exit code (all of it: a Unix parent sees only the
// low eight bits of the runner's) and exits with it; 2 when nothing could be started, 1 on a
// wrong call.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

// Test programs are built without the product's include folder; the holders are header-only.
#include "../../src/common/win_handles.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2)
    return 1;
  // CreateProcessW may write into the command line: hand it a copy of its own.
  std::vector<wchar_t> commandLine(argv[1], argv[1] + wcslen(argv[1]) + 1);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    return 2;
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  (void)WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 2;
  if (!GetExitCodeProcess(process.get(), &code))
    code = 2;
  // The whole code on standard output too: a Unix parent sees only its low eight bits.
  std::printf("%lu\n", static_cast<unsigned long>(code));
  return static_cast<int>(code);
}
