#include "app/startup.h"

#include <objbase.h>
#include <shellapi.h>

#include <vector>

#include "app/admin_log.h"
#include "app/run_lock.h"
#include "app/run_modes.h"
#include "app/sfx_settings.h"
#include "app/switches.h"
#include "common/change_record.h"
#include "common/exit_codes.h"
#include "common/file.h"
#include "common/platform_services.h"
#include "common/program_path.h"
#include "common/setup_flags.h"
#include "common/string_util.h"
#include "common/win_handles.h"
#include "dialogs/dialog_resources.h"
#include "lang/language_file.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"

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

// What a Setup run finds of its installation: the file list and the archiver beside the
// program. A Setup whose installation was removed while it waited, or that finds neither,
// must integrate nothing, or the machine would keep an entry and associations that point at
// deleted files.
struct InstallationMarks {
  bool List = false;
  bool Archiver = false;
};

bool SiblingExists(const wchar_t* name) {
  wchar_t path[kPathBufferCapacity];
  return ProgramSiblingPath(name, path, kPathBufferCapacity) && FileExists(path);
}

InstallationMarks ReadInstallationMarks() {
  InstallationMarks marks;
  marks.List = SiblingExists(L"Uninstall.lst");
  marks.Archiver = SiblingExists(L"Vellox.exe");
  return marks;
}

// Tells an interactive user why nothing was done; a silent run shows nothing.
void TellUser(UINT textId, bool setup) {
  if (SetupFlags.Silent)
    return;
  (void)ShowMessageBox(nullptr, MessageText(textId),
                       MessageText(setup ? IDS_UNINSTTITLE : IDS_UNINSTALLVLX),
                       MB_ICONWARNING | MB_SETFOREGROUND);
}

// Waits for the machine-wide lock. False, with the exit code set and nothing changed, when
// this run must not go on: another run kept the lock for the whole wait, or, for Setup, the
// installation was removed (while this run waited, or before: neither list nor archiver).
bool TakeTurn(RunLock& lock, bool setup) {
  const InstallationMarks before = setup ? ReadInstallationMarks() : InstallationMarks{};
  const RunLockResult result = lock.Acquire(kRunLockWaitMilliseconds);
  if (result == RunLockResult::Busy) {
    SetupFlags.ExitCode = kExitAlreadyRunning;
    RecordChange(ChangeKind::Notice, L"", nullptr,
                 L"another Setup or Uninstall run is going on: nothing changed");
    TellUser(IDS_ALREADYRUNNING, setup);
    return false;
  }
  if (setup) {
    // Gone while this run waited, or gone before it came (a removal that ended a moment ago
    // leaves only the program, which its script deletes once this run has ended).
    const InstallationMarks after = ReadInstallationMarks();
    if ((before.List && !after.List) || (before.Archiver && !after.Archiver) ||
        (!after.List && !after.Archiver)) {
      SetupFlags.ExitCode = kExitFailed;
      RecordChange(ChangeKind::Notice, L"", nullptr,
                   L"the installation has been removed: nothing integrated");
      TellUser(IDS_INSTALLATIONREMOVED, setup);
      return false;
    }
  }
  return true;
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
  // /user: a per-user installation from the start; nothing machine-wide is ever touched.
  if (SetupFlags.PerUser)
    SetInstallScope(InstallScope::User);

  // The log is opened before anything changes, and its name is made full now: Uninstall mode
  // moves to the installation folder.
  AdminLog log;
  if (SetupFlags.LogPath[0] != 0) {
    const wchar_t* mode = setupRequest ? L"Setup" : uninstallRequest ? L"Uninstall" : L"none";
    if (log.Open(SetupFlags.LogPath, mode, commandLine))
      log.Listen();  // a log that cannot be opened never stops the run
  }

  // Setup and Uninstall take their turn on the machine; a run that only waited or warned
  // needs none. The lock is held until the process returns, after the settings are written.
  RunLock lock;
  if (setupRequest || uninstallRequest) {
    if (!TakeTurn(lock, setupRequest)) {
      setupRequest = false;
      uninstallRequest = false;
    }
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
