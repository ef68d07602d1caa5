#include "app/list_walk.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "pending_renames.h"
#include "common/win_handles.h"
#include "settings/settings_store.h"
#include "support/change_recorder.h"
#include "support/registry_sandbox.h"
#include "support/scratch_folder.h"

namespace {

// An installation folder in a scratch folder with its list loaded from the given lines.
// Runs a run-once command as the logon would, and waits for it.
bool RunAsAtLogon(std::wstring command) {
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &started)) {
    return false;
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  return WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0;
}

class ListWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratch_.Path() + L"\\";
    program_ = scratch_.Join(L"uninstall.exe");
  }

  size_t Load(const std::string& lines) {
    std::wstring listPath = scratch_.WriteFile(L"Uninstall.lst", lines);
    FILE* f = _wfopen(listPath.c_str(), L"rb");
    if (f == nullptr)
      return 0;
    size_t count = list_.Load(f, folder_.c_str());
    fclose(f);
    return count;
  }

  ListWalkState State() { return ListWalkState{folder_.c_str(), program_.c_str(), false}; }
  bool Exists(const wchar_t* relative) { return PathExists(scratch_.Join(relative)); }

  ScratchFolder scratch_;
  std::wstring folder_;
  std::wstring program_;
  UninstallList list_;
};

