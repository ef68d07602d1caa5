#include "app/sfx_settings.h"

#include <windows.h>

#include "common/file.h"
#include "common/file_changes.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "settings/folders.h"

bool CopyFromSfxFolder(const wchar_t* name) {
  wchar_t path[kPathBufferCapacity];
  GetDataFolder(path, kPathBufferCapacity);
  JoinPath(path, name, path, kPathBufferCapacity);
  if (FileExists(path))
    return true;

  // The installer archive puts its own full path into "sfxname".
  wchar_t source[kPathBufferCapacity];
  DWORD length = GetEnvironmentVariableW(L"sfxname", source, kPathBufferCapacity);
  if (length == 0 || length >= kPathBufferCapacity)
    return true;  // missing, empty, or too long to be a path
  ReplaceFileName(source, name, kPathBufferCapacity);
  if (!FileExists(source))
    return false;

  // Never overwrites a file of that name in the current folder; a failed copy leaves the
  // suite on its defaults, which is no reason to stop the setup.
  (void)CopyToNewFile(source, name);
  return true;
}
