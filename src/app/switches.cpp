#include "app/switches.h"

#include <cwchar>

#include "app/setup_flags.h"
#include "app/startup_services.h"
#include "common/command_line.h"
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

bool IsSwitchPrefix(wchar_t c) {
  return c == L'-' || c == L'/';
}

// /s alone or followed by anything but an ASCII letter: /s, -S, /s1, /s- (not /setup, /silent).
bool IsSilentSwitch(const wchar_t* argument) {
  if (argument[1] == 0)
    return false;
  return UpperChar(argument[1]) == L'S' && !IsAsciiLetter(argument[2]);
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

void ParseSwitches(SwitchPass pass, const wchar_t* text, bool& setupRequest,
                   bool& uninstallRequest) {
  int switchCount = 0;
  wchar_t argument[kArgumentCapacity];
  const wchar_t* pos = text != nullptr ? text : L"";
  while ((pos = NextArgument(pos, argument, kArgumentCapacity)) != nullptr) {
    if (!IsSwitchPrefix(argument[0]))
      continue;
    if (IsSilentSwitch(argument)) {
      SetupFlags.Silent = true;
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
  wchar_t programPath[2048];
  if (GetProgramPath(programPath, 2048) == 0)
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
