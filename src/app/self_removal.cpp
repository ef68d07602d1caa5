#include "app/self_removal.h"

#include <cstdlib>
#include <cwchar>

#include "app/switches.h"
#include "common/change_record.h"
#include "common/file.h"
#include "common/path_util.h"
#include "common/setup_flags.h"
#include "common/string_util.h"
#include "common/win_handles.h"

namespace {

constexpr size_t kScriptPathCapacity = 2 * kPathBufferCapacity;  // room for every '%' doubled
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

// A folder's path in the form folders are compared in: full, long names rather than short
// ones where the folder exists, with a trailing backslash. Empty when path is empty.
void ComparableFolder(const wchar_t* path, wchar_t* dest) {
  wchar_t full[kPathBufferCapacity];
  DWORD length = GetFullPathNameW(path, kPathBufferCapacity, full, nullptr);
  if (length == 0 || length >= kPathBufferCapacity)
    CopyBounded(full, path);
  length = GetLongPathNameW(full, dest, kPathBufferCapacity);
  if (length == 0 || length >= kPathBufferCapacity)
    CopyBounded(dest, full, kPathBufferCapacity);
  (void)EnsureTrailingBackslash(dest, kPathBufferCapacity);
}

// True when folder is container or lies inside it; both in comparable form. A drive root
// contains nothing here: it is never removed, so a script below it keeps nothing in place.
bool LiesIn(const wchar_t* folder, const wchar_t* container) {
  const wchar_t* separator = wcschr(container, L'\\');
  if (separator == nullptr || separator[1] == 0)
    return false;
  int length = static_cast<int>(WideLength(container));
  return static_cast<int>(WideLength(folder)) >= length &&
         CompareStringOrdinal(folder, length, container, length, TRUE) == CSTR_EQUAL;
}

// The folder the script is written to and started in: the system's temporary folder, in
// comparable form. False when there is none, when it is on a network share (the interpreter
// cannot start in such a folder) or when it is the installation folder or the program's
// folder or lies inside one of them: a script there would keep that folder from being removed.
bool FindScriptFolder(const wchar_t* programPath, const wchar_t* installFolder, wchar_t* dest) {
  wchar_t temp[kPathBufferCapacity];
  DWORD length = GetTempPathW(kPathBufferCapacity, temp);
  if (length == 0 || length >= kPathBufferCapacity)
    return false;
  ComparableFolder(temp, dest);
  if (dest[0] == L'\\' && dest[1] == L'\\')
    return false;
  wchar_t programFolder[kPathBufferCapacity];
  FolderOfPath(programPath, programFolder, kPathBufferCapacity);
  for (const wchar_t* removed : {installFolder, static_cast<const wchar_t*>(programFolder)}) {
    wchar_t comparable[kPathBufferCapacity];
    ComparableFolder(removed, comparable);
    if (LiesIn(dest, comparable))
      return false;
  }
  return true;
}

// A COMSPEC in quotation marks names the same program: the quotes go (the buffer is changed).
const wchar_t* UnquotedPath(wchar_t* path) {
  if (path[0] != L'"')
    return path;
  wchar_t* close = wcschr(path + 1, L'"');
  if (close != nullptr)
    *close = 0;
  return path + 1;
}

}  // namespace

UINT ScriptCodePage() {
  UINT codePage = GetConsoleCP();
  return codePage != 0 ? codePage : GetOEMCP();
}

void ScriptPathText(const wchar_t* path, wchar_t* dest, size_t capacity) {
  const wchar_t* chosen = path;
  wchar_t shortPath[kPathBufferCapacity];
  UINT codePage = ScriptCodePage();
  if (!FitsCodePage(path, codePage)) {
    DWORD length = GetShortPathNameW(path, shortPath, kPathBufferCapacity);
    if (length > 0 && length < kPathBufferCapacity && FitsCodePage(shortPath, codePage)) {
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
  wchar_t scriptFolder[kPathBufferCapacity] = {};
  wchar_t scriptPath[kPathBufferCapacity] = {};
  bool written = false;
  if (FindScriptFolder(programPath, installFolder, scriptFolder) &&
      WideLength(scriptFolder) + WideLength(kScriptFileName) < kPathBufferCapacity) {
    JoinPath(scriptFolder, kScriptFileName, scriptPath, kPathBufferCapacity);
    UniqueStdioFile script(OpenStream(scriptPath, L"wb"));
    if (script) {
      WriteSelfRemovalScript(script.get(), programPath, installFolder, scriptPath,
                             SetupFlags.Silent);
      written = true;
    }
  }
  if (!written) {
    // Nowhere to put the script: the program and its folder stay, and the user is told to
    // delete them.
    RecordChange(ChangeKind::Notice, programPath, nullptr,
                 L"no place for the removal script: the program and its folder stay");
    if (!SetupFlags.Silent)
      ShowRemovalWarning();
    return;
  }

  wchar_t interpreter[kPathBufferCapacity] = {};
  DWORD length = GetEnvironmentVariableW(L"COMSPEC", interpreter, kPathBufferCapacity);
  if (length == 0 || length >= kPathBufferCapacity)
    interpreter[0] = 0;  // no interpreter: the start below fails
  const wchar_t* interpreterPath = UnquotedPath(interpreter);

  // The interpreter is named to the system on its own, so that a blank in its path cannot make
  // the system start a shorter path in front of the blank. The script is named relative to the
  // interpreter's current folder, the temporary folder. A full path would not do: after /c the
  // interpreter strips or keeps quotation marks depending on the characters between them
  // (& ( ) ^ @ among others) and expands %NAME% on its command line, so some legal folder
  // names always come out as another path; ".\Uninstall_Vlx.Bat" never does. /d keeps AutoRun
  // commands from changing the folder first; /v:off keeps '!' in the script's paths literal.
  static wchar_t commandLine[kPathBufferCapacity + 64];
  CopyBounded(commandLine, L"\"");
  AppendBounded(commandLine, interpreterPath);
  AppendBounded(commandLine, L"\" /d /v:off /c .\\");
  AppendBounded(commandLine, kScriptFileName);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;

  // This process leaves the installation folder too, so that it keeps nothing there in use.
  (void)SetCurrentDirectoryW(L"..");  // at a drive root ".." stays there

  PROCESS_INFORMATION process = {};
  if (CreateProcessW(interpreterPath, commandLine, nullptr, nullptr, TRUE, 0, nullptr, scriptFolder,
                     &startup, &process)) {
    // The script runs on its own; its handles are not needed here.
    UniqueHandle processHandle(process.hProcess);
    UniqueHandle threadHandle(process.hThread);
    RecordChange(ChangeEvent{ChangeKind::Notice, scriptPath, commandLine, nullptr, nullptr,
                             L"removal script started"});
    RecordChange(ChangeKind::LeftToScript, programPath);
    RecordChange(ChangeKind::LeftToScript, installFolder, nullptr, L"when empty");
    RecordChange(ChangeKind::LeftToScript, scriptPath);
  } else {
    RecordChange(ChangeKind::Notice, scriptPath, commandLine, L"removal script could not start");
  }
}