// Holds a file open without delete sharing, as another program holding a document does: it
// can be neither deleted nor renamed.
UniqueFileHandle HoldOpen(const std::wstring& path) {
  return UniqueFileHandle(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

// Maps a copy of a program as an image, as a running program or loaded library is: it can be
// renamed but not deleted.
UniqueModule MapAsImage(const std::wstring& path) {
  std::wstring source = TestProgramFolder() + L"\\holdfile.exe";
  if (!CopyFileW(source.c_str(), path.c_str(), FALSE))
    return UniqueModule();
  return UniqueModule(LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
}

}  // namespace

TEST_F(ListWalkTest, FoldersListedFirstGoInLaterWalks) {
  scratch_.WriteFile(L"sub\\deep\\f.txt", "f");
  scratch_.WriteFile(L"sub\\g.txt", "g");
  ASSERT_EQ(Load("sub\r\nsub\\deep\r\nsub\\deep\\f.txt\r\nsub\\g.txt\r\n"), 4u);
  ListWalkState state = State();
  EXPECT_EQ(WalkListOnce(list_, state), 2u);  // the files; both folders still hold something
  EXPECT_TRUE(Exists(L"sub\\deep"));
  EXPECT_EQ(WalkListOnce(list_, state), 1u);  // sub\deep
  EXPECT_EQ(WalkListOnce(list_, state), 1u);  // sub
  EXPECT_EQ(WalkListOnce(list_, state), 0u);
  EXPECT_FALSE(Exists(L"sub"));
  EXPECT_FALSE(state.RebootPending);
}

TEST_F(ListWalkTest, WalksUntilOneRemovesNothing) {
  scratch_.WriteFile(L"a\\b\\c\\f.txt", "f");
  ASSERT_EQ(Load("a\na\\b\na\\b\\c\na\\b\\c\\f.txt\n"), 4u);
  ListWalkState state = State();
  EXPECT_EQ(WalkListUntilDone(list_, state), 5u);
  EXPECT_FALSE(Exists(L"a"));

  // Files first, children before parents: one walk does it all, a second confirms.
  scratch_.WriteFile(L"x\\y\\f.txt", "f");
  ASSERT_EQ(Load("x\\y\\f.txt\nx\\y\nx\n"), 3u);
  EXPECT_EQ(WalkListUntilDone(list_, state), 2u);
  EXPECT_FALSE(Exists(L"x"));
}

TEST_F(ListWalkTest, RemovesReadOnlyHiddenAndSystemEntries) {
  std::wstring file = scratch_.WriteFile(L"ro\\locked.txt", "x");
  std::wstring folder = scratch_.Join(L"ro");
  ASSERT_TRUE(SetFileAttributesW(
      file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(Load("ro\\locked.txt\nro\n"), 2u);
  ListWalkState state = State();
  (void)WalkListUntilDone(list_, state);
  EXPECT_FALSE(Exists(L"ro"));
  EXPECT_FALSE(state.RebootPending);
}

TEST_F(ListWalkTest, MissingEntriesAreSkippedAndReportedWithTheirReason) {
  scratch_.WriteFile(L"here.txt", "x");
  ChangeRecorder changes;
  ASSERT_EQ(Load("gone.txt\nhere.txt\nnone\\deeper.txt\n..\\outside.txt\n"), 3u);
  ListWalkState state = State();
  EXPECT_EQ(WalkListOnce(list_, state), 1u);
  EXPECT_EQ(WalkListOnce(list_, state), 0u);
  EXPECT_FALSE(Exists(L"here.txt"));
  EXPECT_FALSE(state.RebootPending);
  const std::vector<std::wstring> expected = {
      L"skipped|..\\outside.txt|-|-|-|not a name inside the installation folder",
      L"skipped|" + folder_ + L"gone.txt|-|-|-|missing",
      L"file-deleted|" + folder_ + L"here.txt|-|-|-|-",
      L"skipped|" + folder_ + L"none\\deeper.txt|-|-|-|its folder is missing",
  };
  EXPECT_EQ(changes.Lines(), expected);
}

TEST_F(ListWalkTest, ProgramAndListAreLeftForTheScript) {
  scratch_.WriteFile(L"uninstall.exe", "program");
  scratch_.WriteFile(L"sub\\UNINSTALL.EXE", "a copy elsewhere");
  ASSERT_EQ(Load("uninstall.exe\nUninstall.lst\nsub\\UNINSTALL.EXE\nsub\n"), 4u);
  // Both are in use, as the running program and the open list are.
  UniqueFileHandle program = HoldOpen(program_);
  UniqueFileHandle listFile = HoldOpen(scratch_.Join(L"Uninstall.lst"));
  ASSERT_TRUE(program && listFile);
  ListWalkState state = State();
  (void)WalkListUntilDone(list_, state);
  EXPECT_TRUE(Exists(L"uninstall.exe"));
  EXPECT_TRUE(Exists(L"Uninstall.lst"));
  EXPECT_FALSE(Exists(L"sub"));  // a file of the same name elsewhere is not in use: deleted
  EXPECT_FALSE(Exists(L"uninstall.exe.0.tmp"));
  EXPECT_FALSE(state.RebootPending);
  EXPECT_FALSE(IsPendingDeletion(program_));
}

TEST_F(ListWalkTest, FileInUseIsRenamedAndScheduled) {
  std::wstring dll = scratch_.Join(L"a.dll");
  UniqueModule mapped = MapAsImage(dll);
  ASSERT_TRUE(mapped) << "could not map a program image";
  scratch_.WriteFile(L"b.dll", "b");
  ASSERT_EQ(Load("a.dll\nb.dll\n"), 2u);
  ListWalkState state = State();
  ChangeRecorder changes;
  EXPECT_EQ(WalkListUntilDone(list_, state), 2u);
  const std::vector<std::wstring> expected = {
      L"file-renamed|" + dll + L"|" + dll + L".0.tmp|-|-|-",
      L"delete-at-restart|" + dll + L".0.tmp|-|-|-|-",
      L"file-deleted|" + folder_ + L"b.dll|-|-|-|-",
  };
  EXPECT_EQ(changes.Lines(), expected);
  EXPECT_TRUE(state.RebootPending);
  EXPECT_FALSE(Exists(L"a.dll"));
  EXPECT_FALSE(Exists(L"b.dll"));
  EXPECT_TRUE(Exists(L"a.dll.0.tmp"));
  EXPECT_TRUE(IsPendingDeletion(dll + L".0.tmp"));
}

TEST_F(ListWalkTest, RenameTakesTheFirstFreeNumber) {
  std::wstring dll = scratch_.Join(L"a.dll");
  scratch_.WriteFile(L"a.dll.0.tmp", "an older one");
  UniqueModule mapped = MapAsImage(dll);
  ASSERT_TRUE(mapped);
  ASSERT_TRUE(MoveAsideForRestart(dll.c_str()));
  EXPECT_FALSE(Exists(L"a.dll"));
  EXPECT_TRUE(Exists(L"a.dll.1.tmp"));
  EXPECT_TRUE(IsPendingDeletion(dll + L".1.tmp"));
  EXPECT_FALSE(IsPendingDeletion(dll + L".0.tmp"));
}

TEST_F(ListWalkTest, FileThatCannotBeRenamedIsScheduledWhereItIs) {
  std::wstring doc = scratch_.WriteFile(L"open.txt", "held by another program");
  UniqueFileHandle held = HoldOpen(doc);
  ASSERT_TRUE(held);
  ASSERT_EQ(Load("open.txt\n"), 1u);
  ListWalkState state = State();
  EXPECT_EQ(WalkListUntilDone(list_, state), 1u);
  EXPECT_TRUE(state.RebootPending);
  EXPECT_TRUE(Exists(L"open.txt"));
  EXPECT_FALSE(Exists(L"open.txt.0.tmp"));
  EXPECT_TRUE(IsPendingDeletion(doc));
}

TEST_F(ListWalkTest, AllTemporaryNamesTakenFallsBackToTheFileItself) {
  std::wstring dll = scratch_.Join(L"a.dll");
  for (int n = 0; n <= 999; ++n) {
    scratch_.WriteFile(L"a.dll." + std::to_wstring(n) + L".tmp", "");
  }
  UniqueModule mapped = MapAsImage(dll);
  ASSERT_TRUE(mapped);
  ASSERT_TRUE(MoveAsideForRestart(dll.c_str()));
  EXPECT_TRUE(Exists(L"a.dll"));  // the name for 999 exists, so the rename failed
  EXPECT_TRUE(IsPendingDeletion(dll));
}

// Without administrator rights a file in use is neither renamed nor scheduled at restart: a
// run-once value of the user's deletes it at the next logon. The value's command, run once the
// file is free, deletes it; an earlier value of that name stays.
TEST_F(ListWalkTest, InUserScopeAFileInUseGoesAtTheNextLogon) {
  RegistrySandbox registry;
  RegWriteString(HKEY_CURRENT_USER, kRunOnceKey + 1, L"Vellox delete 1", L"earlier");
  std::wstring doc = scratch_.WriteFile(L"a long name with blanks.txt", "held");
  UniqueFileHandle held = HoldOpen(doc);
  ASSERT_TRUE(held);
  ASSERT_EQ(Load("a long name with blanks.txt\n"), 1u);
  ListWalkState state = State();
  SetInstallScope(InstallScope::User);
  ChangeRecorder changes;
  (void)WalkListUntilDone(list_, state);
  SetInstallScope(InstallScope::Machine);
  EXPECT_TRUE(state.RebootPending);
  EXPECT_FALSE(IsPendingDeletion(doc));
  EXPECT_FALSE(Exists(L"a long name with blanks.txt.0.tmp"));
  ASSERT_EQ(changes.Lines().size(), 2u);  // the value set, then the report
  EXPECT_EQ(changes.Lines()[0].find(L"value-set|HKEY_CURRENT_USER" + std::wstring(kRunOnceKey) +
                                    L"|Vellox delete 2|-|REG_SZ:"),
            0u);
  EXPECT_EQ(changes.Lines()[1], L"delete-at-logon|" + doc + L"|Vellox delete 2|-|-|-");
  EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, kRunOnceKey + 1, L"Vellox delete 1"), L"earlier");
  std::wstring command = RegReadString(HKEY_CURRENT_USER, kRunOnceKey + 1, L"Vellox delete 2");
  EXPECT_LT(command.size(), 260u);

  held.reset();
  ASSERT_TRUE(RunAsAtLogon(command));
  EXPECT_FALSE(Exists(L"a long name with blanks.txt"));
}

// An installation folder named Vellox goes with the last of its files deleted at logon.
TEST_F(ListWalkTest, ALogonDeletionTakesTheEmptiedFolderNamedVellox) {
  RegistrySandbox registry;
  const std::wstring folder = scratch_.MakeFolder(L"Vellox");
  const std::wstring doc = scratch_.WriteFile(L"Vellox\\held.txt", "x");
  ASSERT_TRUE(DeleteAtLogon(doc.c_str(), folder.c_str()));
  ASSERT_TRUE(RunAsAtLogon(RegReadString(HKEY_CURRENT_USER, kRunOnceKey + 1, L"Vellox delete 1")));
  EXPECT_FALSE(PathExists(folder));
}
