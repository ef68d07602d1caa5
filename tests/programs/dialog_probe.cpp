// Test helper: finds a dialog of another process by a control it holds (captions may be in
// any script, which a command line in the host's locale may not carry), then prints extended
// window styles or presses a button.
//
//   dialog_probe.exe <ids> styles [<control id>...]
//       prints "window 0x<extended style>" for the dialog, then "<control id> 0x<style>" for
//       each control named
//   dialog_probe.exe <ids> press <control id>
//       posts the dialog the command that a click on that button sends
//
// <ids> names the dialog by its controls, separated by commas: it holds every id given and none
// given as !id ("5106,!5128"). The first visible top-level window that matches is waited for up
// to 30 seconds and repainted before the command acts. Exit code 0 on success, 1 when no such
// dialog appeared, 2 for a bad command line, 3 when a named control is missing.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

struct Search {
  const wchar_t* Ids;
  HWND Found;
};

bool Matches(HWND window, const wchar_t* ids) {
  const wchar_t* p = ids;
  while (*p != 0) {
    const bool absent = *p == L'!';
    if (absent)
      ++p;
    wchar_t* end = nullptr;
    const long id = std::wcstol(p, &end, 10);
    if (end == p)
      return false;  // not a number: names no dialog
    if ((GetDlgItem(window, static_cast<int>(id)) != nullptr) == absent)
      return false;
    p = *end == L',' ? end + 1 : end;
  }
  return true;
}

BOOL CALLBACK Consider(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (IsWindowVisible(window) && Matches(window, search->Ids)) {
    search->Found = window;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForDialog(const wchar_t* ids) {
  const ULONGLONG deadline = GetTickCount64() + 30000;
  for (;;) {
    Search search = {ids, nullptr};
    EnumWindows(Consider, reinterpret_cast<LPARAM>(&search));
    if (search.Found != nullptr || GetTickCount64() > deadline)
      return search.Found;
    Sleep(100);
  }
}

int Number(const wchar_t* text) {
  return static_cast<int>(std::wcstol(text, nullptr, 10));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3)
    return 2;
  HWND dialog = WaitForDialog(argv[1]);
  if (dialog == nullptr)
    return 1;
  // Painted completely before anything else: a screenshot taken after the probe shows the
  // dialog, not what the screen held before (there is no window manager to clear it).
  (void)RedrawWindow(dialog, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  if (std::wcscmp(argv[2], L"styles") == 0) {
    std::printf("window 0x%08lx\n",
                static_cast<unsigned long>(GetWindowLongW(dialog, GWL_EXSTYLE)));
    for (int i = 3; i < argc; ++i) {
      HWND control = GetDlgItem(dialog, Number(argv[i]));
      if (control == nullptr)
        return 3;
      std::printf("%d 0x%08lx\n", Number(argv[i]),
                  static_cast<unsigned long>(GetWindowLongW(control, GWL_EXSTYLE)));
    }
    return 0;
  }
  if (std::wcscmp(argv[2], L"press") == 0 && argc == 4) {
    const int id = Number(argv[3]);
    HWND control = GetDlgItem(dialog, id);
    if (control == nullptr)
      return 3;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
    return 0;
  }
  return 2;
}
