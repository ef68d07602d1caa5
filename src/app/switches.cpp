#include "app/switches.h"

#include <windows.h>

#include <cstddef>
#include <cwchar>

#include "common/command_line.h"
#include "common/platform_services.h"
#include "common/setup_flags.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "lang/messages.h"
#include "resources/resource.h"

namespace {

enum class SwitchAction { Setup, Msi, Init, Wait, NoExplorer, Warning };

struct SwitchWord {
  const wchar_t* Word;
  size_t UnitsCompared;  // the switch must begin with this many units of Word
  SwitchAction Action;
};

// Tried in this order; the first match acts. "noexplorer" is recognised by "noex" alone.
constexpr SwitchWord kSwitchWords[] = {
    {L"setup", 5, SwitchAction::Setup},
    {L"msi", 3, SwitchAction::Msi},
    {L"init", 4, SwitchAction::Init},
    {L"wait", 4, SwitchAction::Wait},
    {L"noexplorer", 4, SwitchAction::NoExplorer},
    {L"warning", 7, SwitchAction::Warning},
};

constexpr size_t kArgumentCapacity = 1024;
constexpr DWORD kWaitMilliseconds = 2000;

// True when text begins with prefix, unit for unit without regard to case (no locale rules).
bool StartsWithOrdinal(const wchar_t* text, const wchar_t* prefix) {
  size_t length = WideLength(prefix);
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == 0)
      return false;
  }
  return CompareStringOrdinal(text, static_cast<int>(length), prefix, static_cast<int>(length),
                              TRUE) == CSTR_EQUAL;
}

// A path in the form the program's own path is compared in: '/' as '\', without the "\\?\"
// prefix ("\\?\UNC\server" as "\\server"), full, with long names for short ones where the
// file exists. Returns false when it does not fit the buffer.
bool CanonicalPath(const wchar_t* path, size_t length, wchar_t* dest, size_t capacity) {
  wchar_t plain[kPathBufferCapacity];
  if (length >= kPathBufferCapacity || capacity == 0)
    return false;
  for (size_t i = 0; i < length; ++i)
    plain[i] = path[i] == L'/' ? L'\\' : path[i];
  plain[length] = 0;
  const wchar_t* rest = plain;
  wchar_t unc[kPathBufferCapacity];
  if (StartsWithOrdinal(plain, L"\\\\?\\UNC\\")) {
    CopyBounded(unc, L"\\\\");
    AppendBounded(unc, plain + 8);
    rest = unc;
  } else if (StartsWithOrdinal(plain, L"\\\\?\\")) {
    rest = plain + 4;
  }
  wchar_t full[kPathBufferCapacity];
  DWORD fullLength = GetFullPathNameW(rest, kPathBufferCapacity, full, nullptr);
  if (fullLength == 0 || fullLength >= kPathBufferCapacity)
    CopyBounded(full, rest);
  // The system's short names carry a '~'; a path without one has no short name to resolve,
  // and asking the file system for it (a network share, an overlong name) could only cost.
  DWORD longLength = 0;
  if (wcschr(full, L'~') != nullptr)
    longLength = GetLongPathNameW(full, dest, static_cast<DWORD>(capacity));
  if (longLength == 0 || longLength >= capacity)
    CopyBounded(dest, full, capacity);
  return true;
}

// True when the length units at text name the program's own path (canonical form given).
bool NamesProgram(const wchar_t* text, size_t length, const wchar_t* canonicalProgram) {
  if (length == 0)
    return false;
  wchar_t candidate[kPathBufferCapacity];
  if (!CanonicalPath(text, length, candidate, kPathBufferCapacity))
    return false;
  return CompareStringOrdinal(candidate, -1, canonicalProgram, -1, TRUE) == CSTR_EQUAL;
}

bool IsSwitchPrefix(wchar_t c) {
  return c == L'-' || c == L'/';
}

// /s alone or followed by anything but an ASCII letter: /s, -S, /s1, /s- (not /setup, /silent).
bool IsSilentSwitch(const wchar_t* argument) {
  if (argument[1] == 0)
    return false;
  return UpperChar(argument[1]) == L'S' && !IsAsciiLetter(argument[2]);
}

// /log, /log=PATH, in any case; not /logs or /login.
bool IsLogSwitch(const wchar_t* argument) {
  return CompareNoCasePrefix(argument + 1, L"log", 3) == 0 &&
         (argument[4] == 0 || argument[4] == L'=');
}

// /user, in any case; not /users. Known, like /log: it keeps the uninstall request.
bool IsUserSwitch(const wchar_t* argument) {
  return CompareNoCasePrefix(argument + 1, L"user", 4) == 0 && argument[5] == 0;
}

// The log path of the /log argument at pos: behind its '=', or the next argument when the
// switch stands alone. A path too long for the buffer would name another file: no log then.
// Returns where reading goes on.
const wchar_t* ReadLogPath(const wchar_t* pos, bool pathFollows) {
  wchar_t text[kPathBufferCapacity + 8];
  const wchar_t* next = NextArgument(pos, text, kPathBufferCapacity + 8);
  const wchar_t* path = text + 5;  // behind "/log="
  if (pathFollows) {
    const wchar_t* after = NextArgument(next, text, kPathBufferCapacity + 8);
    if (after == nullptr)
      return next;  // /log at the end: no path, no log
    if (text[0] == L'/')
      return next;  // "/log /s": the next word is a switch, not a path; no log
    next = after;
    path = text;
  }
  size_t length = WideLength(path);
  if (length > 0 && length < kPathBufferCapacity - 1)
    CopyBounded(SetupFlags.LogPath, path);
  return next;
}

