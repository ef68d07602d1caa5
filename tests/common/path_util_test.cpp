#include "common/path_util.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "guarded_buffer.h"
#include "support/scratch_folder.h"

namespace {

// Reference: offset of the file-name part.
size_t NameOffsetModel(const std::wstring& path) {
  size_t sep = path.find_last_of(L"\\/");
  if (sep != std::wstring::npos)
    return sep + 1;
  if (path.size() >= 2 && path[1] == L':')
    return 2;
  return 0;
}

std::wstring JoinModel(const std::wstring& folder, const std::wstring& name, size_t capacity) {
  std::wstring joined = folder;
  wchar_t lower = folder.empty() ? 0 : static_cast<wchar_t>(folder[0] | 0x20);
  bool drivePrefix = folder.size() == 2 && lower >= L'a' && lower <= L'z' && folder[1] == L':';
  if (!folder.empty() && folder.back() != L'\\' && !drivePrefix)
    joined += L'\\';
  joined += name;
  joined = joined.substr(0, 2047);  // built in 2048 units of scratch space
  return joined.substr(0, capacity - 1);
}

// Makes a folder current for the lifetime of the object.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::wstring& path) {
    GetCurrentDirectoryW(MAX_PATH * 4, saved_);
    ok_ = SetCurrentDirectoryW(path.c_str()) != 0;
  }
  ~CurrentFolder() { SetCurrentDirectoryW(saved_); }
  bool ok() const { return ok_; }

 private:
  wchar_t saved_[MAX_PATH * 4];
  bool ok_;
};

std::wstring LongForm(const wchar_t* path, size_t capacity = 2048) {
  wchar_t dest[2048];
  if (!ToLongPathForm(path, dest, capacity))
    return L"<fail>";
  return dest;
}

}  // namespace

TEST(FileNamePart, FindsTheName) {
  const wchar_t* p = L"C:name";
  EXPECT_EQ(FileNamePart(p), p + 2);
  p = L"name";
  EXPECT_EQ(FileNamePart(p), p);
  p = L"dir\\";
  EXPECT_EQ(FileNamePart(p), p + 4);
  p = L"a/b\\c/d";
  EXPECT_EQ(FileNamePart(p), p + 6);
  p = L"";
  EXPECT_EQ(FileNamePart(p), p);
  wchar_t mutableText[] = L"C:\\x\\y.txt";
  EXPECT_EQ(FileNamePart(mutableText), mutableText + 5);
}

TEST(CutFileName, KeepsRoots) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"C:\\name", L"C:\\"},
      {L"\\\\srv\\share\\x", L"\\\\srv\\share"},
      {L"\\x", L"\\"},
      {L"C:\\dir\\x", L"C:\\dir"},
      {L"a\\b", L"a"},
      {L"C:x", L"C:"},
      {L"x", L""},
      {L"C:/dir/x", L"C:/dir"},
      {L"dir\\", L"dir"},
      {L"", L""},
      {L"1:x", L"1:"},  // not a drive, but the colon is no separator to cut
  };
  for (const Case& c : cases) {
    wchar_t buf[64];
    wcscpy(buf, c.in);
    CutFileName(buf);
    EXPECT_STREQ(buf, c.out) << c.in;
  }
}

TEST(JoinPath, InsertsSeparatorOnlyWhereNeeded) {
  wchar_t buf[64];
  JoinPath(L"C:", L"x", buf, 64);
  EXPECT_STREQ(buf, L"C:x");
  JoinPath(L"C:\\", L"x", buf, 64);
  EXPECT_STREQ(buf, L"C:\\x");
  JoinPath(L"C:\\a", L"x", buf, 64);
  EXPECT_STREQ(buf, L"C:\\a\\x");
  JoinPath(L"", L"x", buf, 64);
  EXPECT_STREQ(buf, L"x");
  // The destination may be the folder buffer itself.
  wcscpy(buf, L"C:\\dir");
  JoinPath(buf, L"file.txt", buf, 64);
  EXPECT_STREQ(buf, L"C:\\dir\\file.txt");
  JoinPath(L"C:\\dir", L"file.txt", buf, 8);
  EXPECT_STREQ(buf, L"C:\\dir\\");
}

