// Settings file figures: load, save, 100 reads and 100 writes on files of 1,000, 10,000 and
// 50,000 entries. Prints times and the process's peak memory; asserts nothing. Everything is
// done in a scratch folder below the temporary folder, through the program-path seam, so no
// request reaches the registry.

#define PSAPI_VERSION 2
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "common/test_seams.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The file of n entries, as a save writes it (UTF-16LE with its mark): a mix of numbers under
// a few keys and quoted texts, in no particular order.
bool WriteSettings(const std::wstring& path, int n) {
  std::wstring text = L"\xFEFF";
  for (int i = 0; i < n; ++i) {
    int k = (i * 7919) % n;
    if (k % 3 == 0) {
      text += L"HKCU\\Setup\\MenuItems\\Item" + std::to_wstring(k) + L"=\"*.iso;*.img\"\r\n";
    } else {
      text +=
          L"HKCU\\Setup\\Links\\Value" + std::to_wstring(k) + L"=" + std::to_wstring(k) + L"\r\n";
    }
  }
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written,
                      nullptr) != FALSE;
  CloseHandle(h);
  return ok;
}

size_t PeakMegabytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
    return 0;
  return counters.PeakWorkingSetSize / (1024 * 1024);
}

}  // namespace

int wmain() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder =
      std::wstring(temp) + L"vlx-settings-bench-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring ini = folder + L"\\Vellox.ini";
  SetProgramPathForTesting((folder + L"\\uninstall.exe").c_str());

  std::printf("%8s %10s %10s %12s %12s %10s %9s\n", "entries", "load ms", "save ms", "100 reads ms",
              "100 writes ms", "file KiB", "peak MiB");
  int status = 0;
  for (int n : {1000, 10000, 50000}) {
    if (!WriteSettings(ini, n)) {
      std::printf("cannot write %ls\n", ini.c_str());
      status = 1;
      break;
    }
    ResetSettingsFileForTesting();
    double t0 = Now();
    LoadSettingsFile();
    double load = Now() - t0;
    if (!SettingsFileInUse()) {
      std::printf("the settings file was not loaded\n");
      status = 1;
      break;
    }
    // Reads spread over the file (about a third of them texts), some of names not present.
    uint32_t sum = 0;
    wchar_t text[256];
    t0 = Now();
    for (int i = 0; i < 100; ++i) {
      int k = (i * 104729) % (n + n / 10);
      std::wstring name = L"Value" + std::to_wstring(k);
      sum += ReadUserInt(L"Setup\\Links", name.c_str(), 0);
      if (i % 3 == 0) {
        (void)ReadUserString(L"Setup\\MenuItems", (L"Item" + std::to_wstring(k)).c_str(), text, L"",
                             256);
      }
    }
    double reads = Now() - t0;
    // Writes: half replace existing entries, half add new ones.
    t0 = Now();
    for (int i = 0; i < 100; ++i) {
      std::wstring name = L"Value" + std::to_wstring(i % 2 == 0 ? (i * 31) % n : n + i);
      (void)WriteUserInt(L"Setup\\Links", name.c_str(), static_cast<uint32_t>(i));
    }
    double writes = Now() - t0;
    t0 = Now();
    bool saved = SaveSettingsFile();
    double save = Now() - t0;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(ini.c_str(), GetFileExInfoStandard, &data);
    std::printf("%8d %10.1f %10.1f %12.1f %12.1f %10lu %9zu%s\n", n, load, save, reads, writes,
                data.nFileSizeLow / 1024, PeakMegabytes(), saved ? "" : "  (save failed)");
    if (!saved)
      status = 1;
    (void)sum;
  }
  ResetSettingsFileForTesting();
  SetProgramPathForTesting(nullptr);
  DeleteFileW(ini.c_str());
  RemoveDirectoryW(folder.c_str());
  return status;
}
