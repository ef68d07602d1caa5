#include "app/startup.h"

#include <objbase.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "common/setup_flags.h"
#include "support/scratch_folder.h"

namespace {

// The apartment of the calling thread, or -1 when COM is not initialised on it.
int ApartmentOfThisThread() {
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  return CoGetApartmentType(&type, &qualifier) == S_OK ? static_cast<int>(type) : -1;
}

// Runs the program on a command line that asks for neither mode, on a thread of its own.
template <typename Before, typename After>
void RunOnThread(const std::wstring& commandLine, Before before, After after) {
  std::thread([&] {
    before();
    SetupFlags = SetupFlagsRecord{};
    EXPECT_EQ(RunProgramWith(GetModuleHandleW(nullptr), commandLine.c_str()), 0);
    SetupFlags = SetupFlagsRecord{};
    after();
  }).join();
}

TEST(RunProgram, LeavesComOnItsThreadAsItFoundIt) {
  // A fresh thread: the program's own initialisation is undone.
  RunOnThread(
      L"uninstall.exe /none", [] { EXPECT_EQ(ApartmentOfThisThread(), -1); },
      [] { EXPECT_EQ(ApartmentOfThisThread(), -1); });
  // A thread already in the multithreaded apartment: OleInitialize fails there, and the
  // program must not take away the caller's initialisation. (Wine counts the failed
  // initialisation too, so there an extra OleUninitialize would not show; Windows does not.)
  RunOnThread(
      L"uninstall.exe /none",
      [] { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); },
      [] {
        EXPECT_EQ(ApartmentOfThisThread(), static_cast<int>(APTTYPE_MTA));
        CoUninitialize();
      });
}

TEST(RunProgram, LogsARunThatChangesNothingFromStartToExit) {
  ScratchFolder scratch;
  const std::wstring log = scratch.Join(L"logs\\run.log");
  RunOnThread(
      L"uninstall.exe /none \"/log=" + log + L"\"", [] {}, [] {});
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(log, bytes));
  EXPECT_NE(bytes.find("\tstart\tmode=none\t"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("\tcommand=uninstall.exe /none \"/log="), std::string::npos) << bytes;
  EXPECT_EQ(bytes.substr(bytes.size() - 14), "\texit\tcode=0\r\n") << bytes;
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2) << bytes;
}

}  // namespace
