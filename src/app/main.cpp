// Process entry. The start-up sequence lives in app/startup.cpp.
#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return RunProgram(instance);
}
