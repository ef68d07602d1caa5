#include "lang/language_file_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "guarded_text.h"

namespace {

struct Parsed {
  std::vector<std::pair<std::string, std::wstring>> Entries;
  bool RightToLeft = false;
};

void Collect(void* context, const char* key, const wchar_t* text, size_t length) {
  static_cast<Parsed*>(context)->Entries.emplace_back(key, std::wstring(text, length));
}

// Parses text that follows a marker line, from a buffer that faults on any read past its end.
Parsed Parse(const std::wstring& body, bool rightToLeftBefore = false) {
  GuardedText text(L"***messages***\r\n" + body);
  Parsed parsed;
  parsed.RightToLeft = rightToLeftBefore;
  EXPECT_TRUE(ParseLanguageText(text.Get(), Collect, &parsed, parsed.RightToLeft));
  return parsed;
}

using Entries = std::vector<std::pair<std::string, std::wstring>>;

struct GrammarCase {
  const char* Name;
  std::wstring Body;
  Entries Expected;
};

void RunCases(const std::vector<GrammarCase>& cases) {
  for (const GrammarCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Parse(c.Body).Entries, c.Expected);
  }
}

TEST(LanguageFileParser, TextsAfterEscapesTrimmingAndQuotes) {
  RunCases({
      {"quoted", L"IDS_A \"Hello\"\r\n", {{"s:IDS_A", L"Hello"}}},
      {"unquoted, trailing blanks cut",
       L"IDS_A Hello world \t \r\n",
       {{"s:IDS_A", L"Hello world"}}},
      {"quotes keep inner blanks", L"IDS_A \"  a  \"  \r\n", {{"s:IDS_A", L"  a  "}}},
      {"escaped closing quote is the closing quote", L"IDS_A \"a\\\"\r\n", {{"s:IDS_A", L"a"}}},
      {"two quotes give an empty text", L"IDS_A \"\"\r\n", {{"s:IDS_A", L""}}},
      {"one quote alone", L"IDS_A \"\n", {{"s:IDS_A", L""}}},
      {"no text at all", L"IDS_A \t \r\n", {{"s:IDS_A", L""}}},
      {"only an opening quote", L"IDS_A \"abc\n", {{"s:IDS_A", L"abc"}}},
      {"only a closing quote", L"IDS_A abc\"\n", {{"s:IDS_A", L"abc"}}},
      {"escapes", L"IDS_A \"1\\n2\\r3\\t4\\\\5\\\"6\"\n", {{"s:IDS_A", L"1\n2\r3\t4\\5\"6"}}},
      {"unknown escape keeps the backslash", L"IDS_A C:\\x\\%s\\\n", {{"s:IDS_A", L"C:\\x\\%s\\"}}},
      {"backslash before a line end",
       L"IDS_A a\\\nIDS_B b\n",
       {{"s:IDS_A", L"a\\"}, {"s:IDS_B", L"b"}}},
      {"escaped trailing tab is trimmed", L"IDS_A a\\t\n", {{"s:IDS_A", L"a"}}},
      {"non-ASCII text kept",
       L"IDS_A \"\x05D0\x05D1 \xD83D\xDE00\"\n",
       {{"s:IDS_A", L"\x05D0\x05D1 \xD83D\xDE00"}}},
      {"unpaired surrogates kept", L"IDS_A \xD800x\xDC00\n", {{"s:IDS_A", L"\xD800x\xDC00"}}},
  });
}

TEST(LanguageFileParser, LinesAndEntryNames) {
  RunCases({
      {"CR LF, lone CR and lone LF end lines",
       L"IDS_A a\r\nIDS_B b\rIDS_C c\nIDS_D d",
       {{"s:IDS_A", L"a"}, {"s:IDS_B", L"b"}, {"s:IDS_C", L"c"}, {"s:IDS_D", L"d"}}},
      {"tab and comma separate, one separator skipped",
       L"IDS_A\tx\nIDS_B,y\nIDS_C,, z\n",
       {{"s:IDS_A", L"x"}, {"s:IDS_B", L"y"}, {"s:IDS_C", L", z"}}},
      {"a raw line break ends the text", L"IDS_A \"a\nb\"\n", {{"s:IDS_A", L"a"}}},
      {"lines starting with a blank, digit or sign are ignored",
       L" IDS_A a\n\tIDS_B b\n1IDS_C c\n;IDS_D d\n#x y\n",
       {}},
      {"a line without separator is ignored", L"IDS_A\nIDS_B b\n", {{"s:IDS_B", L"b"}}},
      {"ignored lines do not leak into the next entry",
       L"; a comment\nIDS_A a\n",
       {{"s:IDS_A", L"a"}}},
      {"the separator must be on the entry's own line", L"ABC\r\nDEF x\r\n", {{"s:DEF", L"x"}}},
      {"names need not be in the key table", L"Anything goes\n", {{"s:Anything", L"goes"}}},
      {"lower-case names", L"ids_a x\n", {{"s:ids_a", L"x"}}},
      {"a NUL ends the text",
       std::wstring(L"IDS_A a\nIDS_B b", 15) + L'\0' + L"\nIDS_C c\n",
       {{"s:IDS_A", L"a"}, {"s:IDS_B", L"b"}}},
      {"the marker line itself is no entry", L"", {}},
      {"entry on the last line without a line end", L"IDS_A last", {{"s:IDS_A", L"last"}}},
      {"entry name ending at the end of the text", L"IDS_A ", {{"s:IDS_A", L""}}},
      {"name at the end of the text without separator", L"IDS_A", {}},
  });
}