void ActOnSwitch(SwitchAction action, const wchar_t* argument, bool& setupRequest) {
  switch (action) {
    case SwitchAction::Setup:
      setupRequest = true;
      break;
    case SwitchAction::Msi:
      SetupFlags.Msi = true;
      break;
    case SwitchAction::Init:
      // Everything behind "/init"; its meaning is checked where it is applied.
      CopyBounded(SetupFlags.InitText, argument + 5);
      break;
    case SwitchAction::Wait:
      Sleep(kWaitMilliseconds);
      break;
    case SwitchAction::NoExplorer:
      SetupFlags.NoExplorer = true;
      break;
    case SwitchAction::Warning:
      ShowRemovalWarning();
      break;
  }
}

}  // namespace

const wchar_t* SkipProgramPath(const wchar_t* commandLine, const wchar_t* programPath) {
  if (commandLine == nullptr)
    return L"";
  const wchar_t* pos = commandLine;
  while (IsArgumentBlank(*pos))
    ++pos;
  wchar_t program[kPathBufferCapacity];
  size_t length = programPath != nullptr ? WideLength(programPath) : 0;
  if (length != 0 && CanonicalPath(programPath, length, program, kPathBufferCapacity)) {
    if (*pos == L'"') {
      const wchar_t* close = wcschr(pos + 1, L'"');
      if (close != nullptr && NamesProgram(pos + 1, static_cast<size_t>(close - pos - 1), program))
        return close + 1;
    } else {
      // Unquoted, the path may hold blanks: every blank could end it. The first end whose text
      // names the program wins, so that " -s" inside a folder's name is never a switch.
      for (const wchar_t* end = pos; end - pos < static_cast<ptrdiff_t>(kPathBufferCapacity);
           ++end) {
        if (*end == 0 || IsArgumentBlank(*end)) {
          if (NamesProgram(pos, static_cast<size_t>(end - pos), program))
            return end;
          if (*end == 0)
            break;
        }
      }
    }
  }
  const wchar_t* rest = NextArgument(pos, nullptr, 0);
  return rest != nullptr ? rest : pos + WideLength(pos);
}

void ParseSwitches(SwitchPass pass, const wchar_t* text, bool& setupRequest,
                   bool& uninstallRequest) {
  int switchCount = 0;
  wchar_t argument[kArgumentCapacity];
  const wchar_t* pos = text != nullptr ? text : L"";
  if (pass == SwitchPass::CommandLine) {
    wchar_t programPath[kPathBufferCapacity];
    DWORD length = GetProgramPath(programPath, kPathBufferCapacity);
    if (length == 0 || length >= kPathBufferCapacity)
      programPath[0] = 0;  // unknown or cut short: the first argument is taken as the program
    pos = SkipProgramPath(pos, programPath);
  }
  const wchar_t* start = pos;
  while ((pos = NextArgument(start, argument, kArgumentCapacity)) != nullptr) {
    const wchar_t* argumentStart = start;
    start = pos;
    if (!IsSwitchPrefix(argument[0]))
      continue;
    if (IsSilentSwitch(argument)) {
      SetupFlags.Silent = true;
      continue;
    }
    if (IsLogSwitch(argument)) {
      // Known, and no reason to cancel the uninstall request.
      if (pass == SwitchPass::CommandLine)
        start = ReadLogPath(argumentStart, argument[4] == 0);
      continue;
    }
    if (IsUserSwitch(argument)) {
      if (pass == SwitchPass::CommandLine)
        SetupFlags.PerUser = true;
      continue;
    }
    ++switchCount;
    if (pass != SwitchPass::CommandLine)
      continue;
    for (const SwitchWord& word : kSwitchWords) {
      if (CompareNoCasePrefix(argument + 1, word.Word, word.UnitsCompared) == 0) {
        ActOnSwitch(word.Action, argument, setupRequest);
        break;
      }
    }
  }
  uninstallRequest = pass == SwitchPass::CommandLine && switchCount == 0;
}

void ShowRemovalWarning() {
  wchar_t programPath[kPathBufferCapacity];
  if (GetProgramPath(programPath, kPathBufferCapacity) == 0)
    programPath[0] = 0;

  wchar_t text[512];
  CopyBounded(text, MessageText(IDS_UNINSTALLCOMPLETED));
  AppendBounded(text, L"\n");
  size_t used = WideLength(text);
  // The second part holds one placeholder for the program's path.
  FormatMessageWithText(MessageText(IDS_UNINSTALLSHOULDDELETE), programPath, text + used,
                        512 - used);
  (void)ShowMessageBox(nullptr, text, MessageText(IDS_UNINSTALLVLX),
                       MB_ICONINFORMATION | MB_SETFOREGROUND);
}
