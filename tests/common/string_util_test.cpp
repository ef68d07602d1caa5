#include "common/string_util.h"

#include <gtest/gtest.h>

TEST(CopyBounded, CutsAndTerminates) {
  wchar_t buf[4] = {L'x', L'x', L'x', L'x'};
  CopyBounded(buf, L"abcdef", 4);
  EXPECT_STREQ(buf, L"abc");
  CopyBounded(buf, L"zz", 1);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], L'b');
}

TEST(CompareNoCasePrefix, ComparesAtMostNUnits) {
  EXPECT_EQ(CompareNoCasePrefix(L"noexplorer", L"noex", 4), 0);
  EXPECT_NE(CompareNoCasePrefix(L"no", L"noex", 4), 0);
  EXPECT_EQ(CompareNoCasePrefix(L"setup", L"SETUPX", 5), 0);
}
