// Keeps a file in use for end-to-end tests, the way a running program or an open document does.
//
//   holdfile open <file> <marker>   holds <file> open for reading without delete or write
//                                   sharing: it can be neither deleted nor renamed
//   holdfile run <marker>           holds only its own program file, as a running program
//                                   does: it can be renamed but not deleted
//   holdfile mutex <name> <marker>  owns the named mutex, as another run of a program that
//                                   serialises its runs by one does
//
// When the file is held, <marker> is created. The program ends when <marker> is deleted again,
// or after five minutes. Exit code 0, or 2 when the file could not be opened or the mutex was
// not its own.
#include <windows.h>

#include <cwchar>

namespace {

bool Exists(const wchar_t* path) {
  return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

int HoldUntilReleased(const wchar_t* marker) {
  HANDLE created = CreateFileW(marker, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               CREATE_ALWAYS, 0, nullptr);
  if (created != INVALID_HANDLE_VALUE)
    CloseHandle(created);
  for (int i = 0; i < 3000 && Exists(marker); ++i)
    Sleep(100);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"open") == 0) {
    HANDLE held =
        CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE)
      return 2;
    int code = HoldUntilReleased(argv[3]);
    CloseHandle(held);
    return code;
  }
  if (argc == 3 && std::wcscmp(argv[1], L"run") == 0)
    return HoldUntilReleased(argv[2]);
  if (argc == 4 && std::wcscmp(argv[1], L"mutex") == 0) {
    HANDLE mutex = CreateMutexW(nullptr, TRUE, argv[2]);
    if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS)
      return 2;  // not its owner
    int code = HoldUntilReleased(argv[3]);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return code;
  }
  return 1;
}
