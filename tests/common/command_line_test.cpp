#include "common/command_line.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "guarded_buffer.h"

namespace {

struct ModelArgument {
  std::wstring text;
  size_t end;  // offset of the position returned
};

// Reference splitter over std::wstring, without any capacity.
std::vector<ModelArgument> SplitModel(const std::wstring& line) {
  std::vector<ModelArgument> args;
  size_t i = 0;
  for (;;) {
    while (i < line.size() && (line[i] == L' ' || line[i] == L'\t'))
      ++i;
    if (i == line.size())
      return args;
    std::wstring arg;
    bool quoted = false;
    while (i < line.size()) {
      wchar_t c = line[i];
      if (!quoted && (c == L' ' || c == L'\t'))
        break;
      if (c == L'"' && i + 1 < line.size() && line[i + 1] == L'"') {
        arg += L'"';
        i += 2;
      } else if (c == L'"') {
        quoted = !quoted;
        ++i;
      } else {
        arg += c;
        ++i;
      }
    }
    args.push_back({arg, i});
  }
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

TEST(NextArgument, RandomLinesMatchModelAndKeepGuards) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 3000; ++round) {
    std::wstring line = RandomWide(rng, 60);
    size_t capacity = RandomSize(rng, 0, 12);
    std::vector<ModelArgument> expected = SplitModel(line);
    const wchar_t* pos = line.c_str();
    for (size_t k = 0;; ++k) {
      GuardedBuffer<wchar_t> out(capacity);
      pos = NextArgument(pos, out.Data(), capacity);
      ASSERT_TRUE(out.GuardsIntact()) << round;
      if (pos == nullptr) {
        ASSERT_EQ(k, expected.size()) << round;
        break;
      }
      ASSERT_LT(k, expected.size()) << round;
      ASSERT_EQ(static_cast<size_t>(pos - line.c_str()), expected[k].end) << round;
      if (capacity != 0) {
        ASSERT_EQ(out.Text(), expected[k].text.substr(0, capacity - 1));
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
