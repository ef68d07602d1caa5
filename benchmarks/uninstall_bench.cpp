// Times the uninstaller's list walks on a generated installation.
//   uninstall_bench <installation folder> <list file>
// Prints "walks <n> entries <n> ms <milliseconds>" for reading the list and walking it until a
// walk removes nothing, exactly as Uninstall mode does (without the integration, the dialogs and
// the self-removal script).
#include <windows.h>

#include <cstdio>

#include "app/file_list.h"
#include "app/list_walk.h"
#include "common/path_util.h"
#include "common/string_util.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: uninstall_bench <folder> <list>\n");
    return 1;
  }
  wchar_t folder[2048];
  CopyBounded(folder, argv[1]);
  EnsureTrailingBackslash(folder, 2048);
  wchar_t program[2048];
  JoinPath(folder, L"uninstall.exe", program, 2048);

  LARGE_INTEGER frequency, start, stop;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  FILE* list = _wfopen(argv[2], L"rb");
  if (list == nullptr)
    return 2;
  UninstallList entries;
  entries.Load(list, folder);
  ListWalkState state = {folder, program, false};
  size_t walks = WalkListUntilDone(entries, state);
  std::fclose(list);
  QueryPerformanceCounter(&stop);
  double ms = 1000.0 * static_cast<double>(stop.QuadPart - start.QuadPart) /
              static_cast<double>(frequency.QuadPart);
  std::printf("walks %u entries %u ms %.1f\n", static_cast<unsigned>(walks),
              static_cast<unsigned>(entries.Count()), ms);
  return 0;
}
