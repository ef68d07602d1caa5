#include "settings/text_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/error_handler.h"
#include "settings_test_env.h"
#include "support/error_state.h"
#include "support/scratch_folder.h"
#include "support/utf16_bytes.h"

namespace {

TextEncoding Detect(const std::string& bytes) {
  return DetectTextEncoding(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(DetectTextEncoding, RecognisesMarksAndFallsBackToAnsi) {
  EXPECT_EQ(Detect("\xEF\xBB\xBF"
                   "a"),
            kTextUtf8);
  EXPECT_EQ(Detect("\xEF\xBB\xBF"), kTextAnsi);  // the mark alone: too short
  EXPECT_EQ(Detect("\xEF\xBB\xBF"
                   "a\xC3"),
            kTextAnsi);                       // invalid behind the mark
  EXPECT_EQ(Detect("a\xC3\xA9"), kTextAnsi);  // UTF-8 without its mark
  EXPECT_EQ(Detect(Utf16Le(L"A")), kTextUtf16);
  EXPECT_EQ(Detect(Utf16Be(L"A")), kTextUtf16);
  EXPECT_EQ(Detect("\xFF\xFE"), kTextAnsi);  // the mark alone
  // Every character at U+2000 or above (no control high byte): read as ANSI.
  EXPECT_EQ(Detect(Utf16Le(L"\u4e2d\u6587")), kTextAnsi);
  // High bytes 0x0A and 0x0D do not count; 0x0B does.
  EXPECT_EQ(Detect(Utf16Le(L"\u0a41\u0d41")), kTextAnsi);
  EXPECT_EQ(Detect(Utf16Le(L"\u0b41")), kTextUtf16);
  EXPECT_EQ(Detect(std::string("\xFF\xFE\x41", 3)), kTextAnsi);  // no high byte to look at
  EXPECT_EQ(Detect(std::string("\xFE\xFF\x00", 3)), kTextUtf16);
  EXPECT_EQ(Detect(""), kTextAnsi);
}

class ReadTextFileLinesTest : public ::testing::Test {
 protected:
  std::vector<std::wstring> Lines(const std::string& bytes) {
    std::wstring path = scratch_.WriteFile(L"t.txt", bytes);
    TextLines lines;
    EXPECT_TRUE(ReadTextFileLines(path.c_str(), lines));
    std::vector<std::wstring> out;
    while (const wchar_t* line = lines.Next())
      out.push_back(line);
    EXPECT_EQ(out.size(), lines.Count());
    return out;
  }
  ScratchFolder scratch_;
};

using V = std::vector<std::wstring>;

TEST_F(ReadTextFileLinesTest, SplitsOnAnyRunOfBreaksAndTrimsTheEndsOfLines) {
  EXPECT_EQ(Lines("a\r\n\r\nb\n\rc\rd  \t\r\n  e\r\n\t \r\n"), (V{L"a", L"b", L"c", L"d", L"  e"}));
  EXPECT_EQ(Lines("last line without break"), (V{L"last line without break"}));
  EXPECT_EQ(Lines(""), V{});
}

TEST_F(ReadTextFileLinesTest, ReadsEachEncoding) {
  EXPECT_EQ(Lines(Utf16Le(L"x=\u00e9\r\ny")), (V{L"x=\u00e9", L"y"}));
  EXPECT_EQ(Lines(Utf16Be(L"x=\u4e2d\r\ny")), (V{L"x=\u4e2d", L"y"}));
  EXPECT_EQ(Lines("\xEF\xBB\xBFx=\xC3\xA9\xF0\x9F\x98\x80\r\n"), (V{L"x=\u00e9\U0001F600"}));
  // ANSI (the test prefix uses code page 1252): é is E9.
  EXPECT_EQ(Lines("x=\xE9"), (V{L"x=\u00e9"}));
  // A mark that failed the UTF-16 test is read as ANSI, mark included.
  EXPECT_EQ(Lines(Utf16Le(L"\u4e2d")), (V{L"\u00ff\u00fe\u002d\u004e"}));
}

TEST_F(ReadTextFileLinesTest, DamagedTextLosesNoMoreThanItMust) {
  // An odd byte at the end of UTF-16 is dropped; a NUL ends a line, not the text.
  EXPECT_EQ(Lines(Utf16Le(L"ab\r\ncd") + "x"), (V{L"ab", L"cd"}));
  EXPECT_EQ(Lines(Utf16Le(std::wstring(L"ab\0cd", 5))), (V{L"ab", L"cd"}));
  EXPECT_EQ(Lines(std::string("ab\0cd", 5)), (V{L"ab", L"cd"}));
  // The mark alone is read as ANSI: two characters.
  EXPECT_EQ(Lines(std::string("\xFF\xFE", 2)), (V{L"\u00ff\u00fe"}));
  // A five-byte form passes the UTF-8 test but not the decoder: only its line is cut.
  EXPECT_EQ(Lines("\xEF\xBB\xBF"
                  "a\xF8\x88\x80\x80\x80z\r\nnext"),
            (V{L"a", L"next"}));
  // Unpaired surrogates in UTF-16 are kept as they are.
  EXPECT_EQ(Lines(Utf16Le(L"a\xD800"
                          L"b")),
            (V{L"a\xD800"
               L"b"}));
}

TEST_F(ReadTextFileLinesTest, LongLinesAndManyLines) {
  std::string longLine(100000, 'q');
  std::string many;
  for (int i = 0; i < 50000; ++i)
    many += "n" + std::to_string(i) + "=1\r\n";
  V lines = Lines(longLine + "\r\n" + many);
  ASSERT_EQ(lines.size(), 50001u);
  EXPECT_EQ(lines[0], std::wstring(100000, L'q'));
  EXPECT_EQ(lines[50000], L"n49999=1");
}

TEST_F(ReadTextFileLinesTest, AMissingFileIsAFailure) {
  TextLines lines;
  EXPECT_FALSE(ReadTextFileLines(scratch_.Join(L"missing.txt").c_str(), lines));
  EXPECT_FALSE(ReadTextFileLines(scratch_.Path().c_str(), lines));  // a folder
  EXPECT_EQ(lines.Count(), 0u);
}

TEST_F(ReadTextFileLinesTest, AReadErrorKeepsOnlyTheLinesThatEndedBeforeIt) {
  const std::string bytes = "\xEF\xBB\xBFone\r\ntwo\r\nthree\r\n";
  std::wstring path = scratch_.WriteFile(L"t.txt", bytes);
  const CleanErrorState errors;  // the provoked error is forgotten at the end of the test
  FlakyFile file(static_cast<uint32_t>(bytes.find("ree")));  // fails inside "three"
  ASSERT_TRUE(file.Open(path.c_str(), 0));
  TextLines lines;
  EXPECT_FALSE(ReadTextLines(file, lines));
  EXPECT_EQ(Errors().ExitCode, static_cast<uint32_t>(VLX_EXIT_READ));
  ASSERT_EQ(lines.Count(), 2u);  // not "th"
  EXPECT_STREQ(lines.Next(), L"one");
  EXPECT_STREQ(lines.Next(), L"two");
}

TEST_F(ReadTextFileLinesTest, RandomBytesGiveCleanLines) {
  std::mt19937 random(42);
  const std::string heads[] = {"", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF"};
  for (int round = 0; round < 2000; ++round) {
    std::string bytes = heads[round % 4];
    size_t n = random() % 64;
    for (size_t i = 0; i < n; ++i) {
      // Mostly printable, with breaks, blanks, NULs and high bytes mixed in.
      static const char kBytes[] = {'a',    '=',    '"',    '\r',   '\n',   ' ',    '\t',   '\0',
                                    '\x80', '\xC3', '\xA9', '\xFF', '\x1B', '\x0A', '\x0D', 'Z'};
      bytes.push_back(random() % 3 == 0 ? static_cast<char>(random())
                                        : kBytes[random() % sizeof(kBytes)]);
    }
    for (const std::wstring& line : Lines(bytes)) {
      ASSERT_FALSE(line.empty()) << "round " << round;
      ASSERT_EQ(line.find_first_of(std::wstring(L"\r\n\0", 3)), std::wstring::npos);
      ASSERT_NE(line.back(), L' ');
      ASSERT_NE(line.back(), L'\t');
    }
  }
}

}  // namespace
