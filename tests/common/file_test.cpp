#include "common/file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/error_handler.h"
#include "common/win_handles.h"
#include "support/error_state.h"
#include "support/scratch_folder.h"

namespace {

std::wstring LongForm(const std::wstring& path) {
  return L"\\\\?\\" + path;
}

// Names the system lists in folder (exactly as stored, trailing dots included).
bool FolderLists(const std::wstring& folder, const std::wstring& name) {
  WIN32_FIND_DATAW fd;
  UniqueFindHandle find(FindFirstFileW(LongForm(folder + L"\\*").c_str(), &fd));
  if (!find)
    return false;
  do {
    if (name == fd.cFileName)
      return true;
  } while (FindNextFileW(find.get(), &fd));
  return false;
}

class FileTest : public testing::Test {
 protected:
  ScratchFolder scratch_;

 private:
  CleanErrorState errors_;
};

// A folder path of more than 300 characters inside the scratch folder, created through the
// \\?\ form, with its folders removed again in the destructor.
class DeepFolder {
 public:
  explicit DeepFolder(const std::wstring& base) {
    std::wstring path = base;
    for (int i = 0; i < 6; ++i) {
      path += L"\\" + std::wstring(50, static_cast<wchar_t>(L'a' + i));
      CreateDirectoryW(LongForm(path).c_str(), nullptr);
      levels_.push_back(path);
    }
  }
  ~DeepFolder() {
    for (auto it = levels_.rbegin(); it != levels_.rend(); ++it) {
      RemoveDirectoryW(LongForm(*it).c_str());
    }
  }
  const std::wstring& Path() const { return levels_.back(); }

 private:
  std::vector<std::wstring> levels_;
};

}  // namespace

TEST_F(FileTest, CreateWriteCloseOpenRead) {
  std::wstring name = scratch_.Join(L"data.bin");
  {
    File file;
    ASSERT_TRUE(file.Create(name.c_str(), 0));
    EXPECT_TRUE(file.IsOpened());
    EXPECT_STREQ(file.Name(), name.c_str());
    EXPECT_TRUE(file.Write("hello world", 11));
    EXPECT_EQ(file.Tell(), 11u);
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpened());
    EXPECT_TRUE(file.Close());  // closing a closed file
  }
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(name, bytes));
  EXPECT_EQ(bytes, "hello world");

  File file;
  ASSERT_TRUE(file.Open(name.c_str(), 0));
  char buf[32] = {};
  EXPECT_EQ(file.Read(buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  file.Seek(0x100000005ull);  // both halves of the offset reach the system
  EXPECT_EQ(file.Tell(), 0x100000005ull);
  file.Seek(6);
  EXPECT_EQ(file.Tell(), 6u);
  EXPECT_EQ(file.Read(buf, sizeof(buf)), 5);  // fewer than asked: the end of the file
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(file.Read(buf, sizeof(buf)), 0);
  EXPECT_EQ(Errors().ErrorCount, 0u);
}

TEST_F(FileTest, OpenMissingFileFailsQuietly) {
  File file;
  EXPECT_FALSE(file.Open(scratch_.Join(L"missing.txt").c_str(), 0));
  EXPECT_FALSE(file.IsOpened());
  EXPECT_EQ(Errors().ErrorCount, 0u);
  file.Seek(5);  // a closed file is left alone
  EXPECT_EQ(Errors().ErrorCount, 0u);
}

TEST_F(FileTest, CreateReplacesExistingFile) {
  std::wstring name = scratch_.WriteFile(L"old.txt", "a much longer old content");
  File file;
  ASSERT_TRUE(file.Create(name.c_str(), 0));
  ASSERT_TRUE(file.Write("new", 3));
  ASSERT_TRUE(file.Close());
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(name, bytes));
  EXPECT_EQ(bytes, "new");
}

