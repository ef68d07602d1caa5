#include "common/remove_folder_tree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "common/win_handles.h"
#include "support/scratch_folder.h"

TEST(RemoveFolderTree, DeletesTheWholeTreeWithReadOnlyFiles) {
  ScratchFolder scratch;
  scratch.WriteFile(L"data\\EBWebView\\Default\\Cache\\f_000001", "cache");
  std::wstring ro = scratch.WriteFile(L"data\\EBWebView\\Local State", "state");
  scratch.MakeFolder(L"data\\empty\\deeper");
  ASSERT_TRUE(SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(SetFileAttributesW(scratch.Join(L"data\\empty").c_str(), FILE_ATTRIBUTE_READONLY));
  RemoveFolderTree(scratch.Join(L"data").c_str());
  EXPECT_FALSE(PathExists(scratch.Join(L"data")));
  EXPECT_TRUE(PathExists(scratch.Path()));
}

TEST(RemoveFolderTree, LeavesFilesAndMissingPathsAlone) {
  ScratchFolder scratch;
  std::wstring file = scratch.WriteFile(L"not-a-folder", "x");
  RemoveFolderTree(file.c_str());
  EXPECT_TRUE(PathExists(file));
  RemoveFolderTree(scratch.Join(L"missing").c_str());
  EXPECT_TRUE(PathExists(scratch.Path()));
}

TEST(RemoveFolderTree, KeepsWhatIsInUseAndTheFoldersAroundIt) {
  ScratchFolder scratch;
  std::wstring used = scratch.WriteFile(L"data\\a\\used.bin", "x");
  scratch.WriteFile(L"data\\a\\free.bin", "y");
  scratch.WriteFile(L"data\\b\\free.bin", "z");
  UniqueFileHandle held(
      CreateFileW(used.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  RemoveFolderTree(scratch.Join(L"data").c_str());
  EXPECT_TRUE(PathExists(used));
  EXPECT_FALSE(PathExists(scratch.Join(L"data\\a\\free.bin")));
  EXPECT_FALSE(PathExists(scratch.Join(L"data\\b")));
}

TEST(RemoveReparsePointItself, RefusesWhatIsNotALink) {
  ScratchFolder scratch;
  std::wstring folder = scratch.MakeFolder(L"plain");
  std::wstring file = scratch.WriteFile(L"plain.txt", "x");
  EXPECT_FALSE(RemoveReparsePointItself(folder.c_str()));
  EXPECT_FALSE(RemoveReparsePointItself(file.c_str()));
  EXPECT_FALSE(RemoveReparsePointItself(scratch.Join(L"missing").c_str()));
  EXPECT_TRUE(PathExists(folder));
  EXPECT_TRUE(PathExists(file));
}
