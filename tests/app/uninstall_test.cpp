#include "app/uninstall.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "common/setup_flags.h"
#include "common/test_seams.h"
#include "common/win_handles.h"
#include "pending_renames.h"
#include "support/change_recorder.h"
#include "support/registry_sandbox.h"
#include "support/scoped_environment.h"
#include "support/scratch_folder.h"

namespace {

// An installation in a scratch folder, run in-process: the program path, message boxes,
// temporary folder and registry are the test's, and the script is written and handed to an
// "interpreter" that does nothing with it (the system's hostname program).
class RunUninstallTest : public ::testing::Test {
 protected:
  RunUninstallTest()
      : temp_(scratch_.MakeFolder(L"temp")),
        tmp_(L"TMP", temp_),
        tempVariable_(L"TEMP", temp_),
        comspec_(L"COMSPEC", InertInterpreter()) {}

  static std::wstring InertInterpreter() {
    wchar_t system[2048];
    UINT length = GetSystemDirectoryW(system, 2048);
    return std::wstring(system, length) + L"\\hostname.exe";
  }

  void SetUp() override {
    GetCurrentDirectoryW(2048, savedDirectory_);
    saved_ = SetupFlags;
    SetupFlags.Silent = false;
    SetupFlags.Msi = false;
    SetupFlags.ExitCode = 0;
    Install(L"inst");
  }
  void TearDown() override {
    SetCurrentDirectoryW(savedDirectory_);
    SetupFlags = saved_;
    SetProgramPathForTesting(nullptr);
    SetMessageBoxAnswerForTesting(0);
  }

