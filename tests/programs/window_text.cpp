// Test helper: prints the texts of a top-level window and of its child controls, one per line
// in UTF-8, so that end-to-end scenarios can read what a dialog or message box says.
// Usage: window_text.exe <window caption>. Exit code 0 when the window was found, else 1.
#include <windows.h>

#include <cstdio>

namespace {

void PrintUtf8(const wchar_t* text) {
  char bytes[8192];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr);
  if (n > 0)
    std::fwrite(bytes, 1, static_cast<size_t>(n - 1), stdout);
  std::fputc('\n', stdout);
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
  wchar_t text[4096];
  if (GetWindowTextW(child, text, 4096) > 0)
    PrintUtf8(text);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2)
    return 2;
  HWND window = FindWindowW(nullptr, argv[1]);
  if (window == nullptr)
    return 1;
  wchar_t caption[4096];
  GetWindowTextW(window, caption, 4096);
  PrintUtf8(caption);
  EnumChildWindows(window, PrintChild, 0);
  return 0;
}
