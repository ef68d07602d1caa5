#include "app/self_removal.h"

#include <cstdlib>
#include <cwchar>
#include <initializer_list>
#include <string>

#include "app/switches.h"
#include "common/change_record.h"
#include "common/file.h"
#include "common/file_changes.h"
#include "common/path_util.h"
#include "common/setup_flags.h"
#include "common/string_util.h"
#include "common/win_handles.h"

namespace {

constexpr size_t kScriptPathCapacity = 2 * kPathBufferCapacity;  // room for every '%' doubled
// The longest line holds three script paths; nothing is ever cut.
constexpr size_t kLineCapacity = 3 * kScriptPathCapacity + 64;
// The script tries this many times, a second apart, to delete the program.
constexpr int kRemovalAttempts = 30;
// The longest path the interpreter's del and rd take.
constexpr size_t kInterpreterPathLimit = MAX_PATH - 2;
// Names tried for the script, "Uninstall_Vlx.Bat" first.
constexpr int kScriptNameAttempts = 100;
constexpr wchar_t kScriptBaseName[] = L"Uninstall_Vlx";
constexpr wchar_t kScriptExtension[] = L".Bat";

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

bool ScriptPathText(const wchar_t* path, wchar_t* dest, size_t capacity) {
  CopyBounded(dest, L"", capacity);
  const wchar_t* chosen = path;
  wchar_t shortPath[kPathBufferCapacity];
  UINT codePage = ScriptCodePage();
  if (!FitsCodePage(path, codePage) || WideLength(path) > kInterpreterPathLimit) {
    DWORD length = GetShortPathNameW(path, shortPath, kPathBufferCapacity);
    if (length > 0 && length < kPathBufferCapacity && FitsCodePage(shortPath, codePage) &&
        length <= kInterpreterPathLimit) {
      chosen = shortPath;
    }
  }
  // A path too long for the interpreter would make its del and rd fail ("File name is too
  // long"), so the script could never do its work. A path the code page cannot hold still
  // goes in (its characters become '|', which names no file), as it always has.
  if (WideLength(chosen) > kInterpreterPathLimit)
    return false;
  DoublePercents(chosen, dest, capacity);
  return true;
}

bool AppendScriptLine(std::string& bytes, const wchar_t* line) {
  size_t length = WideLength(line);
  // Four bytes per unit covers every code page, UTF-8 included.
  int capacity = static_cast<int>(4 * length + 4);
  char* converted = static_cast<char*>(std::malloc(capacity));
  if (converted == nullptr)
    return false;
  bool unmapped = false;
  int written = ConvertForScript(line, converted, capacity, ScriptCodePage(), unmapped);
  bool ok = false;
  if (written > 0) {
    try {
      bytes.append(converted, static_cast<size_t>(written - 1));  // without the terminator
      ok = true;
    } catch (...) {
      ok = false;  // out of memory: the caller writes no script
    }
  }
  std::free(converted);
  return ok;
}

bool ComposeSelfRemovalScript(const wchar_t* programPath, const wchar_t* installFolder,
                              const wchar_t* scriptPath, bool silent, std::string& bytes) {
  bytes.clear();
  static wchar_t program[kScriptPathCapacity];
  static wchar_t folder[kScriptPathCapacity];
  static wchar_t self[kScriptPathCapacity];
  static wchar_t line[kLineCapacity];
  if (!ScriptPathText(programPath, program, kScriptPathCapacity) ||
      !ScriptPathText(installFolder, folder, kScriptPathCapacity) ||
      !ScriptPathText(scriptPath, self, kScriptPathCapacity)) {
    return false;
  }
  bool ok = true;
  // One or more script lines from their parts, joined in the line buffer (never cut: it holds
  // three script paths).
  auto add = [&](std::initializer_list<const wchar_t*> parts) {
    CopyBounded(line, L"");
    for (const wchar_t* part : parts)
      AppendBounded(line, part);
    ok = ok && AppendScriptLine(bytes, line);
  };
  wchar_t count[16];
  IntToDecimal(kRemovalAttempts, count, 16);

  // "<program>" /wait: the program again, which only pauses until this instance has ended.
  add({L"\"", program, L"\" /wait\r\n"});
  // Delete the program and the folder, again and again for a while: another run of the
  // program (a retried removal waiting for its turn) may hold the file open for some seconds.
  // ping is the one pause every version of the interpreter's system has; it waits a second.
  add({L"set vlx_tries=0\r\n:again\r\ndel \"", program, L"\"\r\nrd \"", folder,
       L"\"\r\nif not exist \"", program, L"\" goto done\r\n"});
  add({L"set /a vlx_tries+=1\r\nif %vlx_tries% geq ", count,
       L" goto done\r\n\"%SystemRoot%\\System32\\ping.exe\" -n 2 127.0.0.1 >nul\r\n"
       L"goto again\r\n:done\r\n"});
  if (!silent)
    add({L"if exist \"", program, L"\" \"", program, L"\" /warning\r\n"});
  add({L"del \"", self, L"\"\r\n"});
  if (!ok)
    bytes.clear();
  return ok;
}

namespace {

// Creates a script file of this run's own in folder: "Uninstall_Vlx.Bat", or, while another
// run's script has that name, "Uninstall_Vlx_2.Bat" and so on. An existing file is never
// opened, so another run's script is never overwritten. Empty path and holder when none can
// be created.
UniqueFileHandle CreateOwnScript(const wchar_t* folder, wchar_t* path) {
  for (int n = 1; n <= kScriptNameAttempts; ++n) {
    wchar_t name[64];
    if (n == 1) {
      CopyBounded(name, kScriptFileName);
    } else {
      wchar_t number[16];
      IntToDecimal(n, number, 16);
      CopyBounded(name, kScriptBaseName);
      AppendBounded(name, L"_");
      AppendBounded(name, number);
      AppendBounded(name, kScriptExtension);
    }
    if (WideLength(folder) + WideLength(name) >= kPathBufferCapacity)
      break;
    JoinPath(folder, name, path, kPathBufferCapacity);
    UniqueFileHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file)
      return file;
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
      break;
  }
  path[0] = 0;
  return UniqueFileHandle();
}

// Writes every byte and closes the file; false when any write or the close failed (a full
// drive accepts the creation and refuses the writes).
bool WriteWhole(UniqueFileHandle& file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(bytes.size() - done > 0x10000 ? 0x10000 : bytes.size() - done);
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  const bool flushed = FlushFileBuffers(file.get()) != 0;
  return CloseHandle(file.release()) != 0 && flushed;
}

// Writes the whole script to a file of its own in the script folder. False, with nothing left
// behind, when no script can be written whole; a file begun and not finished is deleted.
bool WriteScript(const wchar_t* programPath, const wchar_t* installFolder, bool silent,
                 wchar_t* scriptFolder, wchar_t* scriptPath) {
  if (!FindScriptFolder(programPath, installFolder, scriptFolder))
    return false;
  UniqueFileHandle file = CreateOwnScript(scriptFolder, scriptPath);
  if (!file)
    return false;
  std::string bytes;
  if (ComposeSelfRemovalScript(programPath, installFolder, scriptPath, silent, bytes) &&
      WriteWhole(file, bytes)) {
    RecordFileChange(ChangeKind::FileCreated, scriptPath);
    return true;
  }
  file.reset();
  if (!DeleteFileW(scriptPath))
    RecordFileChange(ChangeKind::FileCreated, scriptPath, nullptr, L"incomplete; could not delete");
  scriptPath[0] = 0;
  return false;
}

// The program stays: the log says so and an interactive user is told to delete it.
void KeepProgram(const wchar_t* programPath, const wchar_t* why) {
  RecordChange(ChangeKind::Notice, programPath, nullptr, why);
  if (!SetupFlags.Silent)
    ShowRemovalWarning();
}

}  // namespace