TEST(JoinPath, RandomInputsMatchModelAndKeepGuards) {
  std::mt19937 rng(42);
  for (int round = 0; round < 4000; ++round) {
    std::wstring folder = RandomWide(rng, 12);
    if (round % 7 == 0)
      folder = L"C:";
    std::wstring name = RandomWide(rng, 12);
    size_t capacity = RandomSize(rng, 0, 30);
    GuardedBuffer<wchar_t> dest(capacity);
    JoinPath(folder.c_str(), name.c_str(), dest.Data(), capacity);
    ASSERT_TRUE(dest.GuardsIntact()) << round;
    if (capacity != 0) {
      ASSERT_EQ(dest.Text(), JoinModel(folder, name, capacity)) << round;
    }
  }
  // Texts longer than the scratch space are cut at 2047 units.
  std::wstring longFolder(3000, L'f');
  std::wstring big(4000, L'?');
  JoinPath(longFolder.c_str(), L"x", &big[0], 4000);
  EXPECT_EQ(std::wstring(big.c_str()), std::wstring(2047, L'f'));
}

TEST(ReplaceFileName, RandomInputsMatchModelAndKeepGuards) {
  std::mt19937 rng(43);
  for (int round = 0; round < 4000; ++round) {
    size_t capacity = RandomSize(rng, 1, 30);
    std::wstring path = RandomWide(rng, capacity - 1);
    std::wstring name = RandomWide(rng, 15);
    GuardedBuffer<wchar_t> dest(capacity);
    dest.Set(path);
    ReplaceFileName(dest.Data(), name.c_str(), capacity);
    ASSERT_TRUE(dest.GuardsIntact()) << round;
    size_t offset = NameOffsetModel(path);
    std::wstring expected = path.substr(0, offset) + name.substr(0, capacity - offset - 1);
    ASSERT_EQ(dest.Text(), expected) << round;
  }
  wchar_t buf[32] = L"C:\\g\\*";
  ReplaceFileName(buf, L"a.lnk", 32);
  EXPECT_STREQ(buf, L"C:\\g\\a.lnk");
}

TEST(FolderOfPath, RandomInputsMatchModelAndKeepGuards) {
  wchar_t buf[32];
  FolderOfPath(L"C:\\dir\\x", buf, 32);
  EXPECT_STREQ(buf, L"C:\\dir\\");
  FolderOfPath(L"x", buf, 32);
  EXPECT_STREQ(buf, L"");
  std::mt19937 rng(44);
  for (int round = 0; round < 4000; ++round) {
    std::wstring path = RandomWide(rng, 30);
    size_t capacity = RandomSize(rng, 0, 32);
    GuardedBuffer<wchar_t> dest(capacity);
    FolderOfPath(path.c_str(), dest.Data(), capacity);
    ASSERT_TRUE(dest.GuardsIntact()) << round;
    if (capacity != 0) {
      ASSERT_EQ(dest.Text(), path.substr(0, NameOffsetModel(path)).substr(0, capacity - 1));
    }
  }
}

TEST(EnsureTrailingBackslash, RandomInputsMatchModelAndKeepGuards) {
  wchar_t buf[8] = L"a/";
  EXPECT_EQ(EnsureTrailingBackslash(buf, 8), 2u);
  EXPECT_STREQ(buf, L"a/\\");
  std::mt19937 rng(45);
  for (int round = 0; round < 4000; ++round) {
    size_t capacity = RandomSize(rng, 1, 20);
    std::wstring path = RandomWide(rng, capacity - 1);
    GuardedBuffer<wchar_t> dest(capacity);
    dest.Set(path);
    ASSERT_EQ(EnsureTrailingBackslash(dest.Data(), capacity), path.size());
    ASSERT_TRUE(dest.GuardsIntact()) << round;
    std::wstring expected = path;
    if (!path.empty() && path.back() != L'\\' && path.size() + 1 < capacity)
      expected += L'\\';
    ASSERT_EQ(dest.Text(), expected) << round;
  }
}

TEST(PathTests, LastCharDriveAbsoluteWildcards) {
  const wchar_t* p = L"abc";
  EXPECT_EQ(LastChar(p), p + 2);
  p = L"";
  EXPECT_EQ(LastChar(p), p);

  EXPECT_TRUE(HasDriveLetter(L"c:"));
  EXPECT_TRUE(HasDriveLetter(L"Z:\\"));
  EXPECT_FALSE(HasDriveLetter(L"1:"));
  EXPECT_FALSE(HasDriveLetter(L"\u00e9:"));
  EXPECT_FALSE(HasDriveLetter(L"c"));

  EXPECT_TRUE(IsAbsolutePath(L"C:\\x"));
  EXPECT_TRUE(IsAbsolutePath(L"C:/x"));
  EXPECT_TRUE(IsAbsolutePath(L"\\\\srv\\share"));
  EXPECT_FALSE(IsAbsolutePath(L"C:x"));
  EXPECT_FALSE(IsAbsolutePath(L"\\x"));
  EXPECT_FALSE(IsAbsolutePath(L"x"));

  EXPECT_FALSE(HasWildcards(nullptr));
  EXPECT_FALSE(HasWildcards(L"\\\\?\\C:\\x"));
  EXPECT_TRUE(HasWildcards(L"\\\\?\\C:\\x?"));
  EXPECT_TRUE(HasWildcards(L"C:\\x\\*.txt"));
  EXPECT_TRUE(HasWildcards(L"a?b"));
  EXPECT_FALSE(HasWildcards(L"C:\\plain"));
}

