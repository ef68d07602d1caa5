#include "common/test_seams.h"

#include "common/string_util.h"

namespace {

wchar_t g_programPath[kPathBufferCapacity];

struct FolderSlot {
  int Csidl;
  wchar_t Path[kPathBufferCapacity];
};
constexpr int kFolderSlots = 32;
FolderSlot g_folders[kFolderSlots];
int g_folderCount;

bool g_versionSet;
WindowsVersionOverride g_version;
WmiOverride g_wmiKind = WmiOverride::None;
wchar_t g_wmiName[512];
int g_wmiQueries;

HelpViewerOverride g_helpViewer;

int g_messageBoxAnswer;
int g_messageBoxCount;
MessageBoxRecord g_lastMessageBox;

}  // namespace

DWORD GetProgramPath(wchar_t* dest, DWORD capacity) {
  if (g_programPath[0] == 0)
    return GetModuleFileNameW(nullptr, dest, capacity);
  if (capacity == 0)
    return 0;
  CopyBounded(dest, g_programPath, capacity);
  return static_cast<DWORD>(WideLength(dest));
}

void SetProgramPathForTesting(const wchar_t* path) {
  CopyBounded(g_programPath, path != nullptr ? path : L"");
}

bool GetSpecialFolderOverride(int csidl, wchar_t* dest, size_t capacity) {
  for (int i = 0; i < g_folderCount; ++i) {
    if (g_folders[i].Csidl == csidl) {
      CopyBounded(dest, g_folders[i].Path, capacity);
      return true;
    }
  }
  return false;
}

void SetSpecialFolderForTesting(int csidl, const wchar_t* path) {
  for (int i = 0; i < g_folderCount; ++i) {
    if (g_folders[i].Csidl == csidl) {
      if (path == nullptr) {
        g_folders[i] = g_folders[--g_folderCount];
      } else {
        CopyBounded(g_folders[i].Path, path);
      }
      return;
    }
  }
  if (path == nullptr || g_folderCount == kFolderSlots)
    return;
  g_folders[g_folderCount].Csidl = csidl;
  CopyBounded(g_folders[g_folderCount].Path, path);
  ++g_folderCount;
}

void ClearSpecialFoldersForTesting() {
  g_folderCount = 0;
}

bool GetWindowsVersionOverride(WindowsVersionOverride& version) {
  if (g_versionSet)
    version = g_version;
  return g_versionSet;
}

void SetWindowsVersionForTesting(DWORD major, DWORD minor, DWORD build) {
  g_version = {major, minor, build};
  g_versionSet = true;
}

WmiOverride GetWmiNameOverride(wchar_t* dest, size_t capacity) {
  ++g_wmiQueries;
  if (g_wmiKind == WmiOverride::Name)
    CopyBounded(dest, g_wmiName, capacity);
  return g_wmiKind;
}

void SetWmiNameForTesting(WmiOverride kind, const wchar_t* name) {
  g_wmiKind = kind;
  CopyBounded(g_wmiName, name != nullptr ? name : L"");
}

void ClearWindowsVersionForTesting() {
  g_versionSet = false;
  g_wmiKind = WmiOverride::None;
  g_wmiName[0] = 0;
  g_wmiQueries = 0;
}

int WmiQueryCountForTesting() {
  return g_wmiQueries;
}

HelpViewerOverride GetHelpViewerOverride() {
  return g_helpViewer;
}

void SetHelpViewerForTesting(HelpViewerOverride viewer) {
  g_helpViewer = viewer;
}

bool TakeMessageBoxAnswer(const wchar_t* text, const wchar_t* caption, UINT flags, int& answer) {
  if (g_messageBoxAnswer == 0)
    return false;
  CopyBounded(g_lastMessageBox.Text, text != nullptr ? text : L"");
  CopyBounded(g_lastMessageBox.Caption, caption != nullptr ? caption : L"");
  g_lastMessageBox.Flags = flags;
  ++g_messageBoxCount;
  answer = g_messageBoxAnswer;
  return true;
}

void SetMessageBoxAnswerForTesting(int answer) {
  g_messageBoxAnswer = answer;
  g_messageBoxCount = 0;
  g_lastMessageBox = {};
}

int MessageBoxCountForTesting() {
  return g_messageBoxCount;
}

const MessageBoxRecord& LastMessageBoxForTesting() {
  return g_lastMessageBox;
}
