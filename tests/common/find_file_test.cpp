#include "common/find_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

namespace {

std::vector<std::wstring> AllNames(const std::wstring& mask) {
  std::vector<std::wstring> names;
  FindFile find;
  find.SetMask(mask.c_str());
  FindData data;
  while (find.Next(data))
    names.push_back(data.Name);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(FindFile, ListsEntriesWithTheMaskFolder) {
  ScratchFolder scratch;
  scratch.WriteFile(L"a.lnk", "12345");
  scratch.WriteFile(L"b.txt", "");
  scratch.MakeFolder(L"sub");
  std::vector<std::wstring> names = AllNames(scratch.Join(L"*"));
  EXPECT_EQ(names, (std::vector<std::wstring>{scratch.Join(L"a.lnk"), scratch.Join(L"b.txt"),
                                              scratch.Join(L"sub")}));
  EXPECT_EQ(AllNames(scratch.Join(L"*.lnk")), std::vector<std::wstring>{scratch.Join(L"a.lnk")});

  FindFile find;
  find.SetMask(scratch.Join(L"*").c_str());
  FindData data;
  int seen = 0;
  while (find.Next(data)) {
    ++seen;
    std::wstring name = data.Name;
    if (name == scratch.Join(L"a.lnk")) {
      EXPECT_EQ(data.Size, 5u);
      EXPECT_FALSE(data.IsDirectory);
    } else if (name == scratch.Join(L"sub")) {
      EXPECT_TRUE(data.IsDirectory);
      EXPECT_TRUE((data.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    EXPECT_FALSE(data.IsReparsePoint);
  }
  EXPECT_EQ(seen, 3);
  EXPECT_FALSE(find.Next(data));  // stays at the end
}

TEST(FindFile, ForwardSlashMaskKeepsItsFolderPart) {
  ScratchFolder scratch;
  scratch.WriteFile(L"x.txt", "x");
  std::wstring mask = scratch.Path() + L"/*.txt";
  EXPECT_EQ(AllNames(mask), std::vector<std::wstring>{scratch.Path() + L"/x.txt"});
}

TEST(FindFile, OnlyDotEntriesYieldNothing) {
  ScratchFolder scratch;
  EXPECT_TRUE(AllNames(scratch.Join(L"*")).empty());
}

TEST(FindFile, MissingFolderAndEmptyMask) {
  ScratchFolder scratch;
  EXPECT_TRUE(AllNames(scratch.Join(L"missing\\*")).empty());
  FindFile find;
  FindData data;
  EXPECT_FALSE(find.Next(data));  // no mask at all
  find.SetMask(L"");
  EXPECT_FALSE(find.Next(data));
}

TEST(FindFile, NewMaskStartsANewSearch) {
  ScratchFolder scratch;
  scratch.WriteFile(L"one\\1.txt", "1");
  scratch.WriteFile(L"one\\2.txt", "2");
  scratch.WriteFile(L"two\\3.txt", "3");
  FindFile find;
  FindData data;
  find.SetMask(scratch.Join(L"one\\*").c_str());
  ASSERT_TRUE(find.Next(data));
  find.SetMask(scratch.Join(L"two\\*").c_str());
  ASSERT_TRUE(find.Next(data));
  EXPECT_EQ(std::wstring(data.Name), scratch.Join(L"two\\3.txt"));
  EXPECT_FALSE(find.Next(data));
}

TEST(FindFile, LongMaskKeepsPlainFolderPart) {
  ScratchFolder scratch;
  std::wstring deep = scratch.Path();
  std::vector<std::wstring> levels;
  for (int i = 0; i < 6; ++i) {
    deep += L"\\" + std::wstring(50, static_cast<wchar_t>(L'k' + i));
    CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr);
    levels.push_back(deep);
  }
  std::wstring file = deep + L"\\entry.dat";
  HANDLE h = CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  ASSERT_GT(file.size(), 300u);
  EXPECT_EQ(AllNames(deep + L"\\*"), std::vector<std::wstring>{file});
  FindData data;
  EXPECT_TRUE(FindOneFile(file.c_str(), data));
  EXPECT_EQ(std::wstring(data.Name), file);
  DeleteFileW((L"\\\\?\\" + file).c_str());
  for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
    RemoveDirectoryW((L"\\\\?\\" + *it).c_str());
  }
}

TEST(FindOneFile, FillsRecordForOneName) {
  ScratchFolder scratch;
  std::wstring name = scratch.WriteFile(L"template.dat", std::string(1234, 't'));
  FindData data;
  ASSERT_TRUE(FindOneFile(name.c_str(), data));
  EXPECT_EQ(std::wstring(data.Name), name);
  EXPECT_EQ(data.Size, 1234u);
  EXPECT_FALSE(data.IsDirectory);
  ASSERT_TRUE(FindOneFile(scratch.Path().c_str(), data));
  EXPECT_TRUE(data.IsDirectory);
  EXPECT_EQ(std::wstring(data.Name), scratch.Path());
  EXPECT_FALSE(FindOneFile(scratch.Join(L"missing.dat").c_str(), data));
  EXPECT_FALSE(FindOneFile(L"", data));
  EXPECT_FALSE(FindOneFile(nullptr, data));
}

TEST(FindOneFile, NameEndingInDotIsFoundThroughTheLongForm) {
  ScratchFolder scratch;
  std::wstring dotted = scratch.Join(L"note.");
  HANDLE h = CreateFileW((L"\\\\?\\" + dotted).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  FindData data;
  ASSERT_TRUE(FindOneFile(dotted.c_str(), data));
  EXPECT_EQ(std::wstring(data.Name), dotted);
  DeleteFileW((L"\\\\?\\" + dotted).c_str());
}

TEST(FindOneFile, WildcardsAreRefusedWithoutSearching) {
  ScratchFolder scratch;
  scratch.WriteFile(L"a.txt", "a");
  FindData data;
  data.Name[0] = L'#';
  data.Name[1] = 0;
  // A search would find a.txt; the name with wildcards is refused before any search.
  EXPECT_FALSE(FindOneFile(scratch.Join(L"*.txt").c_str(), data));
  EXPECT_FALSE(FindOneFile(scratch.Join(L"a.tx?").c_str(), data));
  EXPECT_STREQ(data.Name, L"#");
}