TEST(LanguageFileParser, SectionHeaders) {
  RunCases({
      {"before any header: strings", L"IDS_A a\n", {{"s:IDS_A", L"a"}}},
      {"dialog", L":DIALOG SETUPDLG\nIDOK Weiter\n", {{"$SETUPDLG:IDOK", L"Weiter"}}},
      {"dialog name after tabs, rest of line dropped",
       L":DIALOG\t\tDONEDLG  extra words\nX y\n",
       {{"$DONEDLG:X", L"y"}}},
      {"menu", L":MENU MAIN\nX y\n", {{"@MAIN:X", L"y"}}},
      {"back to strings", L":DIALOG D\n:STRINGS\nX y\n", {{"s:X", L"y"}}},
      {"lower case header is ignored", L":DIALOG D\n:strings\nX y\n", {{"$D:X", L"y"}}},
      {"longer word is ignored", L":DIALOGX E\nX y\n", {{"s:X", L"y"}}},
      {"colon with another word", L":COMMENT here\nX y\n", {{"s:X", L"y"}}},
      {"header at the end of the text", L"X y\n:DIALOG", {{"s:X", L"y"}}},
      {"dialog without a name", L":DIALOG\nX y\n", {{"$:X", L"y"}}},
      {"direction keeps the section", L":DIALOG D\n:DIRECTION RTL\nX y\n", {{"$D:X", L"y"}}},
      {"header not at a line start", L"X :DIALOG D\nY z\n", {{"s:X", L":DIALOG D"}, {"s:Y", L"z"}}},
  });
}

TEST(LanguageFileParser, Direction) {
  EXPECT_TRUE(Parse(L":DIRECTION RTL\n").RightToLeft);
  EXPECT_TRUE(Parse(L":DIRECTION \tRTL trailing\n").RightToLeft);
  EXPECT_FALSE(Parse(L":DIRECTION RTL\nX y\n:DIRECTION LTR\n").RightToLeft);
  EXPECT_FALSE(Parse(L":DIRECTION rtl\n").RightToLeft);
  EXPECT_FALSE(Parse(L":DIRECTION RTLX\n").RightToLeft);
  EXPECT_FALSE(Parse(L":DIRECTION\n", true).RightToLeft);
  // Without a DIRECTION line the caller's value stays.
  EXPECT_TRUE(Parse(L"X y\n", true).RightToLeft);
  EXPECT_FALSE(Parse(L"X y\n", false).RightToLeft);
}

TEST(LanguageFileParser, Limits) {
  // Names: a separator within the first 99 characters.
  const std::wstring name98(98, L'N');
  const std::wstring name99(99, L'N');
  EXPECT_EQ(Parse(name98 + L" x\n").Entries.size(), 1u);
  EXPECT_TRUE(Parse(name99 + L" x\n").Entries.empty());

  // Keys are cut to 49 bytes: names that agree in the first 47 characters are one key.
  const Parsed sameKey =
      Parse(std::wstring(47, L'K') + L"abc 1\n" + std::wstring(47, L'K') + L"xyz 2\n");
  ASSERT_EQ(sameKey.Entries.size(), 2u);
  EXPECT_EQ(sameKey.Entries[0].first, "s:" + std::string(47, 'K'));
  EXPECT_EQ(sameKey.Entries[0].first, sameKey.Entries[1].first);

  // Section names are cut to 99 characters, and keys to 49 bytes whatever the prefix.
  const Parsed longSection = Parse(L":DIALOG " + std::wstring(150, L'D') + L"\nX y\n");
  ASSERT_EQ(longSection.Entries.size(), 1u);
  EXPECT_EQ(longSection.Entries[0].first, "$" + std::string(48, 'D'));

  // Texts keep at most 65,536 characters; an escape at the limit is dropped.
  const std::wstring full(kLanguageTextLength, L'a');
  const Parsed cut =
      Parse(L"IDS_A " + full + L"bcd\\n\nIDS_B " + std::wstring(65535, L'a') + L"\\n\\n\n");
  ASSERT_EQ(cut.Entries.size(), 2u);
  EXPECT_EQ(cut.Entries[0].second, full);
  EXPECT_EQ(cut.Entries[1].second, std::wstring(65535, L'a') + L"\n");

  // A long line without line ends is one text.
  const Parsed longLine = Parse(L"IDS_A " + std::wstring(300000, L'x'));
  ASSERT_EQ(longLine.Entries.size(), 1u);
  EXPECT_EQ(longLine.Entries[0].second.size(), kLanguageTextLength);
}

TEST(LanguageFileParser, NonAsciiNamesGoThroughTheAnsiCodePage) {
  // A name the code page cannot represent still makes a key (with replacement characters),
  // and a section name likewise; nothing is lost after them.
  const Parsed parsed = Parse(L":DIALOG \x4E2D\x6587\nIDS_\x05D0 a\nIDOK b\n");
  ASSERT_EQ(parsed.Entries.size(), 2u);
  EXPECT_EQ(parsed.Entries[1].second, L"b");
  EXPECT_EQ(parsed.Entries[1].first.back(), 'K');
  EXPECT_EQ(parsed.Entries[1].first.front(), '$');
}

}  // namespace
