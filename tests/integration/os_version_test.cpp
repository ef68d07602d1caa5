#include "integration/os_version.h"

#include <gtest/gtest.h>

#include <string>

#include "common/test_seams.h"
#include "support/scratch_folder.h"

namespace {

class OsVersionTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    ClearWindowsVersionForTesting();
    ResetOsVersionCacheForTesting();
  }
};

struct ShellCase {
  DWORD Major;
  DWORD Minor;
  DWORD Build;
  WmiOverride Wmi;
  const wchar_t* WmiName;
  bool NewShell;
  int Queries;
};

TEST_F(OsVersionTest, NewShellFollowsVersionBuildAndWmiName) {
  const ShellCase cases[] = {
      {10, 0, 21999, WmiOverride::Name, L"Microsoft Windows 11 Pro", false, 0},
      {10, 0, 22000, WmiOverride::Name, L"Microsoft Windows 11 Pro|C:\\WINDOWS", true, 1},
      {10, 0, 22000, WmiOverride::Name, L"Microsoft Windows 10 Pro|C:\\WINDOWS", false, 1},
      {10, 0, 22631, WmiOverride::Name, L"Microsoft windows 10 Pro", true, 1},  // case matters
      {10, 0, 22000, WmiOverride::Name, L"", true, 1},
      {10, 0, 22000, WmiOverride::Fail, nullptr, true, 1},
      {11, 0, 0, WmiOverride::Name, L"Microsoft Windows 10 Pro", true, 0},
      {12, 3, 100, WmiOverride::Fail, nullptr, true, 0},
      {6, 1, 7601, WmiOverride::Fail, nullptr, false, 0},
      {10, 1, 30000, WmiOverride::Name, L"Windows 10", false, 1},
  };
  for (const ShellCase& c : cases) {
    Reset();
    SetWindowsVersionForTesting(c.Major, c.Minor, c.Build);
    SetWmiNameForTesting(c.Wmi, c.WmiName);
    SCOPED_TRACE(std::to_string(c.Major) + "." + std::to_string(c.Minor) + "." +
                 std::to_string(c.Build));
    EXPECT_EQ(c.NewShell, IsNewShell());
    EXPECT_EQ(c.Queries, WmiQueryCountForTesting());
  }
}

TEST_F(OsVersionTest, NewShellIsComputedOnceAndWmiQueriedOnce) {
  SetWindowsVersionForTesting(10, 0, 22000);
  SetWmiNameForTesting(WmiOverride::Name, L"Microsoft Windows 11 Home");
  EXPECT_TRUE(IsNewShell());
  // A changed answer is not seen: the result is kept for the process.
  SetWmiNameForTesting(WmiOverride::Name, L"Microsoft Windows 10 Home");
  SetWindowsVersionForTesting(6, 1, 7601);
  for (int i = 0; i < 5; ++i)
    EXPECT_TRUE(IsNewShell());
  EXPECT_EQ(1, WmiQueryCountForTesting());

  ResetOsVersionCacheForTesting();
  EXPECT_FALSE(IsNewShell());  // 6.1 now, which never asks WMI
  EXPECT_EQ(1, WmiQueryCountForTesting());
}

TEST_F(OsVersionTest, WindowsVersionIsMajorTimes256PlusMinorAndKept) {
  SetWindowsVersionForTesting(10, 0, 19045);
  EXPECT_EQ(0xA00u, GetWindowsVersion());
  SetWindowsVersionForTesting(5, 1, 2600);
  EXPECT_EQ(0xA00u, GetWindowsVersion());  // kept from the first call
  ResetOsVersionCacheForTesting();
  EXPECT_EQ(0x501u, GetWindowsVersion());
  ResetOsVersionCacheForTesting();
  SetWindowsVersionForTesting(6, 3, 9600);
  EXPECT_EQ(0x603u, GetWindowsVersion());
}

TEST_F(OsVersionTest, WindowsVersionOfTheRunningSystemIsNt) {
  // Wine reports an NT platform of at least 6.0.
  EXPECT_GE(GetWindowsVersion(), 0x600u);
}

// The real WMI query against the system's own WMI service, checked against the operating
// system name as the system's "wmic" tool prints it.
TEST_F(OsVersionTest, RealWmiQueryAgreesWithWmic) {
  ScratchFolder scratch;
  const std::wstring output = scratch.Join(L"wmic.txt");
  const std::wstring command = L"cmd.exe /c wmic os get Name > \"" + output + L"\" 2>&1";
  ASSERT_EQ(0, RunAndWait(command));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(output, bytes));
  // wmic writes UTF-16 or the console code page; look for the text in either form.
  std::string narrow;
  for (char ch : bytes) {
    if (ch != 0)
      narrow += ch;
  }
  ASSERT_NE(std::string::npos, narrow.find("Windows")) << narrow;
  const bool wmicSaysWindows10 = narrow.find("Windows 10") != std::string::npos;
  EXPECT_EQ(wmicSaysWindows10, IsWmiWindows10());
  EXPECT_EQ(1, WmiQueryCountForTesting());
}

}  // namespace
