// Entry point of every unit-test program: COM is initialised as in the program itself
// (shell links and WMI need it), then GoogleTest runs.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
  OleInitialize(nullptr);
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  OleUninitialize();
  return result;
}
