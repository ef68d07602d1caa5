// The smallest Windows GUI program: it starts and exits with code 0. The start-up benchmark
// measures the product's start-to-exit time against this floor (process creation and loader).
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return 0;
}
