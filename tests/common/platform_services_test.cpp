#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/platform_services.h"
#include "common/test_seams.h"
#include "lang/language_file.h"
#include "support/scratch_folder.h"

namespace {

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

TEST(ScaleForDpiTest, ScalesByTheScreensVerticalDpi) {
  int dpi = ScreenDpi();
  ASSERT_GT(dpi, 0);
  EXPECT_EQ(ScaleForDpi(96), dpi);
  EXPECT_EQ(ScaleForDpi(0), 0);
  EXPECT_EQ(ScaleForDpi(-12), -12 * dpi / 96);
  // Division truncates toward zero, for negative lengths too.
  EXPECT_EQ(ScaleForDpi(-1), -(dpi / 96));
  EXPECT_EQ(ScaleForDpi(1000), 1000 * dpi / 96);
}

class ShowMessageBoxTest : public testing::Test {
 protected:
  void TearDown() override {
    SetMessageBoxAnswerForTesting(0);
    RightToLeft = false;
  }
};

TEST_F(ShowMessageBoxTest, PassesTheFlagsUnchanged) {
  SetMessageBoxAnswerForTesting(IDNO);
  EXPECT_EQ(ShowMessageBox(nullptr, L"text", L"caption", MB_YESNO | MB_ICONQUESTION), IDNO);
  ASSERT_EQ(MessageBoxCountForTesting(), 1);
  EXPECT_STREQ(LastMessageBoxForTesting().Text, L"text");
  EXPECT_STREQ(LastMessageBoxForTesting().Caption, L"caption");
  EXPECT_EQ(LastMessageBoxForTesting().Flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
}

TEST_F(ShowMessageBoxTest, RightToLeftLanguagesReadFromTheRight) {
  SetMessageBoxAnswerForTesting(IDOK);
  RightToLeft = true;
  EXPECT_EQ(ShowMessageBox(nullptr, L"t", L"c", MB_ICONINFORMATION), IDOK);
  EXPECT_EQ(LastMessageBoxForTesting().Flags, 0x180000u | MB_ICONINFORMATION);
  // Already present flags stay as they are.
  ShowMessageBox(nullptr, L"t", L"c", MB_RIGHT);
  EXPECT_EQ(LastMessageBoxForTesting().Flags, 0x180000u);
}

TEST(LoadSystemLibraryTest, LoadsFromTheSystemFolderOnly) {
  HMODULE module = LoadSystemLibrary(L"riched20.dll");
  ASSERT_NE(module, nullptr);
  wchar_t loaded[2048];
  ASSERT_GT(GetModuleFileNameW(module, loaded, 2048), 0u);
  wchar_t system[2048];
  ASSERT_GT(GetSystemDirectoryW(system, 2048), 0u);
  EXPECT_EQ(CompareStringOrdinal(loaded, static_cast<int>(wcslen(system)), system, -1, TRUE),
            CSTR_EQUAL)
      << std::wstring(loaded).c_str();
  FreeLibrary(module);
}

TEST(LoadSystemLibraryTest, LibraryOnlyBesideTheCallerIsNotFound) {
  // A library of that name in the current folder (or beside the program) is never taken.
  ScratchFolder scratch;
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(TestProgramFolder() + L"\\vlxlng.dll", bytes));
  scratch.WriteFile(L"vlxplant.dll", bytes);
  wchar_t previous[2048];
  ASSERT_GT(GetCurrentDirectoryW(2048, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(scratch.Path().c_str()));
  HMODULE module = LoadSystemLibrary(L"vlxplant.dll");
  (void)SetCurrentDirectoryW(previous);
  EXPECT_EQ(module, nullptr);
  if (module != nullptr)
    FreeLibrary(module);
  EXPECT_EQ(LoadSystemLibrary(L"no-such-library.dll"), nullptr);
}

// Wine keeps the current folder in the search order even after SetDllDirectoryW(""), so
// what can be seen here is that the call reaches SetDllDirectoryW and replaces any folder set
// before.
TEST(SetSafeDllSearchPathTest, ReplacesAnyExtraLibraryFolder) {
  wchar_t folder[MAX_PATH];
  for (bool remove : {true, false}) {
    ASSERT_TRUE(SetDllDirectoryW(L"C:\\windows"));
    ASSERT_GT(GetDllDirectoryW(MAX_PATH, folder), 0u);
    SetSafeDllSearchPath(remove);
    folder[0] = L'x';
    EXPECT_EQ(GetDllDirectoryW(MAX_PATH, folder), 0u) << remove;
    EXPECT_EQ(folder[0], 0) << remove;
  }
  SetSafeDllSearchPath(false);
}

}  // namespace
