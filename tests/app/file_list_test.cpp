#include "app/file_list.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/scratch_folder.h"

namespace {

// Opens a scratch file holding the bytes for reading, as the uninstaller opens its list.
FILE* OpenBytes(const ScratchFolder& scratch, const std::string& bytes) {
  std::wstring path = scratch.WriteFile(L"Uninstall.lst", bytes);
  return _wfopen(path.c_str(), L"rb");
}

std::string Trimmed(const char* text) {
  char line[kListLineBytes];
  snprintf(line, sizeof(line), "%s", text);
  TrimListLine(line);
  return line;
}

}  // namespace

TEST(TrimListLine, RemovesOnlyTrailingBlanksAndLineEnds) {
  EXPECT_EQ(Trimmed("a.txt \t\r\n"), "a.txt");
  EXPECT_EQ(Trimmed("a b.txt  "), "a b.txt");
  EXPECT_EQ(Trimmed("  lead.txt\r\n"), "  lead.txt");  // leading characters stay
  EXPECT_EQ(Trimmed(" \t \r\n"), "");
  EXPECT_EQ(Trimmed("x\r\r\n\n"), "x");
  EXPECT_EQ(Trimmed("x\v"), "x\v");  // only tab, LF, CR and space are removed
}

TEST(ReadListLine, SplitsLongLinesAt2047Bytes) {
  ScratchFolder scratch;
  std::string longLine(3000, 'a');
  FILE* f = OpenBytes(scratch, longLine + "\nb\n");
  ASSERT_NE(f, nullptr);
  char line[kListLineBytes];
  ASSERT_TRUE(ReadListLine(f, line));
  EXPECT_EQ(std::string(line), std::string(2047, 'a'));
  ASSERT_TRUE(ReadListLine(f, line));
  EXPECT_EQ(std::string(line), std::string(953, 'a') + "\n");
  ASSERT_TRUE(ReadListLine(f, line));
  EXPECT_EQ(std::string(line), "b\n");
  EXPECT_FALSE(ReadListLine(f, line));
  fclose(f);
}

TEST(ReadListLine, LastLineWithoutLineFeed) {
  ScratchFolder scratch;
  FILE* f = OpenBytes(scratch, "a\r\nlast");
  ASSERT_NE(f, nullptr);
  char line[kListLineBytes];
  ASSERT_TRUE(ReadListLine(f, line));
  EXPECT_STREQ(line, "a\r\n");
  ASSERT_TRUE(ReadListLine(f, line));
  EXPECT_STREQ(line, "last");
  EXPECT_FALSE(ReadListLine(f, line));
  fclose(f);
}

TEST(IsSafeListEntry, AcceptsPlainRelativePaths) {
  for (const wchar_t* entry :
       {L"uninstall.exe", L"sub\\file.txt", L"sub/file.txt", L"sub\\", L" lead", L"a..b", L"..name",
        L"name..", L"Formats\\x.fmt", L"CONSOLE.txt", L"com10", L"nul2.txt",
        L"\u00e9t\u00e9\\caf\u00e9.txt"}) {
    EXPECT_TRUE(IsSafeListEntry(entry)) << entry;
  }
}

TEST(IsSafeListEntry, RejectsWhatCouldLeaveTheFolder) {
  for (const wchar_t* entry : {
           L"",
           L"..",
           L"..\\other.exe",
           L"sub\\..\\..\\x",
           L"sub/../../x",
           L"sub\\..",
           L".",
           L".\\x",
           L"...\\x",
           L". .\\x",
           L"sub\\.. \\x",
           L"\\Windows\\notepad.exe",
           L"/etc/passwd",
           L"\\\\server\\share\\x",
           L"\\\\?\\C:\\Windows\\x",
           L"\\\\.\\PhysicalDrive0",
           L"C:\\Windows\\x",
           L"C:x",
           L"c:",
           L"file.txt:stream",
           L"file.txt::$DATA",
           L"NUL",
           L"sub\\con.txt",
           L"aux .txt",
           L"COM1",
           L"lpt9.log",
           L"CONIN$",
           L"*.dll",
           L"a?.dll",
           L"a<b",
           L"a\"b",
           L"a|b",
           L"a\tb",
       }) {
    EXPECT_FALSE(IsSafeListEntry(entry)) << entry;
  }
}

