#include "app/self_removal.h"

#include <cstdlib>
#include <cwchar>

#include "app/setup_flags.h"
#include "common/file.h"
#include "common/string_util.h"
#include "common/win_handles.h"

namespace {

constexpr size_t kPathCapacity = 2048;
constexpr size_t kScriptPathCapacity = 2 * kPathCapacity;  // room for every '%' doubled
// The longest line holds three script paths; nothing is ever cut.
constexpr size_t kLineCapacity = 3 * kScriptPathCapacity + 64;
constexpr int kRemovalAttempts = 5;

// Code pages whose conversion takes neither flags nor a default character.
bool TakesNoConversionFlags(UINT codePage) {
  return codePage == CP_UTF8 || codePage == CP_UTF7 || codePage == 42 ||
         (codePage >= 50220 && codePage <= 50229) || codePage == 52936 || codePage == 54936 ||
         (codePage >= 57002 && codePage <= 57011);
}

// Converts text to the code page into bytes (capacity in bytes). Sets unmapped when a
// character had no exact counterpart. Returns the bytes written, terminator included; 0 on
// failure.
int ConvertForScript(const wchar_t* text, char* bytes, int capacity, UINT codePage,
                     bool& unmapped) {
  unmapped = false;
  if (TakesNoConversionFlags(codePage)) {
    // These code pages hold every character there is (or fail on none that a path can hold).
    return WideCharToMultiByte(codePage, 0, text, -1, bytes, capacity, nullptr, nullptr);
  }
  BOOL usedDefault = FALSE;
  int written = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text, -1, bytes, capacity, "|",
                                    &usedDefault);
  unmapped = usedDefault != FALSE;
  return written;
}

bool FitsCodePage(const wchar_t* text, UINT codePage) {
  size_t length = WideLength(text);
  int capacity = static_cast<int>(4 * length + 4);
  char* bytes = static_cast<char*>(std::malloc(capacity));
  if (bytes == nullptr)
    return false;
  bool unmapped = false;
  bool fits = ConvertForScript(text, bytes, capacity, codePage, unmapped) > 0 && !unmapped;
  std::free(bytes);
  return fits;
}

void DoublePercents(const wchar_t* path, wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return;
  size_t out = 0;
  for (const wchar_t* p = path; *p != 0 && out + 1 < capacity; ++p) {
    if (*p == L'%') {
      if (out + 2 >= capacity)
        break;  // never half of a pair
      dest[out++] = L'%';
    }
    dest[out++] = *p;
  }
  dest[out] = 0;
}

}  // namespace

UINT ScriptCodePage() {
  UINT codePage = GetConsoleCP();
  return codePage != 0 ? codePage : GetOEMCP();
}

void ScriptPathText(const wchar_t* path, wchar_t* dest, size_t capacity) {
  const wchar_t* chosen = path;
  wchar_t shortPath[kPathCapacity];
  UINT codePage = ScriptCodePage();
  if (!FitsCodePage(path, codePage)) {
    DWORD length = GetShortPathNameW(path, shortPath, kPathCapacity);
    if (length > 0 && length < kPathCapacity && FitsCodePage(shortPath, codePage)) {
      chosen = shortPath;
    }
  }
  DoublePercents(chosen, dest, capacity);
}

bool WriteScriptLine(FILE* script, const wchar_t* line) {
  size_t length = WideLength(line);
  // Four bytes per unit covers every code page, UTF-8 included.
  int capacity = static_cast<int>(4 * length + 4);
  char* bytes = static_cast<char*>(std::malloc(capacity));
  if (bytes == nullptr)
    return false;  // the line is skipped
  bool unmapped = false;
  int written = ConvertForScript(line, bytes, capacity, ScriptCodePage(), unmapped);
  bool ok = false;
  if (written > 0) {
    size_t count = static_cast<size_t>(written - 1);  // without the terminator
    ok = std::fwrite(bytes, 1, count, script) == count;
  }
  std::free(bytes);
  return ok;
}

void WriteSelfRemovalScript(FILE* script, const wchar_t* programPath, const wchar_t* installFolder,
                            const wchar_t* scriptPath, bool silent) {
  static wchar_t program[kScriptPathCapacity];
  static wchar_t folder[kScriptPathCapacity];
  static wchar_t self[kScriptPathCapacity];
  static wchar_t line[kLineCapacity];
  ScriptPathText(programPath, program, kScriptPathCapacity);
  ScriptPathText(installFolder, folder, kScriptPathCapacity);
  ScriptPathText(scriptPath, self, kScriptPathCapacity);

  // "<program>" /wait: the program again, which only pauses until this instance has ended.
  CopyBounded(line, L"\"");
  AppendBounded(line, program);
  AppendBounded(line, L"\" /wait\r\n");
  (void)WriteScriptLine(script, line);  // a line that cannot be written is left out

  for (int i = 0; i < kRemovalAttempts; ++i) {
    CopyBounded(line, L"del \"");
    AppendBounded(line, program);
    AppendBounded(line, L"\"\r\nrd \"");
    AppendBounded(line, folder);
    AppendBounded(line, L"\"\r\nif not exist \"");
    AppendBounded(line, program);
    AppendBounded(line, L"\" goto done\r\n");
    (void)WriteScriptLine(script, line);
  }
  (void)WriteScriptLine(script, L":done\r\n");

  if (!silent) {
    CopyBounded(line, L"if exist \"");
    AppendBounded(line, program);
    AppendBounded(line, L"\" \"");
    AppendBounded(line, program);
    AppendBounded(line, L"\" /warning\r\n");
    (void)WriteScriptLine(script, line);
  }

  CopyBounded(line, L"del \"");
  AppendBounded(line, self);
  AppendBounded(line, L"\"\r\n");
  (void)WriteScriptLine(script, line);
}

void StartSelfRemoval(const wchar_t* programPath, const wchar_t* installFolder) {
  wchar_t scriptPath[kPathCapacity] = {};
  DWORD tempLength = GetTempPathW(kPathCapacity, scriptPath);
  if (tempLength >= kPathCapacity)
    return;  // no room for the name
  if (tempLength + WideLength(kScriptFileName) + 1 > kPathCapacity)
    return;
  AppendBounded(scriptPath, kScriptFileName);

  {
    UniqueStdioFile script(OpenStream(scriptPath, L"wb"));
    if (!script)
      return;  // the program and its folder stay in place
    WriteSelfRemovalScript(script.get(), programPath, installFolder, scriptPath, SetupFlags.Silent);
  }

  wchar_t interpreter[kPathCapacity] = {};
  DWORD length = GetEnvironmentVariableW(L"COMSPEC", interpreter, kPathCapacity);
  if (length == 0 || length >= kPathCapacity)
    interpreter[0] = 0;

  // interpreter /c "script". An interpreter path with a blank is quoted, so that the system
  // cannot take a shorter path in front of the blank for the program to start.
  static wchar_t commandLine[2 * kPathCapacity + 16];
  bool quote = interpreter[0] != L'"' && wcschr(interpreter, L' ') != nullptr;
  CopyBounded(commandLine, quote ? L"\"" : L"");
  AppendBounded(commandLine, interpreter);
  AppendBounded(commandLine, quote ? L"\" /c \"" : L" /c \"");
  AppendBounded(commandLine, scriptPath);
  AppendBounded(commandLine, L"\"");

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;

  // The script starts in the parent of the installation folder, so that no process keeps the
  // installation folder in use.
  (void)SetCurrentDirectoryW(L"..");  // at a drive root ".." stays there

  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    // The script runs on its own; its handles are not needed here.
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
  }
}
