#include "lang/help.h"

#include "common/path_util.h"
#include "common/platform_services.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "common/text_encoding.h"
#include "lang/messages.h"

#include <cwchar>

namespace {

constexpr UINT kDisplayTopic = 0;          // HH_DISPLAY_TOPIC
constexpr UINT kDisplayToc = 1;            // HH_DISPLAY_TOC
constexpr size_t kAddressCapacity = 2098;  // the path, "::/html/", a topic and ".htm"

// Process-wide; the library is never freed (the viewer may still show a window at exit).
HMODULE g_library;
HelpViewerOverride g_viewer;  // the signature of HtmlHelpW
wchar_t g_helpFilePath[kPathBufferCapacity];
bool g_retried;

// folderSource is the program's path (long or short form); its file name is replaced by the
// help file's name, and a copy in the user's language folder is preferred.
void SetHelpFilePath(const wchar_t* folderSource) {
  CopyBounded(g_helpFilePath, folderSource);
  ReplaceFileName(g_helpFilePath, L"vellox.chm", kPathBufferCapacity);
  ApplyLanguageFolder(g_helpFilePath, g_helpFilePath, kPathBufferCapacity);
}

}  // namespace

HWND ShowHelp(HWND /*caller*/, const wchar_t* topic) {
  HWND owner = GetDesktopWindow();

  // A failed load is tried again on the next request.
  if (g_library == nullptr)
    g_library = LoadSystemLibrary(L"hhctrl.ocx");

  if (g_viewer == nullptr) {
    if (g_library == nullptr)
      return nullptr;
    g_viewer = GetHelpViewerOverride() != nullptr
                   ? GetHelpViewerOverride()
                   : reinterpret_cast<HelpViewerOverride>(
                         reinterpret_cast<void*>(GetProcAddress(g_library, "HtmlHelpW")));
    wchar_t programPath[kPathBufferCapacity] = L"";
    (void)GetProgramPath(programPath, kPathBufferCapacity);
    SetHelpFilePath(programPath);
    if (g_viewer == nullptr)
      return nullptr;  // looked up again next time
  }

  HWND window;
  if (topic != nullptr) {
    wchar_t address[kAddressCapacity];
    CopyBounded(address, g_helpFilePath);
    AppendBounded(address, L"::/html/");
    AppendBounded(address, topic);
    AppendBounded(address, L".htm");
    window = g_viewer(owner, address, kDisplayTopic, 0);
  } else {
    window = g_viewer(owner, g_helpFilePath, kDisplayToc, 0);
  }
  if (window != nullptr || g_retried)
    return window;

  // The viewer may not cope with a path that the ANSI code page cannot carry: try once more
  // with the short form of the program's folder, unless the path would not change by that.
  g_retried = true;
  char ansi[kPathBufferCapacity];
  wchar_t roundTrip[kPathBufferCapacity];
  (void)WideToAnsi(g_helpFilePath, ansi, sizeof ansi);
  (void)AnsiToWide(ansi, roundTrip, kPathBufferCapacity);
  if (wcscmp(roundTrip, g_helpFilePath) == 0)
    return nullptr;

  wchar_t programPath[kPathBufferCapacity] = L"";
  (void)GetProgramPath(programPath, kPathBufferCapacity);
  wchar_t shortPath[kPathBufferCapacity] = L"";
  DWORD length = GetShortPathNameW(programPath, shortPath, kPathBufferCapacity);
  if (length == 0 || length >= kPathBufferCapacity)
    shortPath[0] = 0;  // failed or did not fit
  SetHelpFilePath(shortPath[0] != 0 ? shortPath : programPath);
  return ShowHelp(nullptr, topic);
}

void ResetHelpForTesting() {
  g_viewer = nullptr;
  g_helpFilePath[0] = 0;
  g_retried = false;
}
