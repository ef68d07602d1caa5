#include "common/program_path.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/test_seams.h"
#include "guarded_buffer.h"

namespace {

// Puts a stand-in program path in place for one test and restores the real one afterwards.
class ProgramSiblingPathTest : public ::testing::Test {
 protected:
  void SetUp() override { SetProgramPathForTesting(L"C:\\Apps\\Vellox\\uninstall.exe"); }
  void TearDown() override { SetProgramPathForTesting(nullptr); }
};

}  // namespace

TEST_F(ProgramSiblingPathTest, ReplacesTheProgramNameOrGivesTheFolder) {
  wchar_t dest[64];
  ASSERT_TRUE(ProgramSiblingPath(L"Vellox.exe", dest, 64));
  EXPECT_STREQ(L"C:\\Apps\\Vellox\\Vellox.exe", dest);
  ASSERT_TRUE(ProgramSiblingPath(L"", dest, 64));
  EXPECT_STREQ(L"C:\\Apps\\Vellox\\", dest);
}

// Every capacity around the exact fit: the result is whole or the call fails with dest empty,
// and nothing is written past the capacity.
TEST_F(ProgramSiblingPathTest, FailsEmptyWhenTheResultDoesNotFit) {
  const std::wstring whole = L"C:\\Apps\\Vellox\\VlxExtInstaller.exe";
  for (size_t capacity = 1; capacity <= whole.size() + 2; ++capacity) {
    SCOPED_TRACE(capacity);
    GuardedBuffer<wchar_t> dest(capacity);
    bool ok = ProgramSiblingPath(L"VlxExtInstaller.exe", dest.Data(), capacity);
    EXPECT_EQ(capacity > whole.size(), ok);
    EXPECT_EQ(ok ? whole : std::wstring(), dest.Text());
    EXPECT_TRUE(dest.GuardsIntact());
  }
}

TEST(ProgramSiblingPath, RealProgramPathNamesTheTestProgramsFolder) {
  wchar_t module[MAX_PATH * 4];
  DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH * 4);
  ASSERT_GT(length, 0u);
  std::wstring expected(module, length);
  expected.resize(expected.find_last_of(L'\\') + 1);
  wchar_t dest[MAX_PATH * 4];
  ASSERT_TRUE(ProgramSiblingPath(L"sibling.txt", dest, MAX_PATH * 4));
  EXPECT_EQ(expected + L"sibling.txt", dest);
}
