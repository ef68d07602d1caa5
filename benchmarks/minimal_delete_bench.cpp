// The reference for the uninstall benchmark: the least a program can do to delete a listed
// installation. Reads the list once, orders it children first and deletes each entry with one
// call (DeleteFileW for a file, RemoveDirectoryW for a folder, told apart from the list itself:
// a folder is an entry that other entries lie below).
//   minimal_delete_bench <installation folder> <list file>
// Prints "entries <n> ms <milliseconds>".
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3)
    return 1;
  std::wstring folder = argv[1];
  if (folder.back() != L'\\')
    folder += L'\\';

  LARGE_INTEGER frequency, start, stop;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  FILE* list = _wfopen(argv[2], L"rb");
  if (list == nullptr)
    return 2;
  std::vector<std::wstring> entries;
  char line[2048];
  wchar_t wide[2048];
  while (std::fgets(line, sizeof(line), list) != nullptr) {
    size_t n = std::strlen(line);
    while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n' || line[n - 1] == ' '))
      --n;
    line[n] = 0;
    if (n == 0)
      continue;
    MultiByteToWideChar(CP_ACP, 0, line, -1, wide, 2048);
    entries.push_back(wide);
  }
  std::fclose(list);

  std::unordered_set<std::wstring> folders;
  for (const std::wstring& e : entries) {
    for (size_t i = e.find(L'\\'); i != std::wstring::npos; i = e.find(L'\\', i + 1)) {
      folders.insert(e.substr(0, i));
    }
  }
  auto depth = [](const std::wstring& e) { return std::count(e.begin(), e.end(), L'\\'); };
  std::stable_sort(
      entries.begin(), entries.end(),
      [&](const std::wstring& a, const std::wstring& b) { return depth(a) > depth(b); });
  for (const std::wstring& e : entries) {
    std::wstring full = folder + e;
    if (folders.count(e) != 0) {
      RemoveDirectoryW(full.c_str());
    } else {
      DeleteFileW(full.c_str());
    }
  }
  QueryPerformanceCounter(&stop);
  double ms = 1000.0 * static_cast<double>(stop.QuadPart - start.QuadPart) /
              static_cast<double>(frequency.QuadPart);
  std::printf("entries %u ms %.1f\n", static_cast<unsigned>(entries.size()), ms);
  return 0;
}
