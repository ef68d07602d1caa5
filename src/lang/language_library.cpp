#include "lang/language_library.h"

#include "common/file.h"
#include "common/path_util.h"
#include "common/program_path.h"
#include "common/string_util.h"
#include "common/win_handles.h"
#include "lang/messages.h"
#include "settings/settings_store.h"

HINSTANCE OwnInstance;
HINSTANCE ResourceModule;

const wchar_t LanguageFolderSwitch[] = L"LngFolder0";

namespace {

// The process-wide language library state. A library still loaded when the process ends is
// freed here, after the entry routine has returned.
struct LanguageLibraryState {
  bool Loaded = false;
  ~LanguageLibraryState() { UnloadLanguageLibrary(); }
};
LanguageLibraryState g_library;

// Read through a variable so that the test below is made on the stored text at run time.
const wchar_t* volatile g_switchText = LanguageFolderSwitch;

bool LanguageFolderRedirectionOn() {
  for (const wchar_t* p = g_switchText; *p != 0; ++p) {
    if (*p == L'1')
      return true;
  }
  return false;
}

// Systems from Windows XP SP2 on map the library as a data file, so none of its code runs.
bool CanLoadAsDataFile() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)))
    return false;
#pragma GCC diagnostic pop
  if (version.dwPlatformId != VER_PLATFORM_WIN32_NT)
    return false;
  return version.dwMajorVersion > 5 ||
         (version.dwMajorVersion == 5 && version.wServicePackMajor >= 2);
}

}  // namespace

bool LanguageLibraryLoaded() {
  return g_library.Loaded;
}

void SetLanguageFolderSwitchForTesting(const wchar_t* switchText) {
  g_switchText = switchText != nullptr ? switchText : LanguageFolderSwitch;
}

void LoadLanguageLibrary(HINSTANCE ownInstance) {
  UnloadLanguageLibrary();

  wchar_t path[kPathBufferCapacity];
  if (!ProgramSiblingPath(L"vlxlng.dll", path, kPathBufferCapacity))
    CopyBounded(path, L"vlxlng.dll");  // without the program's folder: the bare name
  ApplyLanguageFolder(path, path, kPathBufferCapacity);

  HMODULE library = CanLoadAsDataFile() ? LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE)
                                        : LoadLibraryW(path);
  g_library.Loaded = library != nullptr;
  OwnInstance = ownInstance;
  ResourceModule = library != nullptr ? library : ownInstance;
}

void UnloadLanguageLibrary() {
  if (!g_library.Loaded)
    return;
  (void)FreeLibrary(ResourceModule);  // nothing to do about a failure at this point
  ResourceModule = OwnInstance;
  g_library.Loaded = false;
}

void ApplyLanguageFolder(const wchar_t* path, wchar_t* dest, size_t capacity) {
  if (dest != path)
    CopyBounded(dest, path, capacity);
  if (!LanguageFolderRedirectionOn())
    return;

  // Read directly from the registry: a settings file never redirects the language folder.
  UniqueHKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Vellox\\General", 0, KEY_QUERY_VALUE,
                    key.put()) != ERROR_SUCCESS) {
    return;
  }
  // The folder and the file name together must fit in kPathBufferCapacity - 1 units.
  size_t pathLength = WideLength(path);
  if (pathLength >= kPathBufferCapacity - 1)
    return;
  wchar_t folder[kPathBufferCapacity];
  if (ReadRegistryText(key.get(), L"LanguageFolder", folder,
                       kPathBufferCapacity - 1 - pathLength) != ERROR_SUCCESS)
    return;

  wchar_t candidate[kPathBufferCapacity] = {};
  DWORD expanded = ExpandEnvironmentStringsW(folder, candidate, kPathBufferCapacity);
  if (expanded == 0 || expanded > kPathBufferCapacity)
    candidate[0] = 0;
  // An empty folder would leave the bare file name, found in whatever the current folder is:
  // never redirect there.
  if (candidate[0] == 0)
    return;
  EnsureTrailingBackslash(candidate, kPathBufferCapacity);
  AppendBounded(candidate, FileNamePart(path), kPathBufferCapacity);
  if (FileExists(candidate))
    CopyBounded(dest, candidate, capacity);
}
