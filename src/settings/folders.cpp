#include "settings/folders.h"

#include <windows.h>
#include <shlobj.h>

#include "common/file.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "common/win_handles.h"
#include "settings/settings_store.h"

namespace {

using UniqueItemList = UniqueResource<void*, ItemListTraits>;

constexpr wchar_t kSuiteFolder[] = L"Vellox";
// Used when the system names no temporary folder: a folder at the root of the current drive.
constexpr wchar_t kFallbackTemp[] = L"\\vlxtemp";

// The user's application-data folder, or false.
bool GetAppDataFolder(wchar_t* dest, size_t capacity) {
  if (GetSpecialFolderOverride(CSIDL_APPDATA, dest, capacity))
    return dest[0] != 0;
  PIDLIST_ABSOLUTE list = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &list)))
    return false;
  UniqueItemList owner(list);  // freed through the shell's allocator
  // SHGetPathFromIDListW writes up to MAX_PATH characters: never straight into a caller's
  // buffer of unknown size.
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(list, path))
    return false;
  CopyBounded(dest, path, capacity);
  return dest[0] != 0;
}

}  // namespace

bool GetAppDataVelloxFolder(wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return false;
  dest[0] = 0;
  wchar_t path[kPathBufferCapacity];
  if (!GetAppDataFolder(path, kPathBufferCapacity))
    return false;
  (void)EnsureTrailingBackslash(path, kPathBufferCapacity);
  AppendBounded(path, kSuiteFolder);
  // A path cut short would name some other folder: it is handed out but never tested.
  CopyBounded(dest, path, capacity);
  if (WideLength(path) >= capacity || WideLength(path) >= kPathBufferCapacity - 1)
    return false;
  return FileExists(dest);  // the folder is never created here
}

void GetDataFolder(wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return;
  dest[0] = 0;
  // Read straight from the registry: a settings file never redirects the data folder. The
  // text is used as stored (no environment expansion) and its type is not examined.
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vellox\\Paths", 0, KEY_QUERY_VALUE, key.put()) ==
      ERROR_SUCCESS) {
    (void)ReadRegistryText(key.get(), L"AppData", dest, capacity);  // empty when it fails
  }
  if (dest[0] != 0 && FileExists(dest))
    return;
  if (GetAppDataVelloxFolder(dest, capacity))
    return;
  // The folder of the running program.
  DWORD length =
      GetProgramPath(dest, capacity > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(capacity));
  if (length == 0 || length >= capacity) {
    dest[0] = 0;
    return;
  }
  CutFileName(dest);
}

void GetTempFolder(wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return;
  (void)ReadUserString(L"Paths", L"TempFolder", dest, L"", capacity);
  if (dest[0] != 0) {
    wchar_t expanded[kPathBufferCapacity];
    DWORD length = ExpandEnvironmentStringsW(dest, expanded, kPathBufferCapacity);
    if (length >= 1 && length <= kPathBufferCapacity - 1) {
      if (length > capacity)
        dest[0] = 0;  // does not fit: ignored like a missing folder
      else
        CopyBounded(dest, expanded, capacity);
    }
    // A configured folder that does not exist is ignored silently.
    if (dest[0] != 0 && GetFileAttributesW(dest) != INVALID_FILE_ATTRIBUTES) {
      (void)EnsureTrailingBackslash(dest, capacity);
      return;
    }
  }
  DWORD room = capacity > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(capacity);
  DWORD length = GetTempPathW(room, dest);
  if (length == 0 || length >= room || dest[0] == 0)
    CopyBounded(dest, kFallbackTemp, capacity);
  (void)EnsureTrailingBackslash(dest, capacity);
}
