// Language file benchmark: writes a 2 MiB language file (8-bit and UTF-16), then prints the time
// to read it into memory, the time to parse it (open, marker search, decoding, the one pass and
// the key index), and the time per lookup over a million lookups, with the heap's block count
// before and after the lookups. Prints figures only; nothing is checked against a limit.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lang/language_file.h"
#include "lang/language_key_table.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Busy blocks over every heap of the process.
size_t HeapBlocks() {
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  size_t blocks = 0;
  for (DWORD i = 0; i < count && i < 64; ++i) {
    if (!HeapLock(heaps[i]))
      continue;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
        ++blocks;
    }
    HeapUnlock(heaps[i]);
  }
  return blocks;
}

// A translation of every table key, then filler entries with escapes and comments, until the
// text holds 2 MiB in its encoding.
std::wstring MakeText(size_t targetBytes, size_t unitSize, std::vector<std::string>& keys) {
  std::wstring text = L"Translator notes in front of the marker.\r\n***messages***\r\n";
  std::string section = "s:";
  for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
    const std::string key = LanguageKeyTable[i].Key;
    const size_t colon = key.find(':');
    const std::string prefix = key.substr(0, colon + 1);
    if (prefix != section) {
      section = prefix;
      const std::string header =
          prefix == "s:" ? ":STRINGS" : ":DIALOG " + prefix.substr(1, colon - 1);
      text += std::wstring(header.begin(), header.end()) + L"\r\n";
    }
    const std::string name = key.substr(colon + 1);
    text += std::wstring(name.begin(), name.end()) + L" \"Translated text of " +
            std::wstring(name.begin(), name.end()) + L"\\nsecond line\"\r\n";
    keys.push_back(key);
  }
  text += L":STRINGS\r\n";
  for (int n = 0; text.size() * unitSize < targetBytes - 200; ++n) {
    const std::string name = "IDS_FILLER" + std::to_string(n);
    text += std::wstring(name.begin(), name.end()) +
            L"    \"A filler message with a \\\"quoted\\\" word and a tab\\tin it\"  \r\n";
    if (n % 50 == 0)
      text += L"; a comment line for translators\r\n\r\n";
    keys.push_back("s:" + name);
  }
  return text;
}

bool WriteBytes(const std::wstring& path, const void* data, size_t size) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(h);
  return ok && written == size;
}

double ReadWholeFileSeconds(const std::wstring& path, size_t& bytes) {
  const double start = Now();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  std::vector<char> buffer(4 * 1024 * 1024);
  DWORD n = 0;
  bytes = 0;
  while (
      ReadFile(h, buffer.data() + bytes, static_cast<DWORD>(buffer.size() - bytes), &n, nullptr) &&
      n > 0) {
    bytes += n;
  }
  CloseHandle(h);
  return Now() - start;
}

void Run(const wchar_t* label, const std::wstring& path, const std::vector<std::string>& keys) {
  const int rounds = 5;
  double readBest = 1e9, parseBest = 1e9;
  size_t bytes = 0;
  for (int r = 0; r < rounds; ++r) {
    const double t = ReadWholeFileSeconds(path, bytes);
    if (t < readBest)
      readBest = t;
  }
  for (int r = 0; r < rounds; ++r) {
    const double start = Now();
    ParseLanguageFile(path.c_str());
    const double t = Now() - start;
    if (t < parseBest)
      parseBest = t;
  }
  std::printf("%ls: %zu bytes, %zu entries\n", label, bytes, LanguageEntryCount());
  std::printf("  read into memory     %8.2f ms\n", readBest * 1000);
  std::printf("  parse (whole load)   %8.2f ms  (%.0f MB/s)\n", parseBest * 1000,
              bytes / parseBest / 1e6);

  // A million lookups of each kind: by key (all keys of the file, in a scattered order), by
  // message ID (with misses), and by dialog item (with misses).
  const size_t lookups = 1000000;
  static wchar_t text[1024];
  const size_t blocksBefore = HeapBlocks();
  size_t hits = 0;
  double start = Now();
  for (size_t i = 0; i < lookups; ++i) {
    hits += FindTextByKey(keys[(i * 2654435761u) % keys.size()].c_str(), text, 1024);
  }
  double seconds = Now() - start;
  std::printf("  1,000,000 FindTextByKey   %8.2f ms  (%4.0f ns each, %zu found)\n", seconds * 1000,
              seconds * 1e9 / lookups, hits);
  hits = 0;
  start = Now();
  for (size_t i = 0; i < lookups; ++i) {
    hits += FindStringText(5101 + static_cast<unsigned>(i % 50), text, 1024);
  }
  seconds = Now() - start;
  std::printf("  1,000,000 FindStringText  %8.2f ms  (%4.0f ns each, %zu found)\n", seconds * 1000,
              seconds * 1e9 / lookups, hits);
  hits = 0;
  start = Now();
  for (size_t i = 0; i < lookups; ++i) {
    hits += FindDialogText(L"SETUPDLG", (i & 1) ? L"CAPTION" : L"NOSUCHITEM", text, 1024);
  }
  seconds = Now() - start;
  std::printf("  1,000,000 FindDialogText  %8.2f ms  (%4.0f ns each, %zu found)\n", seconds * 1000,
              seconds * 1e9 / lookups, hits);
  const size_t blocksAfter = HeapBlocks();
  std::printf("  heap blocks          %zu before, %zu after the lookups\n", blocksBefore,
              blocksAfter);
}

}  // namespace

int wmain() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder =
      std::wstring(temp) + L"vlx-language-bench-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  const size_t target = 2 * 1024 * 1024;

  std::vector<std::string> ansiKeys;
  const std::wstring ansiText = MakeText(target, 1, ansiKeys);
  const std::string ansiBytes(ansiText.begin(), ansiText.end());  // ASCII only
  const std::wstring ansiPath = folder + L"\\ansi.lng";

  std::vector<std::string> wideKeys;
  const std::wstring wideText = L"\xFEFF" + MakeText(target, 2, wideKeys);
  const std::wstring widePath = folder + L"\\utf16.lng";

  if (!WriteBytes(ansiPath, ansiBytes.data(), ansiBytes.size()) ||
      !WriteBytes(widePath, wideText.data(), wideText.size() * sizeof(wchar_t))) {
    std::printf("cannot write the test files in %ls\n", folder.c_str());
    return 1;
  }
  Run(L"8-bit file", ansiPath, ansiKeys);
  Run(L"UTF-16 file", widePath, wideKeys);

  DeleteFileW(ansiPath.c_str());
  DeleteFileW(widePath.c_str());
  RemoveDirectoryW(folder.c_str());
  return 0;
}
