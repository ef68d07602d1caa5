#include "integration/uninstall_entry.h"

#include <windows.h>

#include <cwchar>

#include "common/file.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "settings/settings_store.h"

namespace {

// The suite's version, fixed in the program.
constexpr int kVersionMajor = 6;
constexpr int kVersionMinor = 21;
constexpr int kVersionBuild = 0;

// Absolute under HKEY_LOCAL_MACHINE (leading backslash); the removal names the same key.
constexpr wchar_t kUninstallKey[] =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vellox archiver";
constexpr size_t kPieceCapacity = 100;

// True for an existing file; folders and missing paths are not files.
bool IsExistingFile(const wchar_t* path) {
  DWORD attributes = GetFileAttr(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !IsDirectoryAttr(attributes);
}

}  // namespace

void AppendVersionText(wchar_t* text, size_t capacity) {
  if (text == nullptr || capacity == 0)
    return;
  if (text[0] != 0)
    AppendBounded(text, L" ", capacity);
  wchar_t piece[kPieceCapacity];
  swprintf(piece, kPieceCapacity, L"%d.%02d", kVersionMajor, kVersionMinor);
  AppendBounded(text, piece, capacity);
  // " (%s)" with the bitness text, built piece by piece so a long translation is cut, not
  // overflowed.
  CopyBounded(piece, L" (");
  AppendBounded(piece, MessageText(IDS_64BIT));
  AppendBounded(piece, L")");
  AppendBounded(text, piece, capacity);
}

void WriteUninstallEntry() {
  // Without the program's own path the entry could name no uninstall command at all; a
  // truncated path would name the wrong one. Write nothing then.
  wchar_t path[2048] = {};
  DWORD length = GetProgramPath(path, 2048);
  if (length == 0 || length >= 2048)
    return;

  wchar_t text[2048];
  CopyBounded(text, L"Vellox");
  AppendVersionText(text, 2048);
  // Results are not examined: without write access to HKEY_LOCAL_MACHINE nothing is written.
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", text);
  swprintf(text, 2048, L"%d.%02d.%d", kVersionMajor, kVersionMinor, kVersionBuild);
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion", text);
  (void)WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"VersionMajor", kVersionMajor);
  (void)WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"VersionMinor", kVersionMinor);

  // Unquoted and without arguments: Windows runs it as it stands, which starts Uninstall mode.
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", path);

  wchar_t folder[2048];
  FolderOfPath(path, folder, 2048);  // keeps the trailing backslash

  // An icon that an installer set stays, as long as it names an existing file. "path,index"
  // names no file and is replaced.
  wchar_t icon[2048];
  (void)ReadSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", icon, L"", 2048);
  if (icon[0] == 0 || !IsExistingFile(icon)) {
    CopyBounded(icon, folder);
    AppendBounded(icon, L"Vellox.exe");
    (void)WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", icon);
  }

  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation", folder);
  (void)WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoModify", 1);
  (void)WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"NoRepair", 1);
  (void)WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"Language", 0);
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"Publisher", L"Tarsel GmbH");
}