TEST_F(FileTest, UnclosedCreatedFileIsDeletedClosedOneStays) {
  std::wstring dropped = scratch_.Join(L"half.txt");
  std::wstring kept = scratch_.Join(L"done.txt");
  {
    File file;
    ASSERT_TRUE(file.Create(dropped.c_str(), 0));
    ASSERT_TRUE(file.Write("half", 4));
  }
  EXPECT_FALSE(PathExists(dropped));
  {
    File file;
    ASSERT_TRUE(file.Create(kept.c_str(), 0));
    ASSERT_TRUE(file.Write("done", 4));
    ASSERT_TRUE(file.Close());
  }
  EXPECT_TRUE(PathExists(kept));
  {
    File file;  // an opened file is only closed
    ASSERT_TRUE(file.Open(kept.c_str(), 0));
  }
  EXPECT_TRUE(PathExists(kept));
  {
    // Open after Create clears the created flag: the opened file is not deleted.
    File file;
    ASSERT_TRUE(file.Create(dropped.c_str(), 0));
    ASSERT_TRUE(file.Open(kept.c_str(), 0));
  }
  EXPECT_TRUE(PathExists(kept));
}

TEST_F(FileTest, NameEndingInDotKeepsTheDot) {
  std::wstring plain = scratch_.WriteFile(L"report", "other file");
  std::wstring dotted = scratch_.Join(L"report.");
  {
    File file;
    ASSERT_TRUE(file.Create(dotted.c_str(), 0));
    ASSERT_TRUE(file.Write("dotted", 6));
    ASSERT_TRUE(file.Close());
  }
  EXPECT_TRUE(FolderLists(scratch_.Path(), L"report."));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(plain, bytes));
  EXPECT_EQ(bytes, "other file");  // the file without the dot was not touched
  ASSERT_TRUE(ReadWholeFile(LongForm(dotted), bytes));
  EXPECT_EQ(bytes, "dotted");

  // An unfinished "name." is deleted through the long form; "name" survives.
  {
    File file;
    ASSERT_TRUE(file.Create(dotted.c_str(), 0));
  }
  EXPECT_FALSE(FolderLists(scratch_.Path(), L"report."));
  EXPECT_TRUE(PathExists(plain));

  std::wstring blank = scratch_.Join(L"blank ");
  {
    File file;
    ASSERT_TRUE(file.Create(blank.c_str(), 0));
    ASSERT_TRUE(file.Close());
  }
  EXPECT_TRUE(FolderLists(scratch_.Path(), L"blank "));
  EXPECT_TRUE(RemoveFile(LongForm(blank).c_str()));
}

// The system drops a trailing dot from a plain name, so "memo." is reachable only through the
// long-path retry: this runs the retry of every name-based operation for real.
TEST_F(FileTest, LongPathRetryReachesWhatThePlainNameCannot) {
  std::wstring dotted = scratch_.Join(L"memo.");
  {
    File file;
    ASSERT_TRUE(file.Create(dotted.c_str(), 0));
    ASSERT_TRUE(file.Write("memo", 4));
    ASSERT_TRUE(file.Close());
  }
  ASSERT_EQ(GetFileAttributesW(dotted.c_str()), INVALID_FILE_ATTRIBUTES);  // plain call fails
  EXPECT_TRUE(FileExists(dotted.c_str()));
  EXPECT_FALSE(IsDirectoryAttr(GetFileAttr(dotted.c_str())));
  {
    File file;
    ASSERT_TRUE(file.Open(dotted.c_str(), 0));
    EXPECT_STREQ(file.Name(), dotted.c_str());  // the name as given, not its long form
    char buf[8];
    EXPECT_EQ(file.Read(buf, sizeof(buf)), 4);
  }
  {
    UniqueStdioFile stream(OpenStream(dotted.c_str(), L"rb"));
    ASSERT_TRUE(stream.valid());
    EXPECT_EQ(fgetc(stream.get()), 'm');
  }
  ASSERT_FALSE(DeleteFileW(dotted.c_str()));
  EXPECT_TRUE(RemoveFile(dotted.c_str()));
  EXPECT_FALSE(FolderLists(scratch_.Path(), L"memo."));
}