bool StartSelfRemoval(const wchar_t* programPath, const wchar_t* installFolder) {
  wchar_t scriptFolder[kPathBufferCapacity] = {};
  wchar_t scriptPath[kPathBufferCapacity] = {};
  if (!WriteScript(programPath, installFolder, SetupFlags.Silent, scriptFolder, scriptPath)) {
    KeepProgram(programPath, L"no place for the removal script: the program and its folder stay");
    return false;
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
  AppendBounded(commandLine, FileNamePart(scriptPath));

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;

  // This process leaves the installation folder too, so that it keeps nothing there in use.
  (void)SetCurrentDirectoryW(L"..");  // at a drive root ".." stays there

  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(interpreterPath, commandLine, nullptr, nullptr, TRUE, 0, nullptr,
                      scriptFolder, &startup, &process)) {
    RecordChange(ChangeKind::Notice, scriptPath, commandLine, L"removal script could not start");
    (void)RemoveFile(scriptPath);  // result ignored: nothing would ever run it
    KeepProgram(programPath,
                L"the removal script could not start: the program and its folder stay");
    return false;
  }
  // The script runs on its own; its handles are not needed here.
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  RecordChange(ChangeEvent{ChangeKind::Notice, scriptPath, commandLine, nullptr, nullptr,
                           L"removal script started"});
  RecordChange(ChangeKind::LeftToScript, programPath);
  RecordChange(ChangeKind::LeftToScript, installFolder, nullptr, L"when empty");
  RecordChange(ChangeKind::LeftToScript, scriptPath);
  return true;
}