TEST(ListLineToPath, JoinsTrimmedEntryToFolder) {
  wchar_t path[kListPathCapacity];
  char line[kListLineBytes] = "sub\\file.txt \t\r\n";
  ASSERT_TRUE(ListLineToPath(line, L"C:\\Inst\\", path, kListPathCapacity));
  EXPECT_STREQ(path, L"C:\\Inst\\sub\\file.txt");
}

TEST(ListLineToPath, ConvertsFromTheAnsiCodePage) {
  // The list is read in the ANSI code page; this example is Windows-1252 (0xE9 is e acute).
  ASSERT_EQ(GetACP(), 1252u) << "run the tests in a Western European (or the C) locale";
  wchar_t path[kListPathCapacity];
  char line[kListLineBytes] = "caf\xe9.txt\r\n";
  ASSERT_TRUE(ListLineToPath(line, L"C:\\Inst\\", path, kListPathCapacity));
  EXPECT_STREQ(path, L"C:\\Inst\\caf\u00e9.txt");
}

TEST(ListLineToPath, SkipsBlankUnsafeAndOverlongLines) {
  wchar_t path[kListPathCapacity] = L"stale";
  char blank[kListLineBytes] = "   \r\n";
  EXPECT_FALSE(ListLineToPath(blank, L"C:\\Inst\\", path, kListPathCapacity));
  EXPECT_STREQ(path, L"");
  char parent[kListLineBytes] = "..\\x\r\n";
  EXPECT_FALSE(ListLineToPath(parent, L"C:\\Inst\\", path, kListPathCapacity));
  // 20 units of room: a folder of 8 and an entry of 11 fit with the terminator, 12 do not.
  char fits[kListLineBytes] = "abcdefghijk";
  EXPECT_TRUE(ListLineToPath(fits, L"C:\\Inst\\", path, 20));
  EXPECT_STREQ(path, L"C:\\Inst\\abcdefghijk");
  char tooLong[kListLineBytes] = "abcdefghijkl";
  EXPECT_FALSE(ListLineToPath(tooLong, L"C:\\Inst\\", path, 20));
  EXPECT_STREQ(path, L"");
}

TEST(UninstallList, LoadKeepsOrderAndDropsSkippedLines) {
  ScratchFolder scratch;
  FILE* f = OpenBytes(scratch,
                      "sub\r\n"
                      "\r\n"
                      "sub\\a.txt  \r\n"
                      "   \n"
                      "..\\outside.txt\n"
                      "C:\\Windows\\system.ini\n"
                      "b.txt\t");
  ASSERT_NE(f, nullptr);
  UninstallList list;
  ASSERT_EQ(list.Load(f, L"C:\\I\\"), 3u);
  EXPECT_STREQ(list.Path(0), L"C:\\I\\sub");
  EXPECT_STREQ(list.Path(1), L"C:\\I\\sub\\a.txt");
  EXPECT_STREQ(list.Path(2), L"C:\\I\\b.txt");
  EXPECT_FALSE(list.IsSettled(1));
  list.Settle(1);
  EXPECT_TRUE(list.IsSettled(1));
  EXPECT_FALSE(list.IsSettled(0));
  // A second load reads from the start again and forgets what was settled.
  ASSERT_EQ(list.Load(f, L"D:\\"), 3u);
  EXPECT_STREQ(list.Path(2), L"D:\\b.txt");
  EXPECT_FALSE(list.IsSettled(1));
  fclose(f);
}

TEST(UninstallList, HoldsManyEntries) {
  ScratchFolder scratch;
  std::string bytes;
  for (int i = 0; i < 5000; ++i)
    bytes += "folder\\file" + std::to_string(i) + ".dat\r\n";
  FILE* f = OpenBytes(scratch, bytes);
  ASSERT_NE(f, nullptr);
  UninstallList list;
  ASSERT_EQ(list.Load(f, L"C:\\I\\"), 5000u);
  EXPECT_STREQ(list.Path(0), L"C:\\I\\folder\\file0.dat");
  EXPECT_STREQ(list.Path(4999), L"C:\\I\\folder\\file4999.dat");
  fclose(f);
}
