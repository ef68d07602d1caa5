#pragma once
// Shared by the dialog tests: real dialogs created modeless from the program's own templates
// (which every test program carries), a process state like the program's at the time Setup
// mode runs, and a recording stand-in for the help viewer.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/platform_services.h"
#include "common/setup_flags.h"
#include "common/test_seams.h"
#include "integration/os_version.h"
#include "lang/help.h"
#include "lang/language_file.h"
#include "lang/messages.h"

namespace dialog_test {

struct HelpCall {
  std::wstring File;
  UINT Command;
};
inline std::vector<HelpCall>& HelpCalls() {
  static std::vector<HelpCall> calls;
  return calls;
}
// Records the request and shows nothing (returns no window).
inline HWND WINAPI RecordingViewer(HWND, const wchar_t* file, UINT command, DWORD_PTR) {
  HelpCalls().push_back({file != nullptr ? file : L"", command});
  return nullptr;
}

inline void UseNewShell(bool newShell) {
  if (newShell) {
    SetWindowsVersionForTesting(10, 0, 22631);
    SetWmiNameForTesting(WmiOverride::Name, L"Microsoft Windows 11 Pro|C:\\WINDOWS|");
  } else {
    SetWindowsVersionForTesting(6, 1, 7601);
    SetWmiNameForTesting(WmiOverride::Fail, nullptr);
  }
  ResetOsVersionCacheForTesting();
}

// Resources from the test program, the rich-edit class registered, flags cleared, help
// requests recorded instead of shown, message boxes answered without showing.
class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static HMODULE richEdit = LoadSystemLibrary(L"riched20.dll");
    ASSERT_NE(richEdit, nullptr);
    OwnInstance = GetModuleHandleW(nullptr);
    ResourceModule = OwnInstance;
    SetupFlags = SetupFlagsRecord{};
    RightToLeft = false;
    HelpCalls().clear();
    SetHelpViewerForTesting(RecordingViewer);
    ResetHelpForTesting();
    SetMessageBoxAnswerForTesting(IDOK);
    UseNewShell(false);
  }
  void TearDown() override {
    for (HWND w : dialogs_) {
      if (IsWindow(w))
        DestroyWindow(w);
    }
    SetHelpViewerForTesting(nullptr);
    ResetHelpForTesting();
    SetMessageBoxAnswerForTesting(0);
    ClearWindowsVersionForTesting();
    ResetOsVersionCacheForTesting();
    SetupFlags = SetupFlagsRecord{};
    RightToLeft = false;
  }

  // A modeless dialog from the template, left hidden (showing and destroying visible windows
  // costs seconds under a display without a window manager); destroyed at the end of the test.
  HWND Create(const wchar_t* name, DLGPROC procedure, LPARAM param = 0) {
    HWND w = CreateDialogParamW(GetModuleHandleW(nullptr), name, nullptr, procedure, param);
    EXPECT_NE(w, nullptr) << "dialog " << name << " not created, error " << GetLastError();
    if (w != nullptr)
      dialogs_.push_back(w);
    return w;
  }

  static void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
  static bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
  static bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; }
  // The control's own visibility (its dialog is hidden).
  static bool Visible(HWND dialog, int id) {
    return (GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
  }

 private:
  std::vector<HWND> dialogs_;
};

}  // namespace dialog_test
