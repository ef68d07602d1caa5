#include "integration/context_menu_package.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/win_handles.h"
#include "support/process_list.h"
#include "support/program_folder.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"

namespace {

const wchar_t kSetup[] = L"Software\\Vellox\\Setup";

// The package installer is played by the archiver stand-in, which logs its arguments.
class ContextMenuPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = scratch_.Join(L"installer.log");
    SetEnvironmentVariableW(L"VELLOX_STANDIN_LOG", log_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"VELLOX_STANDIN_LOG", nullptr);
    SetEnvironmentVariableW(L"VELLOX_STANDIN_HOLD", nullptr);
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
  // The installer stand-in of this test while it runs (a handle that can be waited for), or
  // none. Matched by its full path, so that no other test's process counts.
  UniqueHandle RunningInstaller() const {
    const std::wstring installer = scratch_.Join(L"VlxExtInstaller.exe");
    std::vector<UniqueHandle> named;
    (void)OpenProcessesWhere(
        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
        [](const PROCESSENTRY32W& entry) {
          return lstrcmpiW(entry.szExeFile, L"VlxExtInstaller.exe") == 0;
        },
        named);
    for (UniqueHandle& process : named) {
      wchar_t image[MAX_PATH];
      DWORD length = MAX_PATH;
      if (QueryFullProcessImageNameW(process.get(), 0, image, &length) &&
          lstrcmpiW(image, installer.c_str()) == 0) {
        return std::move(process);
      }
    }
    return UniqueHandle();
  }
  // Waits (at most a minute) until the installer stand-in has ended, so that nothing holds
  // the scratch folder when it goes.
  void WaitForInstallerEnd() const {
    UniqueHandle installer = RunningInstaller();
    if (installer) {
      EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(installer.get(), 60000));
    }
  }
  static DWORD Recorded() { return RegReadDword(HKEY_CURRENT_USER, kSetup, L"NewContextMenu"); }

  RegistrySandbox sandbox_;
  ScratchFolder scratch_;
  ScopedProgramFolder program_{scratch_.Path()};
  std::wstring log_;
};

TEST_F(ContextMenuPackageTest, InstallRunsTheInstallerAndRecordsOne) {
  AddPackage();
  AddInstaller();
  RunContextMenuPackage(PackageAction::Install);
  EXPECT_EQ(1u, Recorded());
  const std::string log = WaitForLog();
  EXPECT_NE(std::string::npos, log.find("VlxExtInstaller.exe\t1\t-install\n")) << log;
  WaitForInstallerEnd();
}

TEST_F(ContextMenuPackageTest, UninstallWaitsForTheInstallerAndRecordsZero) {
  AddPackage();
  AddInstaller();
  RegWriteDword(HKEY_CURRENT_USER, kSetup, L"NewContextMenu", 1);
  RunContextMenuPackage(PackageAction::Uninstall);
  // Waited for: the installer has run to its end when the call returns.
  EXPECT_NE(std::string::npos, Log().find("VlxExtInstaller.exe\t1\t-Uninstall\n")) << Log();
  EXPECT_EQ(0u, Recorded());
}

TEST_F(ContextMenuPackageTest, MissingInstallerOrPackageStartsNothingAndKeepsTheSetting) {
  RegWriteDword(HKEY_CURRENT_USER, kSetup, L"NewContextMenu", 1);
  AddPackage();
  RunContextMenuPackage(PackageAction::Uninstall);
  EXPECT_EQ(1u, Recorded());

  DeleteFileW(scratch_.Join(L"VlxExtPackage.msix").c_str());
  AddInstaller();
  RunContextMenuPackage(PackageAction::Uninstall);
  RunContextMenuPackage(PackageAction::Install);
  EXPECT_EQ(1u, Recorded());
  // An installer started by these calls either still runs or has already logged its start;
  // looked at in this order, no wait is needed.
  EXPECT_FALSE(RunningInstaller());
  EXPECT_EQ("", Log());
}

TEST_F(ContextMenuPackageTest, AFailedStartStillRecordsTheChoice) {
  AddPackage();
  scratch_.WriteFile(L"VlxExtInstaller.exe", "not a program");
  RunContextMenuPackage(PackageAction::Uninstall);
  EXPECT_EQ(0u, Recorded());
  RunContextMenuPackage(PackageAction::Install);
  EXPECT_EQ(1u, Recorded());
}

TEST_F(ContextMenuPackageTest, AHangingUninstallIsGivenUp) {
  AddPackage();
  AddInstaller();
  // The stand-in hangs until the release file exists (at most a minute).
  const std::wstring release = scratch_.Join(L"release");
  SetEnvironmentVariableW(L"VELLOX_STANDIN_HOLD", release.c_str());
  RunContextMenuPackage(PackageAction::Uninstall);
  // The call has come back while the installer still hangs: it gave up waiting.
  EXPECT_TRUE(RunningInstaller());
  EXPECT_EQ(0u, Recorded());
  EXPECT_NE(std::string::npos, Log().find("-Uninstall")) << Log();
  scratch_.WriteFile(L"release", "");
  WaitForInstallerEnd();
}

}  // namespace