  void Install(const std::wstring& folder) {
    folder_ = scratch_.MakeFolder(folder);
    program_ = folder_ + L"\\uninstall.exe";
    scratch_.WriteFile(folder + L"\\uninstall.exe", "program");
    scratch_.WriteFile(folder + L"\\Vellox.exe", "archiver");
    scratch_.WriteFile(folder + L"\\Formats\\x.fmt", "format");
    SetProgramPathForTesting(program_.c_str());
  }
  void WriteList(const std::string& lines) {
    std::wstring relative = folder_.substr(scratch_.Path().size() + 1);
    scratch_.WriteFile(relative + L"\\Uninstall.lst", lines);
  }
  bool InFolder(const wchar_t* name) { return PathExists(folder_ + L"\\" + name); }
  std::wstring Script() { return temp_ + L"\\Uninstall_Vlx.Bat"; }
  bool Pending(const std::wstring& path) {
    registry_.reset();
    return IsPendingDeletion(path);
  }
  // The running program cannot be deleted; here its file is held open to the same effect.
  UniqueFileHandle HoldProgram() {
    return UniqueFileHandle(CreateFileW(program_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  }

  ScratchFolder scratch_;
  std::wstring temp_;
  ScopedEnvironment tmp_, tempVariable_, comspec_;
  // The sandbox is closed before scheduled deletions are read: they are recorded in the
  // real machine key, which the sandbox would hide.
  std::unique_ptr<RegistrySandbox> registry_ = std::make_unique<RegistrySandbox>();
  std::wstring folder_, program_;
  wchar_t savedDirectory_[2048] = {};
  SetupFlagsRecord saved_ = {};
};

const char kList[] =
    "Formats\r\n"
    "uninstall.exe\r\n"
    "Vellox.exe \t\r\n"
    "Formats\\x.fmt\r\n"
    "Uninstall.lst\r\n"
    "missing.dll\r\n";

}  // namespace

TEST_F(RunUninstallTest, AnswerNoChangesNothing) {
  WriteList(kList);
  SetMessageBoxAnswerForTesting(IDNO);
  RunUninstall();
  ASSERT_EQ(MessageBoxCountForTesting(), 1);
  EXPECT_EQ(LastMessageBoxForTesting().Flags, UINT(MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND));
  EXPECT_TRUE(InFolder(L"Vellox.exe"));
  EXPECT_TRUE(InFolder(L"Uninstall.lst"));
  EXPECT_FALSE(PathExists(Script()));
  EXPECT_EQ(SetupFlags.ExitCode, 1602);
}

// Without the list nothing is removed and the run has failed; only an interactive user is
// told: a silent run must never wait for a key.
TEST_F(RunUninstallTest, MissingListFailsAndIsShownOnlyWhenInteractive) {
  for (bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "interactive");
    SetupFlags.Silent = silent;
    SetupFlags.ExitCode = 0;
    SetMessageBoxAnswerForTesting(IDYES);
    ChangeRecorder changes;
    RunUninstall();
    EXPECT_EQ(SetupFlags.ExitCode, 1603);
    ASSERT_EQ(MessageBoxCountForTesting(), silent ? 0 : 2);
    if (!silent) {
      const MessageBoxRecord& box = LastMessageBoxForTesting();
      EXPECT_EQ(box.Flags, UINT(MB_ICONERROR | MB_SETFOREGROUND));
      EXPECT_NE(std::wstring(box.Text).find(L"Uninstall.lst"), std::wstring::npos) << box.Text;
    }
    EXPECT_EQ(changes.Lines().size(), 1u) << "the reason, and no change";
    EXPECT_TRUE(InFolder(L"Vellox.exe"));
    EXPECT_FALSE(PathExists(Script()));
  }
}

TEST_F(RunUninstallTest, MsiRemovesNoFileAndWritesNoScript) {
  WriteList(kList);
  SetupFlags.Msi = true;
  SetMessageBoxAnswerForTesting(IDYES);
  RunUninstall();
  EXPECT_EQ(MessageBoxCountForTesting(), 1);  // the confirmation only
  EXPECT_TRUE(InFolder(L"Vellox.exe"));
  EXPECT_TRUE(InFolder(L"Uninstall.lst"));
  EXPECT_FALSE(PathExists(Script()));
}

TEST_F(RunUninstallTest, SilentRunRemovesTheListedFilesAndWritesTheScript) {
  WriteList(kList);
  std::wstring gid = scratch_.WriteFile(L"inst\\vellox.gid", "help index");
  scratch_.WriteFile(L"inst\\vellox.fts", "help index");
  SetFileAttributesW(gid.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  scratch_.WriteFile(L"temp\\Vellox.exe.WebView2\\EBWebView\\Default\\Cache", "browser data");
  scratch_.WriteFile(L"keep.txt", "beside the installation");
  SetupFlags.Silent = true;
  SetMessageBoxAnswerForTesting(IDNO);  // any box shown would stop the run
  UniqueFileHandle running = HoldProgram();
  RunUninstall();
  EXPECT_EQ(MessageBoxCountForTesting(), 0);
  EXPECT_EQ(SetupFlags.ExitCode, 0);
  EXPECT_FALSE(InFolder(L"Vellox.exe"));
  EXPECT_FALSE(InFolder(L"Formats"));
  EXPECT_FALSE(InFolder(L"Uninstall.lst"));
  EXPECT_FALSE(InFolder(L"vellox.gid"));
  EXPECT_FALSE(InFolder(L"vellox.fts"));
  EXPECT_TRUE(InFolder(L"uninstall.exe"));  // left to the script
  EXPECT_FALSE(PathExists(temp_ + L"\\Vellox.exe.WebView2"));
  EXPECT_TRUE(PathExists(scratch_.Join(L"keep.txt")));

  std::string script;
  ASSERT_TRUE(ReadWholeFile(Script(), script));
  size_t lines = 0;
  for (char c : script)
    lines += c == '\n';
  EXPECT_EQ(lines, 12u);
  wchar_t current[2048];
  GetCurrentDirectoryW(2048, current);
  EXPECT_EQ(_wcsicmp(current, scratch_.Path().c_str()), 0) << "the script starts in the parent";
}

TEST_F(RunUninstallTest, FileInUseGivesOneNoticeAndSchedulesAFolderNamedVellox) {
  Install(L"VELLOX");
  WriteList("a.txt\r\nb.txt\r\nVellox.exe\r\n");
  std::wstring a = scratch_.WriteFile(L"VELLOX\\a.txt", "a");
  std::wstring b = scratch_.WriteFile(L"VELLOX\\b.txt", "b");
  UniqueFileHandle heldA(
      CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  UniqueFileHandle heldB(
      CreateFileW(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(heldA && heldB);
  SetMessageBoxAnswerForTesting(IDYES);
  ChangeRecorder changes;
  RunUninstall();
  ASSERT_EQ(MessageBoxCountForTesting(), 2);  // the confirmation and one restart notice
  // The log learns of the notice, and then of the folder scheduled with the files.
  const std::vector<std::wstring>& lines = changes.Lines();
  auto notice = std::find(lines.begin(), lines.end(), L"notice||-|-|-|restart needed (shown)");
  ASSERT_NE(notice, lines.end());
  EXPECT_NE(std::find(notice, lines.end(), L"delete-at-restart|" + folder_ + L"|-|-|-|-"),
            lines.end());
  EXPECT_EQ(
      std::count_if(lines.begin(), notice,
                    [](const std::wstring& l) { return l.rfind(L"delete-at-restart|", 0) == 0; }),
      2);
  EXPECT_EQ(LastMessageBoxForTesting().Flags, UINT(MB_ICONINFORMATION | MB_SETFOREGROUND));
  EXPECT_TRUE(Pending(a));
  EXPECT_TRUE(Pending(b));
  EXPECT_TRUE(Pending(folder_));
  EXPECT_FALSE(InFolder(L"Vellox.exe"));
  EXPECT_FALSE(Pending(program_));
  EXPECT_EQ(SetupFlags.ExitCode, 3010) << "a restart completes the removal";
}

TEST_F(RunUninstallTest, OtherFolderNamesAreNotScheduled) {
  Install(L"Tools");
  WriteList("a.txt\r\n");
  std::wstring a = scratch_.WriteFile(L"Tools\\a.txt", "a");
  UniqueFileHandle held(
      CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  SetMessageBoxAnswerForTesting(IDYES);
  RunUninstall();
  EXPECT_EQ(MessageBoxCountForTesting(), 2);
  EXPECT_TRUE(Pending(a));
  EXPECT_FALSE(Pending(folder_));
}

TEST_F(RunUninstallTest, SilentRunWithAFileInUseShowsNothingAndSchedulesNoFolder) {
  Install(L"Vellox");
  WriteList("a.txt\r\n");
  std::wstring a = scratch_.WriteFile(L"Vellox\\a.txt", "a");
  UniqueFileHandle held(
      CreateFileW(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  SetupFlags.Silent = true;
  SetMessageBoxAnswerForTesting(IDYES);
  ChangeRecorder changes;
  RunUninstall();
  EXPECT_EQ(MessageBoxCountForTesting(), 0);
  EXPECT_TRUE(Pending(a));
  EXPECT_FALSE(Pending(folder_));
  const std::vector<std::wstring>& lines = changes.Lines();
  EXPECT_NE(
      std::find(lines.begin(), lines.end(), L"notice||-|-|-|restart needed (silent: not shown)"),
      lines.end());
}
