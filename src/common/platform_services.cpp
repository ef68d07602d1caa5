#include "common/platform_services.h"

#include "common/path_util.h"
#include "common/string_util.h"
#include "common/test_seams.h"

void SetSafeDllSearchPath(bool removeCurrentDirectory) {
  // Looked up by name: the function is missing on the oldest systems the suite once ran on.
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (kernel == nullptr)
    return;
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  FARPROC address = GetProcAddress(kernel, "SetDllDirectoryW");
  if (address == nullptr)
    return;
  // Through void*: a FARPROC is converted to the function's real type.
  auto setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(address));
  if (setDllDirectory == nullptr)
    return;
  // "" removes the current directory from the search order; null restores the default.
  (void)setDllDirectory(removeCurrentDirectory ? L"" : nullptr);
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
  wchar_t path[kPathBufferCapacity];
  UINT length = GetSystemDirectoryW(path, kPathBufferCapacity);
  if (length == 0 || length >= kPathBufferCapacity)
    return nullptr;
  JoinPath(path, fileName, path, kPathBufferCapacity);
  return LoadLibraryW(path);
}

bool RightToLeft = false;

namespace {
int g_screenDpi;  // 0 until the screen's DPI could be read
}  // namespace

int ScaleForDpi(int length) {
  if (g_screenDpi == 0) {
    HDC screen = GetDC(nullptr);
    if (screen != nullptr) {
      g_screenDpi = GetDeviceCaps(screen, LOGPIXELSY);
      (void)ReleaseDC(nullptr, screen);
    }
  }
  // 32-bit product, division truncated toward zero (C++ integer division does that).
  return static_cast<int>(static_cast<unsigned>(length) * static_cast<unsigned>(g_screenDpi)) / 96;
}

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
  if (RightToLeft)
    flags |= MB_RIGHT | MB_RTLREADING;
  int answer = 0;
  if (TakeMessageBoxAnswer(text, caption, flags, answer))
    return answer;
  return MessageBoxW(owner, text, caption, flags);
}
