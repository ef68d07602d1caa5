#include "common/grow_array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/error_state.h"

namespace {

class GrowArrayTest : public testing::Test {
 protected:
  // Runs f and returns the VLX_EXIT it threw, or 0 when it threw nothing.
  template <typename F>
  static uint32_t ExitThrownBy(F f) {
    try {
      f();
    } catch (VLX_EXIT code) {
      return code;
    }
    return 0;
  }

 private:
  CleanErrorState errors_;
};

struct Record24 {
  uint64_t a, b, c;
};
static_assert(sizeof(Record24) == 24, "24-byte record");

}  // namespace

// Worked by hand from the rule "the larger of the new count and capacity + capacity/4 + 32".
TEST_F(GrowArrayTest, GrowthRule) {
  GrowArray<uint8_t> bytes;
  EXPECT_EQ(bytes.Capacity(), 0u);
  bytes.Add(1);  // count 1: max(1, 0 + 0 + 32)
  EXPECT_EQ(bytes.Capacity(), 32u);
  bytes.Add(31);  // count 32: fits
  EXPECT_EQ(bytes.Capacity(), 32u);
  bytes.Add(1);  // count 33: max(33, 32 + 8 + 32)
  EXPECT_EQ(bytes.Capacity(), 72u);
  bytes.Add(40);  // count 73: max(73, 72 + 18 + 32)
  EXPECT_EQ(bytes.Capacity(), 122u);
  bytes.Add(50);  // count 123: max(123, 122 + 30 + 32), the quarter of 122 rounded down
  EXPECT_EQ(bytes.Capacity(), 184u);
  EXPECT_EQ(bytes.Count(), 123u);
}

TEST_F(GrowArrayTest, LargeAddGetsExactlyCount) {
  GrowArray<wchar_t> units;
  units.Add(1000);  // max(1000, 0 + 0 + 32)
  EXPECT_EQ(units.Capacity(), 1000u);
  units.Add(5000);  // count 6000: max(6000, 1000 + 250 + 32)
  EXPECT_EQ(units.Capacity(), 6000u);
  units.Add(1);  // count 6001: max(6001, 6000 + 1500 + 32)
  EXPECT_EQ(units.Capacity(), 7532u);
}

TEST_F(GrowArrayTest, PushKeepsElementsAcrossGrowth) {
  GrowArray<Record24> records;
  for (uint64_t i = 0; i < 1000; ++i)
    records.Push({i, i * 2, i * 3});
  ASSERT_EQ(records.Count(), 1000u);
  for (uint64_t i = 0; i < 1000; ++i) {
    ASSERT_EQ(records[i].a, i);
    ASSERT_EQ(records[i].c, i * 3);
  }
  // Pushing an element of the array itself while it grows.
  GrowArray<uint32_t> values;
  values.Push(7);
  for (int i = 0; i < 200; ++i)
    values.Push(values[0]);
  for (size_t i = 0; i < values.Count(); ++i)
    ASSERT_EQ(values[i], 7u);
  EXPECT_EQ(Errors().ErrorCount, 0u);
}

TEST_F(GrowArrayTest, FailedReallocationKeepsOldDataAndThrows) {
  GrowArray<uint32_t> values;
  for (uint32_t i = 0; i < 40; ++i)
    values.Push(i);
  uint32_t* before = values.Data();
  size_t capacity = values.Capacity();
  // An absurd count: the size in bytes cannot even be computed, let alone allocated.
  EXPECT_EQ(ExitThrownBy([&] { values.Add(SIZE_MAX / 2); }), VLX_EXIT_MEMORY);
  EXPECT_EQ(values.Data(), before);
  EXPECT_EQ(values.Count(), 40u);
  EXPECT_EQ(values.Capacity(), capacity);
  for (uint32_t i = 0; i < 40; ++i)
    ASSERT_EQ(values[i], i);
  EXPECT_EQ(Errors().ErrorCount, 2u);
  EXPECT_EQ(Errors().ExitCode, VLX_EXIT_MEMORY);

  // A size that can be computed but not allocated: realloc itself fails.
  volatile size_t unallocatable = SIZE_MAX / 8;  // volatile: computed at run time
  EXPECT_EQ(ExitThrownBy([&] { values.Add(unallocatable); }), VLX_EXIT_MEMORY);
  EXPECT_EQ(values.Data(), before);
  EXPECT_EQ(values.Count(), 40u);
  // A count that would wrap around.
  EXPECT_EQ(ExitThrownBy([&] { values.Add(SIZE_MAX); }), VLX_EXIT_MEMORY);
  EXPECT_EQ(values.Count(), 40u);
  values.Push(99);  // the array is still usable
  EXPECT_EQ(values[40], 99u);
}

TEST_F(GrowArrayTest, MaximumStopsGrowth) {
  GrowArray<uint16_t> values;
  values.SetMaximum(50);
  values.Add(50);
  EXPECT_EQ(values.Count(), 50u);
  EXPECT_EQ(ExitThrownBy([&] { values.Add(1); }), VLX_EXIT_MEMORY);
  EXPECT_EQ(values.Count(), 50u);
  EXPECT_EQ(Errors().ErrorCount, 2u);
  EXPECT_EQ(Errors().ExitCode, VLX_EXIT_MEMORY);
}

TEST_F(GrowArrayTest, TruncateAndClearKeepCapacity) {
  GrowArray<char> chars;
  chars.Add(10);
  chars.Truncate(20);
  EXPECT_EQ(chars.Count(), 10u);
  chars.Truncate(3);
  EXPECT_EQ(chars.Count(), 3u);
  chars.Clear();
  EXPECT_EQ(chars.Count(), 0u);
  EXPECT_EQ(chars.Capacity(), 32u);
}