TEST_F(FileTest, LongPathOpensReadsExistsAndDeletes) {
  DeepFolder deep(scratch_.Path());
  std::wstring name = deep.Path() + L"\\long-file.txt";
  ASSERT_GT(name.size(), 300u);
  {
    File file;
    ASSERT_TRUE(file.Create(name.c_str(), 0));
    ASSERT_TRUE(file.Write("deep", 4));
    ASSERT_TRUE(file.Close());
  }
  EXPECT_TRUE(FileExists(name.c_str()));
  EXPECT_TRUE(IsDirectoryAttr(GetFileAttr(deep.Path().c_str())));
  {
    File file;
    ASSERT_TRUE(file.Open(name.c_str(), 0));
    char buf[8];
    EXPECT_EQ(file.Read(buf, sizeof(buf)), 4);
    EXPECT_EQ(std::string(buf, 4), "deep");
  }
  EXPECT_TRUE(RemoveFile(name.c_str()));
  EXPECT_FALSE(FileExists(name.c_str()));
  EXPECT_FALSE(RemoveFile(name.c_str()));
}

TEST_F(FileTest, ReadErrorStopsReadingUntilNextOpen) {
  std::wstring name = scratch_.WriteFile(L"r.bin", std::string(100, 'r'));
  File file;
  ASSERT_TRUE(file.Open(name.c_str(), 0));
  // The system cannot store into a read-only page: ReadFile fails with ERROR_NOACCESS.
  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(file.Read(page, 10), 0);
  EXPECT_EQ(Errors().ErrorCount, 1u);
  EXPECT_EQ(Errors().ExitCode, VLX_EXIT_READ);
  char buf[16];
  EXPECT_EQ(file.Read(buf, sizeof(buf)), 0);  // stopped, although data is there
  EXPECT_EQ(file.Read(buf, sizeof(buf)), 0);
  EXPECT_EQ(Errors().ErrorCount, 1u);  // a stopped file does not ask again
  VirtualFree(page, 0, MEM_RELEASE);

  EXPECT_FALSE(file.Open(scratch_.Join(L"missing").c_str(), 0));
  EXPECT_EQ(file.Read(buf, sizeof(buf)), 0);  // a failed Open does not clear the stop
  ASSERT_TRUE(file.Open(name.c_str(), 0));
  EXPECT_EQ(file.Read(buf, sizeof(buf)), 16);
}

TEST_F(FileTest, ReadErrorOnBrokenPipe) {
  const wchar_t* pipeName = L"\\\\.\\pipe\\vlx-file-test-pipe";
  UniqueFileHandle server(
      CreateNamedPipeW(pipeName, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr));
  ASSERT_TRUE(server.valid());
  File file;
  ASSERT_TRUE(file.Open(pipeName, 0));
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(server.get(), "abc", 3, &written, nullptr));
  char buf[8];
  EXPECT_EQ(file.Read(buf, 3), 3);
  server.reset();  // the writer goes away: the next read fails
  EXPECT_EQ(file.Read(buf, sizeof(buf)), 0);
  EXPECT_EQ(Errors().ErrorCount, 1u);
  EXPECT_EQ(Errors().ExitCode, VLX_EXIT_READ);
}

TEST_F(FileTest, WriteOfNothingSucceedsWithoutSystemCall) {
  File file;  // no handle: any WriteFile call would fail
  EXPECT_TRUE(file.Write(nullptr, 0));
  EXPECT_TRUE(file.Write("x", 0));
}

TEST_F(FileTest, WriteFailureReturnsFalse) {
  std::wstring name = scratch_.WriteFile(L"ro.txt", "read only");
  File file;
  ASSERT_TRUE(file.Open(name.c_str(), 0));  // opened for reading only
  EXPECT_FALSE(file.Write("x", 1));
  EXPECT_EQ(Errors().ErrorCount, 0u);  // write errors are reported, not counted
  File closed;
  EXPECT_FALSE(closed.Write("x", 1));
}

TEST_F(FileTest, ShareModes) {
  std::wstring name = scratch_.Join(L"shared.txt");
  {
    File writer;
    ASSERT_TRUE(writer.Create(name.c_str(), 0));
    File reader;
    EXPECT_FALSE(reader.Open(name.c_str(), File::kOpenShareWrite));  // denied to all
  }
  File writer;
  ASSERT_TRUE(writer.Create(name.c_str(), File::kCreateShareRead));
  ASSERT_TRUE(writer.Write("abc", 3));
  File reader;
  EXPECT_FALSE(reader.Open(name.c_str(), 0));  // the writer has write access
  ASSERT_TRUE(reader.Open(name.c_str(), File::kOpenShareWrite));
  char buf[4];
  EXPECT_EQ(reader.Read(buf, sizeof(buf)), 3);
  ASSERT_TRUE(writer.Close());
}

