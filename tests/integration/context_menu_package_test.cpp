#include "integration/context_menu_package.h"

#include <gtest/gtest.h>

#include <string>

#include "common/test_seams.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"

namespace {

const wchar_t kSetup[] = L"Software\\Vellox\\Setup";

// The package installer is played by the archiver stand-in, which logs its arguments.
class ContextMenuPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramPathForTesting(scratch_.Join(L"uninstall.exe").c_str());
    log_ = scratch_.Join(L"installer.log");
    SetEnvironmentVariableW(L"VELLOX_STANDIN_LOG", log_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"VELLOX_STANDIN_LOG", nullptr);
    SetEnvironmentVariableW(L"VELLOX_STANDIN_HOLD", nullptr);
    SetProgramPathForTesting(nullptr);
  }
  void AddPackage() { scratch_.WriteFile(L"VlxExtPackage.msix", "package"); }
  void AddInstaller() {
    const std::wstring standin = TestProgramFolder() + L"\\Vellox.exe";
    ASSERT_TRUE(CopyFileW(standin.c_str(), scratch_.Join(L"VlxExtInstaller.exe").c_str(), FALSE));
  }
  std::string Log() {
    std::string bytes;
    return ReadWholeFile(log_, bytes) ? bytes : std::string();
  }
  // Waits for the (not waited for) install run to have logged.
  std::string WaitForLog() {
    for (int i = 0; i < 200 && Log().empty(); ++i)
      Sleep(50);
    return Log();
  }
  static DWORD Recorded() { return RegReadDword(HKEY_CURRENT_USER, kSetup, L"NewContextMenu"); }

  RegistrySandbox sandbox_;
  ScratchFolder scratch_;
  std::wstring log_;
};

TEST_F(ContextMenuPackageTest, InstallRunsTheInstallerAndRecordsOne) {
  AddPackage();
  AddInstaller();
  RunContextMenuPackage(true);
  EXPECT_EQ(1u, Recorded());
  const std::string log = WaitForLog();
  EXPECT_NE(std::string::npos, log.find("VlxExtInstaller.exe\t1\t-install\n")) << log;
}

TEST_F(ContextMenuPackageTest, UninstallWaitsForTheInstallerAndRecordsZero) {
  AddPackage();
  AddInstaller();
  RegWriteDword(HKEY_CURRENT_USER, kSetup, L"NewContextMenu", 1);
  RunContextMenuPackage(false);
  // Waited for: the installer has run to its end when the call returns.
  EXPECT_NE(std::string::npos, Log().find("VlxExtInstaller.exe\t1\t-Uninstall\n")) << Log();
  EXPECT_EQ(0u, Recorded());
}

TEST_F(ContextMenuPackageTest, MissingInstallerOrPackageStartsNothingAndKeepsTheSetting) {
  RegWriteDword(HKEY_CURRENT_USER, kSetup, L"NewContextMenu", 1);
  AddPackage();
  RunContextMenuPackage(false);
  EXPECT_EQ(1u, Recorded());

  DeleteFileW(scratch_.Join(L"VlxExtPackage.msix").c_str());
  AddInstaller();
  RunContextMenuPackage(false);
  RunContextMenuPackage(true);
  EXPECT_EQ(1u, Recorded());
  Sleep(300);
  EXPECT_EQ("", Log());
}

TEST_F(ContextMenuPackageTest, AFailedStartStillRecordsTheChoice) {
  AddPackage();
  scratch_.WriteFile(L"VlxExtInstaller.exe", "not a program");
  RunContextMenuPackage(false);
  EXPECT_EQ(0u, Recorded());
  RunContextMenuPackage(true);
  EXPECT_EQ(1u, Recorded());
}

TEST_F(ContextMenuPackageTest, AHangingUninstallIsGivenUpAfterTwentySeconds) {
  AddPackage();
  AddInstaller();
  const std::wstring release = scratch_.Join(L"release");
  SetEnvironmentVariableW(L"VELLOX_STANDIN_HOLD", release.c_str());
  const ULONGLONG start = GetTickCount64();
  RunContextMenuPackage(false);
  const ULONGLONG elapsed = GetTickCount64() - start;
  scratch_.WriteFile(L"release", "");  // lets the stand-in end
  EXPECT_GE(elapsed, 19000u);
  EXPECT_LT(elapsed, 45000u);
  EXPECT_EQ(0u, Recorded());
  EXPECT_NE(std::string::npos, Log().find("-Uninstall")) << Log();
  Sleep(500);  // the stand-in polls for the release file before the folder goes
}

}  // namespace