TEST(ToLongPathForm, AbsoluteAndNetworkPaths) {
  EXPECT_EQ(LongForm(L"C:\\dir\\x"), L"\\\\?\\C:\\dir\\x");
  EXPECT_EQ(LongForm(L"C:/dir/x"), L"\\\\?\\C:\\dir\\x");  // the \\?\ form needs backslashes
  EXPECT_EQ(LongForm(L"\\\\srv\\share\\x"), L"\\\\?\\UNC\\srv\\share\\x");
  EXPECT_EQ(LongForm(L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");  // already long
  EXPECT_EQ(LongForm(L""), L"<fail>");
  EXPECT_EQ(LongForm(nullptr), L"<fail>");
  // Capacity: the result and its terminator must fit.
  EXPECT_EQ(LongForm(L"C:\\ab", 10), L"\\\\?\\C:\\ab");
  EXPECT_EQ(LongForm(L"C:\\abc", 10), L"<fail>");
  EXPECT_EQ(LongForm(L"\\\\s\\t", 12), L"\\\\?\\UNC\\s\\t");
  EXPECT_EQ(LongForm(L"\\\\s\\tt", 12), L"<fail>");
  EXPECT_EQ(LongForm(L"C:\\abc", 0), L"<fail>");
}

TEST(ToLongPathForm, RelativePathsUseTheCurrentFolder) {
  ScratchFolder scratch;
  CurrentFolder current(scratch.Path());
  ASSERT_TRUE(current.ok());
  wchar_t cur[2048];
  GetCurrentDirectoryW(2048, cur);
  std::wstring base = cur;
  if (base.back() != L'\\')
    base += L'\\';

  EXPECT_EQ(LongForm(L".\\a"), L"\\\\?\\" + base + L"a");
  EXPECT_EQ(LongForm(L"./a"), L"\\\\?\\" + base + L"a");
  EXPECT_EQ(LongForm(L".a"), L"\\\\?\\" + base + L".a");
  EXPECT_EQ(LongForm(L"a\\b"), L"\\\\?\\" + base + L"a\\b");
  std::wstring drive = base.substr(0, 2);
  EXPECT_EQ(LongForm(L"\\a"), L"\\\\?\\" + drive + L"\\a");
  EXPECT_EQ(LongForm(L"/a"), L"\\\\?\\" + drive + L"\\a");
  // A drive-relative name resolves against that drive's current folder.
  std::wstring driveRelative = drive + L"a";
  EXPECT_EQ(LongForm(driveRelative.c_str()), L"\\\\?\\" + base + L"a");

  // Exactly fitting and one unit short.
  size_t need = 4 + base.size() + 1;
  EXPECT_EQ(LongForm(L"a", need + 1), L"\\\\?\\" + base + L"a");
  EXPECT_EQ(LongForm(L"a", need), L"<fail>");
}

TEST(ToLongPathForm, NeverWritesPastCapacity) {
  std::mt19937 rng(46);
  for (int round = 0; round < 3000; ++round) {
    std::wstring path = RandomWide(rng, 20);
    if (round % 3 == 0)
      path = L"C:\\" + path;
    if (round % 3 == 1)
      path = L"\\\\" + path;
    size_t capacity = RandomSize(rng, 0, 40);
    GuardedBuffer<wchar_t> dest(capacity);
    bool ok = ToLongPathForm(path.c_str(), dest.Data(), capacity);
    ASSERT_TRUE(dest.GuardsIntact()) << round;
    if (ok) {
      bool terminated = false;
      std::wstring text = dest.Text(&terminated);
      ASSERT_TRUE(terminated);
      // \\?\ in front, unless the path already was in a \\?\ or \\.\ form and went through as
      // it was; every '/' written as '\'.
      bool passedThrough = text == path && (text.compare(0, 4, L"\\\\.\\") == 0 ||
                                            text.compare(0, 4, L"\\\\?\\") == 0);
      if (!passedThrough) {
        ASSERT_EQ(text.compare(0, 4, L"\\\\?\\"), 0) << round;
        ASSERT_EQ(text.find(L'/'), std::wstring::npos) << round;
      }
    }
  }
}
