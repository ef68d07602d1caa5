// A stand-in for the archiver (built as Vellox.exe), and for any other sibling program a test
// needs started (for instance the context-menu package installer). It records how it was
// started and exits.
//
// Each start appends one line, UTF-8, to the file named by the environment variable
// VELLOX_STANDIN_LOG, or to "Vellox.log" beside the program when that is not set:
//   <own full path> TAB <number of arguments> { TAB <argument> }
// The arguments are those after the program name, as CommandLineToArgvW splits them.
// With VELLOX_STANDIN_HOLD naming a file, the program then waits until that file exists (at
// most 60 seconds) before it exits, so a test can make it "hang".

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::string ToUtf8(const std::wstring& text) {
  if (text.empty())
    return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size,
                      nullptr, nullptr);
  return result;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[2048];
  const DWORD length = GetEnvironmentVariableW(name, value, 2048);
  if (length == 0 || length >= 2048)
    return std::wstring();
  return std::wstring(value, length);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int wmain() {
  wchar_t self[2048];
  const DWORD selfLength = GetModuleFileNameW(nullptr, self, 2048);
  if (selfLength == 0 || selfLength >= 2048)
    return 2;

  std::wstring line = self;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  line += L'\t';
  line += std::to_wstring(argc > 0 ? argc - 1 : 0);
  for (int i = 1; i < argc; ++i) {
    line += L'\t';
    line += argv[i];
  }
  line += L'\n';
  if (argv != nullptr)
    LocalFree(argv);

  std::wstring log = Environment(L"VELLOX_STANDIN_LOG");
  if (log.empty()) {
    log = self;
    log.replace(log.find_last_of(L'\\') + 1, std::wstring::npos, L"Vellox.log");
  }
  // Several starts may race for the log: retry while another one holds it.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      Sleep(20);
  }
  if (file == INVALID_HANDLE_VALUE)
    return 3;
  const std::string bytes = ToUtf8(line);
  DWORD written = 0;
  const BOOL ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != bytes.size())
    return 4;

  const std::wstring hold = Environment(L"VELLOX_STANDIN_HOLD");
  if (!hold.empty()) {
    for (int waited = 0; waited < 60000 && !Exists(hold); waited += 50)
      Sleep(50);
  }
  return 0;
}
