#include "common/string_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "guarded_buffer.h"

namespace {

// Reference: what a bounded copy of src into capacity units must leave.
template <typename Char>
std::basic_string<Char> CopyModel(const std::basic_string<Char>& src, size_t capacity) {
  return src.substr(0, capacity - 1);
}

// Reference for IntToDecimal: the digits that fit (least significant kept), the '-' only when
// all digits and it fit.
std::wstring DecimalModel(int64_t value, size_t capacity) {
  std::wstring digits;
  if (value == INT64_MIN) {
    digits = L"9223372036854775808";
  } else {
    digits = std::to_wstring(value < 0 ? -value : value);
  }
  size_t room = capacity - 1;
  if (digits.size() >= room)
    return digits.substr(digits.size() - room);
  return (value < 0 ? L"-" : L"") + digits;
}

}  // namespace

TEST(CopyBounded, CutsAndTerminates) {
  wchar_t buf[4] = {L'x', L'x', L'x', L'x'};
  CopyBounded(buf, L"abcdef", 4);
  EXPECT_STREQ(buf, L"abc");
  CopyBounded(buf, L"zz", 1);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], L'b');
}

TEST(CopyBounded, CapacityZeroWritesNothingAndNullSourceGivesEmpty) {
  wchar_t buf[2] = {L'q', L'q'};
  CopyBounded(buf, L"abc", 0);
  EXPECT_EQ(buf[0], L'q');
  CopyBounded(buf, nullptr, 2);
  EXPECT_EQ(buf[0], 0);
}

TEST(CopyBounded, ArrayFormUsesTheArraySize) {
  wchar_t buf[3];
  CopyBounded(buf, L"hello");
  EXPECT_STREQ(buf, L"he");
  AppendBounded(buf, L"xyz");
  EXPECT_STREQ(buf, L"he");
}

TEST(CopyBounded, RandomTextsMatchModelAndKeepGuards) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 4000; ++round) {
    std::wstring src = RandomWide(rng, 40);
    size_t capacity = RandomSize(rng, 0, 45);
    GuardedBuffer<wchar_t> dest(capacity);
    CopyBounded(dest.Data(), src.c_str(), capacity);
    ASSERT_TRUE(dest.GuardsIntact()) << round;
    if (capacity == 0)
      continue;
    bool terminated = false;
    ASSERT_EQ(dest.Text(&terminated), CopyModel(src, capacity)) << round;
    ASSERT_TRUE(terminated);
  }
}

TEST(AppendBounded, FullDestinationIsLeftAlone) {
  GuardedBuffer<wchar_t> dest(4);
  for (size_t i = 0; i < 4; ++i)
    dest.Data()[i] = L'a';  // no terminator within capacity
  AppendBounded(dest.Data(), L"bc", 4);
  EXPECT_TRUE(dest.GuardsIntact());
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(dest.At(i), L'a');
  wchar_t exact[4] = L"abc";  // three units and the terminator: no room left
  AppendBounded(exact, L"d", 4);
  EXPECT_STREQ(exact, L"abc");
}

TEST(AppendBounded, RandomTextsMatchModelAndKeepGuards) {
  std::mt19937 rng(7);
  for (int round = 0; round < 4000; ++round) {
    std::wstring start = RandomWide(rng, 30);
    std::wstring src = RandomWide(rng, 30);
    size_t capacity = RandomSize(rng, 0, 40);
    GuardedBuffer<wchar_t> dest(capacity);
    dest.Set(start);
    AppendBounded(dest.Data(), src.c_str(), capacity);
    ASSERT_TRUE(dest.GuardsIntact()) << round;
    if (start.size() >= capacity) {
      // Unchanged: the original units are still there.
      for (size_t i = 0; i < capacity; ++i)
        ASSERT_EQ(dest.At(i), start[i]);
      continue;
    }
    bool terminated = false;
    ASSERT_EQ(dest.Text(&terminated), start + CopyModel(src, capacity - start.size())) << round;
    ASSERT_TRUE(terminated);
  }
}

TEST(NarrowBounded, RandomTextsMatchModelAndKeepGuards) {
  std::mt19937 rng(99);
  for (int round = 0; round < 4000; ++round) {
    std::string start = RandomNarrow(rng, 20);
    std::string src = RandomNarrow(rng, 30);
    size_t capacity = RandomSize(rng, 0, 36);
    GuardedBuffer<char> copy(capacity);
    CopyNarrowBounded(copy.Data(), src.c_str(), capacity);
    ASSERT_TRUE(copy.GuardsIntact()) << round;
    if (capacity != 0) {
      ASSERT_EQ(copy.Text(), CopyModel(src, capacity)) << round;
    }

    GuardedBuffer<char> append(capacity);
    append.Set(start);
    AppendNarrowBounded(append.Data(), src.c_str(), capacity);
    ASSERT_TRUE(append.GuardsIntact()) << round;
    if (start.size() < capacity) {
      ASSERT_EQ(append.Text(), start + CopyModel(src, capacity - start.size())) << round;
    }
  }
}