TEST_F(FileTest, AttributesAndExistence) {
  EXPECT_TRUE(FileExists(scratch_.Path().c_str()));  // folders count
  EXPECT_TRUE(IsDirectoryAttr(GetFileAttr(scratch_.Path().c_str())));
  std::wstring name = scratch_.WriteFile(L"f.txt", "f");
  EXPECT_TRUE(FileExists(name.c_str()));
  EXPECT_FALSE(IsDirectoryAttr(GetFileAttr(name.c_str())));
  EXPECT_FALSE(FileExists(scratch_.Join(L"nope").c_str()));
  EXPECT_EQ(GetFileAttr(scratch_.Join(L"nope").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(IsDirectoryAttr(INVALID_FILE_ATTRIBUTES));
  EXPECT_TRUE(IsReparsePointAttr(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_FALSE(IsReparsePointAttr(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_TRUE(RemoveFile(name.c_str()));
  EXPECT_FALSE(FileExists(name.c_str()));
}

TEST_F(FileTest, OpenStreamDeniesNobody) {
  std::wstring name = scratch_.Join(L"list.txt");
  UniqueStdioFile out(OpenStream(name.c_str(), L"wb"));
  ASSERT_TRUE(out.valid());
  ASSERT_GE(fputs("line\n", out.get()), 0);
  fflush(out.get());
  File reader;  // another party may read and write while the stream is open
  ASSERT_TRUE(reader.Open(name.c_str(), File::kOpenShareWrite));
  char buf[8];
  EXPECT_EQ(reader.Read(buf, sizeof(buf)), 5);
  out.reset();
  UniqueStdioFile in(OpenStream(name.c_str(), L"rb"));
  ASSERT_TRUE(in.valid());
  EXPECT_EQ(fgetc(in.get()), 'l');
  EXPECT_EQ(OpenStream(scratch_.Join(L"missing").c_str(), L"rb"), nullptr);
}

TEST_F(FileTest, OpenStreamKeepsTrailingDot) {
  std::wstring plain = scratch_.WriteFile(L"script", "plain");
  std::wstring dotted = scratch_.Join(L"script.");
  {
    UniqueStdioFile out(OpenStream(dotted.c_str(), L"wb"));
    ASSERT_TRUE(out.valid());
    ASSERT_GE(fputs("dotted", out.get()), 0);
  }
  EXPECT_TRUE(FolderLists(scratch_.Path(), L"script."));
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(plain, bytes));
  EXPECT_EQ(bytes, "plain");
  UniqueStdioFile in(OpenStream(dotted.c_str(), L"rb"));
  ASSERT_TRUE(in.valid());
  EXPECT_EQ(fgetc(in.get()), 'd');
  in.reset();
  EXPECT_TRUE(RemoveFile(LongForm(dotted).c_str()));
}

TEST_F(FileTest, FreeDiskSpaceMatchesTheSystem) {
  std::wstring name = scratch_.Join(L"any.txt");
  ULARGE_INTEGER available, total, totalFree;
  ASSERT_TRUE(
      GetDiskFreeSpaceExW((scratch_.Path() + L"\\").c_str(), &available, &total, &totalFree));
  uint64_t ours = GetFreeDiskSpace(name.c_str());
  EXPECT_GT(ours, 0u);
  // Other processes write too: allow some drift between the two queries.
  uint64_t drift =
      ours > available.QuadPart ? ours - available.QuadPart : available.QuadPart - ours;
  EXPECT_LT(drift, 512u * 1024 * 1024);
  EXPECT_GT(GetFreeDiskSpace(L"bare-name.txt"), 0u);  // the current drive
  DeepFolder deep(scratch_.Path());
  EXPECT_GT(GetFreeDiskSpace((deep.Path() + L"\\x.txt").c_str()), 0u);
  EXPECT_EQ(GetFreeDiskSpace(scratch_.Join(L"missing\\x.txt").c_str()), 0u);
}
