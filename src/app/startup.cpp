#include "app/startup.h"

#include <objbase.h>
#include <shellapi.h>

#include <vector>

#include "app/admin_log.h"
#include "app/run_modes.h"
#include "app/sfx_settings.h"
#include "app/switches.h"
#include "common/file.h"
#include "common/platform_services.h"
#include "common/setup_flags.h"
#include "common/string_util.h"
#include "common/win_handles.h"
#include "dialogs/dialog_resources.h"
#include "lang/language_file.h"
#include "lang/messages.h"
#include "settings/settings_file.h"

namespace {

constexpr size_t kSfxCommandCapacity = 1024;

// The installer archive's command line from "sfxcmd"; empty when the variable is missing. A
// longer value is cut to the buffer, like any argument: its leading switches still act.
void ReadSfxCommand(wchar_t (&dest)[kSfxCommandCapacity]) {
  dest[0] = 0;
  DWORD length = GetEnvironmentVariableW(L"sfxcmd", dest, kSfxCommandCapacity);
  if (length < kSfxCommandCapacity) {
    if (length == 0)
      dest[0] = 0;
    return;
  }
  std::vector<wchar_t> whole(length + 1);
  DWORD read = GetEnvironmentVariableW(L"sfxcmd", whole.data(), length + 1);
  if (read == 0 || read > length)
    return;  // changed in between: leave it empty
  CopyBounded(dest, whole.data());
}

void RunSetupMode() {
  if (RunSetupDialog() == 0)
    return;                                // cancelled
  (void)CopyFromSfxFolder(L"vellox.ini");  // a missing settings file leaves the defaults
  if (!SetupFlags.Msi)
    RunDoneDialog();
  if (SetupFlags.GroupFolder[0] != 0 && !SetupFlags.Silent && !SetupFlags.Msi &&
      !SetupFlags.NoExplorer && FileExists(SetupFlags.GroupFolder)) {
    (void)ShellExecuteW(nullptr, L"open", SetupFlags.GroupFolder, nullptr, L"", SW_SHOWNORMAL);
  }
}

}  // namespace

int RunProgram(HINSTANCE instance) {
  return RunProgramWith(instance, GetCommandLineW());
}

int RunProgramWith(HINSTANCE instance, const wchar_t* commandLine) {
  SetSafeDllSearchPath(true);
  LoadLanguageLibrary(instance);
  LoadLanguageFile(L"uninstall.lng");
  // OLE, the rich-edit library, the icon and the bold font are prepared by the first dialog
  // (a silent run has none); COM is initialised by the calls that need it.

  bool setupRequest = false;
  bool uninstallRequest = false;
  wchar_t sfxCommand[kSfxCommandCapacity];
  ReadSfxCommand(sfxCommand);
  ParseSwitches(SwitchPass::Environment, sfxCommand, setupRequest, uninstallRequest);
  ParseSwitches(SwitchPass::CommandLine, commandLine, setupRequest, uninstallRequest);

  // The log is opened before anything changes, and its name is made full now: Uninstall mode
  // moves to the installation folder.
  AdminLog log;
  if (SetupFlags.LogPath[0] != 0) {
    const wchar_t* mode = setupRequest ? L"Setup" : uninstallRequest ? L"Uninstall" : L"none";
    if (log.Open(SetupFlags.LogPath, mode, commandLine))
      log.Listen();  // a log that cannot be opened never stops the run
  }

  if (setupRequest)
    RunSetupMode();
  if (uninstallRequest)
    RunUninstallMode();

  ReleaseDialogResources();
  CloseSettingsFile();  // written back now, while the log still listens
  log.Close(SetupFlags.ExitCode);
  return SetupFlags.ExitCode;
}
