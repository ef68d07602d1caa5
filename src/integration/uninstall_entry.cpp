#include "integration/uninstall_entry.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <memory>
#include <vector>

#include "common/file.h"
#include "common/find_file.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "resources/version.h"
#include "settings/settings_store.h"

namespace {

// The suite's version, as the version resource carries it.
constexpr int kVersionMajor = VLX_VERSION_MAJOR;
constexpr int kVersionMinor = VLX_VERSION_MINOR;
constexpr int kVersionBuild = VLX_VERSION_BUILD;

constexpr size_t kPieceCapacity = 100;
// Folders nested deeper than this below the installation folder are not counted. Links are
// never entered anyway; the limit keeps any loop the search did not report as a link finite.
constexpr size_t kMaxFolderDepth = 32;

// The bytes of all files below folder. Folders that are reparse points (links, junctions,
// mount points) are not entered: what they lead to is not part of the installation. One search
// per level is kept, on the heap; an unreadable folder counts as empty.
uint64_t SumFileSizes(const wchar_t* folder) {
  std::vector<std::unique_ptr<FindFile>> levels;
  auto enter = [&levels](const wchar_t* path) {
    wchar_t mask[kPathBufferCapacity];
    JoinPath(path, L"*", mask, kPathBufferCapacity);
    if (std::wcscmp(FileNamePart(mask), L"*") != 0)
      return;  // a mask cut short would search some other folder
    levels.push_back(std::make_unique<FindFile>());
    levels.back()->SetMask(mask);
  };
  auto found = std::make_unique<FindData>();
  uint64_t total = 0;
  enter(folder);
  while (!levels.empty()) {
    if (!levels.back()->Next(*found)) {
      levels.pop_back();
    } else if (!found->IsDirectory) {
      total += found->Size;
    } else if (!found->IsReparsePoint && levels.size() < kMaxFolderDepth) {
      enter(found->Name);
    }
  }
  return total;
}

// The installed size as the list of installed programs shows it: KiB, rounded up.
uint32_t EstimatedSizeKiB(const wchar_t* folder) {
  uint64_t kib = (SumFileSizes(folder) + 1023) / 1024;
  return kib > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(kib);
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
  wchar_t path[kPathBufferCapacity] = {};
  DWORD length = GetProgramPath(path, kPathBufferCapacity);
  if (length == 0 || length >= kPathBufferCapacity)
    return;

  wchar_t text[kPathBufferCapacity];
  CopyBounded(text, L"Vellox");
  AppendVersionText(text, kPathBufferCapacity);
  // Results are not examined: without write access to the entry's root nothing is written.
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", text);
  swprintf(text, kPathBufferCapacity, L"%d.%02d.%d", kVersionMajor, kVersionMinor, kVersionBuild);
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion", text);
  (void)WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"VersionMajor", kVersionMajor);
  (void)WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"VersionMinor", kVersionMinor);

  // Quoted: unquoted, a folder such as "C:\Apps Portable" would let Windows start
  // "C:\Apps.exe" instead. Without switches the program runs Uninstall mode; with /s silently.
  // A per-user installation's commands carry /user, so that the removal takes the same scope.
  wchar_t command[kPathBufferCapacity + 16];
  CopyBounded(command, L"\"");
  AppendBounded(command, path);
  AppendBounded(command, L"\"");
  if (GetInstallScope() == InstallScope::User)
    AppendBounded(command, L" /user");
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", command);
  AppendBounded(command, L" /s");
  (void)WriteSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString", command);

  wchar_t folder[kPathBufferCapacity];
  FolderOfPath(path, folder, kPathBufferCapacity);  // keeps the trailing backslash
  (void)WriteSettingInt(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize",
                        EstimatedSizeKiB(folder));

  // An icon that an installer set stays, as long as it names an existing file. "path,index"
  // names no file and is replaced.
  wchar_t icon[kPathBufferCapacity];
  (void)ReadSettingString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayIcon", icon, L"",
                          kPathBufferCapacity);
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

namespace {

// Whether the entry under root names folder as its InstallLocation (without regard to case or
// to a trailing backslash).
bool EntryNamesFolder(HKEY root, const wchar_t* folder) {
  wchar_t location[kPathBufferCapacity];
  if (!ReadSettingString(root, kUninstallKey, L"InstallLocation", location, L"",
                         kPathBufferCapacity) ||
      location[0] == 0) {
    return false;
  }
  wchar_t wanted[kPathBufferCapacity];
  CopyBounded(wanted, folder);
  (void)EnsureTrailingBackslash(wanted, kPathBufferCapacity);
  (void)EnsureTrailingBackslash(location, kPathBufferCapacity);
  return CompareNoCase(location, wanted) == 0;
}

}  // namespace

bool IsPerUserInstallation(const wchar_t* folder) {
  if (folder == nullptr || folder[0] == 0 || GetInstallScope() != InstallScope::Machine)
    return false;
  // Read in Machine scope, so each root is the one it names.
  return !EntryNamesFolder(HKEY_LOCAL_MACHINE, folder) &&
         EntryNamesFolder(HKEY_CURRENT_USER, folder);
}
