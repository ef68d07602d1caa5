#include "common/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "guarded_buffer.h"

namespace {

// The arguments of a line without quotation marks: the runs between spaces and tabs.
std::vector<std::wstring> BlankSeparatedWords(const std::wstring& line) {
  std::vector<std::wstring> words;
  std::wstring word;
  for (wchar_t c : line + L' ') {
    if (c != L' ' && c != L'\t') {
      word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  return words;
}

std::vector<std::wstring> Split(const wchar_t* line, size_t capacity = 256) {
  std::vector<std::wstring> args;
  std::vector<wchar_t> out(capacity + 1);
  for (const wchar_t* pos = line; (pos = NextArgument(pos, out.data(), capacity)) != nullptr;) {
    args.push_back(out.data());
  }
  return args;
}

}  // namespace

TEST(NextArgument, QuotesAndDoubledQuotes) {
  EXPECT_EQ(Split(L"  \"a b\"c  d"), (std::vector<std::wstring>{L"a bc", L"d"}));
  EXPECT_EQ(Split(L"a\"\"b"), (std::vector<std::wstring>{L"a\"b"}));
  EXPECT_EQ(Split(L"\"x \"\" y\" z"), (std::vector<std::wstring>{L"x \" y", L"z"}));
  EXPECT_EQ(Split(L"/init\t\"C:\\Program Files\\V\"  "),
            (std::vector<std::wstring>{L"/init", L"C:\\Program Files\\V"}));
  EXPECT_EQ(Split(L""), std::vector<std::wstring>{});
  EXPECT_EQ(Split(L" \t "), std::vector<std::wstring>{});
  EXPECT_EQ(Split(L"\"\""), std::vector<std::wstring>{L"\""});
  EXPECT_EQ(Split(L"\""), std::vector<std::wstring>{L""});  // a lone quotation mark
}

TEST(NextArgument, UnterminatedQuoteRunsToTheEnd) {
  EXPECT_EQ(Split(L"a \"b c\td"), (std::vector<std::wstring>{L"a", L"b c\td"}));
}

TEST(NextArgument, ReturnsPositionOfTheEndingBlank) {
  const wchar_t* line = L" ab cd";
  wchar_t out[8];
  const wchar_t* pos = NextArgument(line, out, 8);
  EXPECT_EQ(pos, line + 3);
  pos = NextArgument(pos, out, 8);
  EXPECT_EQ(pos, line + 6);
  EXPECT_STREQ(out, L"cd");
  EXPECT_EQ(NextArgument(pos, out, 8), nullptr);
  EXPECT_STREQ(out, L"");
}

TEST(NextArgument, AbsentOutputAndTinyCapacities) {
  const wchar_t* line = L"alpha beta";
  EXPECT_EQ(NextArgument(line, nullptr, 100), line + 5);
  GuardedBuffer<wchar_t> zero(0);
  EXPECT_EQ(NextArgument(line, zero.Data(), 0), line + 5);
  EXPECT_TRUE(zero.GuardsIntact());
  wchar_t one[1] = {L'q'};
  EXPECT_EQ(NextArgument(line, one, 1), line + 5);  // read to the end, nothing copied
  EXPECT_EQ(one[0], 0);
  EXPECT_EQ(NextArgument(nullptr, one, 1), nullptr);
}

TEST(NextArgument, NonAsciiIsCopiedUnchanged) {
  EXPECT_EQ(Split(L"\u00e9t\u00e9 \"\u4e2d \xd83d\xde00\""),
            (std::vector<std::wstring>{L"\u00e9t\u00e9", L"\u4e2d \xd83d\xde00"}));
}

TEST(NextArgument, TenThousandArguments) {
  std::wstring line;
  for (int i = 0; i < 10000; ++i)
    line += (i % 2 ? L"\"q q\" " : L"arg\t");
  std::vector<std::wstring> args = Split(line.c_str(), 4);
  ASSERT_EQ(args.size(), 10000u);
  EXPECT_EQ(args[0], L"arg");
  EXPECT_EQ(args[1], L"q q");
  EXPECT_EQ(args[9999], L"q q");
}

TEST(NextArgument, ReturnsPositionBehindQuotedAndDoubledQuotes) {
  wchar_t out[16];
  const wchar_t* quoted = L"\"a b\" c";
  EXPECT_EQ(NextArgument(quoted, out, 16), quoted + 5);  // behind the closing mark
  EXPECT_STREQ(out, L"a b");
  const wchar_t* doubled = L"x\"\"y z";
  EXPECT_EQ(NextArgument(doubled, out, 16), doubled + 4);  // x, two marks, y
  EXPECT_STREQ(out, L"x\"y");
}

TEST(NextArgument, CutArgumentsKeepTheirPositions) {
  // "a bcdef" cut to a capacity of 4 keeps its first 3 units; the next argument is unaffected.
  EXPECT_EQ(Split(L"\"a b\"cdef gh", 4), (std::vector<std::wstring>{L"a b", L"gh"}));
  // Capacity 2: one unit of each.
  EXPECT_EQ(Split(L"\"\"x y", 2), (std::vector<std::wstring>{L"\"", L"y"}));
}

// Random lines: without quotation marks the arguments are the blank-separated words; with any
// capacity an argument is the first capacity-1 units of the uncut one, at the same position,
// and nothing is written behind the capacity.
TEST(NextArgument, RandomLines) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 3000; ++round) {
    std::wstring line = RandomWide(rng, 60);
    if (round % 2 == 0) {
      line.erase(std::remove(line.begin(), line.end(), L'"'), line.end());
      ASSERT_EQ(Split(line.c_str(), line.size() + 1), BlankSeparatedWords(line)) << round;
    }
    const size_t capacity = RandomSize(rng, 0, 12);
    std::vector<wchar_t> full(line.size() + 1);
    const wchar_t* uncutPos = line.c_str();
    const wchar_t* pos = line.c_str();
    for (;;) {
      GuardedBuffer<wchar_t> out(capacity);
      pos = NextArgument(pos, out.Data(), capacity);
      uncutPos = NextArgument(uncutPos, full.data(), full.size());
      ASSERT_TRUE(out.GuardsIntact()) << round;
      ASSERT_EQ(pos, uncutPos) << round;
      if (pos == nullptr)
        break;
      if (capacity != 0) {
        bool terminated = false;
        ASSERT_EQ(out.Text(&terminated), std::wstring(full.data()).substr(0, capacity - 1))
            << round;
        ASSERT_TRUE(terminated) << round;
      }
    }
  }
}

TEST(NextArgument, LongTextWithoutBlanks) {
  std::wstring line(100000, L'x');
  line[500] = L'"';  // an unterminated quote in the middle
  wchar_t out[16];
  const wchar_t* pos = NextArgument(line.c_str(), out, 16);
  EXPECT_EQ(pos, line.c_str() + line.size());
  EXPECT_STREQ(out, L"xxxxxxxxxxxxxxx");
  EXPECT_EQ(NextArgument(pos, out, 16), nullptr);
}
