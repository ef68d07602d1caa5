// Process entry. The start-up sequence lives in app/startup.cpp.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  (void)instance;
  return 0;
}