TEST(CharacterTests, AsciiOnly) {
  EXPECT_TRUE(IsAsciiLetter(L'a'));
  EXPECT_TRUE(IsAsciiLetter(L'Z'));
  EXPECT_FALSE(IsAsciiLetter(L'@'));
  EXPECT_FALSE(IsAsciiLetter(L'['));
  EXPECT_FALSE(IsAsciiLetter(L'\u00e9'));
  EXPECT_TRUE(IsAsciiDigit(L'0'));
  EXPECT_TRUE(IsAsciiDigit(L'9'));
  EXPECT_FALSE(IsAsciiDigit(L'\u0661'));  // Arabic-Indic one
  EXPECT_EQ(AsciiUpper(L'q'), L'Q');
  EXPECT_EQ(AsciiUpper(L'\u00e9'), L'\u00e9');
  EXPECT_EQ(AsciiUpper(L'{'), L'{');
  EXPECT_EQ(UpperChar(L'\u00e9'), L'\u00c9');  // locale-aware, unlike AsciiUpper
  EXPECT_EQ(UpperChar(L'b'), L'B');
}

TEST(IntToDecimal, FormatsAndLosesLeadingDigitsWhenShort) {
  wchar_t buf[32];
  IntToDecimal(0, buf, 32);
  EXPECT_STREQ(buf, L"0");
  IntToDecimal(-45, buf, 32);
  EXPECT_STREQ(buf, L"-45");
  IntToDecimal(INT64_MIN, buf, 32);
  EXPECT_STREQ(buf, L"-9223372036854775808");
  IntToDecimal(12345, buf, 4);
  EXPECT_STREQ(buf, L"345");
  IntToDecimal(7, buf, 1);
  EXPECT_STREQ(buf, L"");
}

TEST(IntToDecimal, RandomValuesMatchModelAndKeepGuards) {
  std::mt19937_64 rng(1234);
  std::mt19937 small(5);
  for (int round = 0; round < 5000; ++round) {
    // Values of every magnitude: shift a random 64-bit value right by a random amount.
    int64_t value = static_cast<int64_t>(rng()) >> (rng() % 64);
    size_t capacity = RandomSize(small, 0, 24);
    GuardedBuffer<wchar_t> dest(capacity);
    IntToDecimal(value, dest.Data(), capacity);
    ASSERT_TRUE(dest.GuardsIntact());
    if (capacity == 0) {
      ASSERT_EQ(dest.At(0), GuardedBuffer<wchar_t>::kGuardUnit);
      continue;
    }
    ASSERT_EQ(dest.Text(), DecimalModel(value, capacity)) << value << " " << capacity;
  }
}

TEST(DecimalToInt, ParsesSignAndDigitsOnly) {
  EXPECT_EQ(DecimalToInt(L"123abc"), 123);
  EXPECT_EQ(DecimalToInt(L"-77"), -77);
  EXPECT_EQ(DecimalToInt(L""), 0);
  EXPECT_EQ(DecimalToInt(L"x1"), 0);
  EXPECT_EQ(DecimalToInt(L" 5"), 0);
  EXPECT_EQ(DecimalToInt(L"+5"), 0);
  EXPECT_EQ(DecimalToInt(L"-"), 0);
  EXPECT_EQ(DecimalToInt(nullptr), 0);
  EXPECT_EQ(DecimalToInt(L"9223372036854775807"), INT64_MAX);
  wchar_t buf[32];
  std::mt19937_64 rng(3);
  for (int round = 0; round < 500; ++round) {
    int64_t value = static_cast<int64_t>(rng()) >> (rng() % 64);
    IntToDecimal(value, buf, 32);
    ASSERT_EQ(DecimalToInt(buf), value);
  }
}

TEST(CompareNoCase, IgnoresCaseAndOrders) {
  EXPECT_EQ(CompareNoCase(L"Setup", L"sETUP"), 0);
  EXPECT_LT(CompareNoCase(L"abc", L"abd"), 0);
  EXPECT_GT(CompareNoCase(L"b", L"A"), 0);
  EXPECT_LT(CompareNoCase(L"ab", L"abc"), 0);
}

TEST(CompareNoCasePrefix, ComparesAtMostNUnits) {
  EXPECT_EQ(CompareNoCasePrefix(L"noexplorer", L"noex", 4), 0);
  EXPECT_NE(CompareNoCasePrefix(L"no", L"noex", 4), 0);
  EXPECT_EQ(CompareNoCasePrefix(L"setup", L"SETUPX", 5), 0);
  // The terminator counts when a string is shorter than n.
  EXPECT_NE(CompareNoCasePrefix(L"set", L"setup", 5), 0);
  EXPECT_EQ(CompareNoCasePrefix(L"S", L"s", 5), 0);
}

TEST(WideLength, CountsUnitsAndAcceptsNull) {
  EXPECT_EQ(WideLength(L""), 0u);
  EXPECT_EQ(WideLength(L"a\u4e2d\xd83d\xde00"), 4u);
  EXPECT_EQ(WideLength(nullptr), 0u);
}
