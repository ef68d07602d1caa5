#include "settings/heap_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

int CompareInts(const void* a, const void* b) {
  int x = *static_cast<const int*>(a);
  int y = *static_cast<const int*>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

// An element size that is not a power of two: a key and a payload that must travel with it.
struct Odd {
  unsigned char Key;
  unsigned char Payload[6];
};
static_assert(sizeof(Odd) == 7, "seven-byte elements");

int CompareOdd(const void* a, const void* b) {
  return static_cast<const Odd*>(a)->Key - static_cast<const Odd*>(b)->Key;
}

TEST(HeapSortArray, SortsLikeTheStandardSortForManyShapes) {
  std::mt19937 random(7);
  for (size_t n : {2u, 3u, 4u, 5u, 16u, 17u, 100u, 1001u}) {
    std::vector<int> ascending(n), descending(n), equal(n, 4), mixed(n);
    for (size_t i = 0; i < n; ++i) {
      ascending[i] = static_cast<int>(i);
      descending[i] = static_cast<int>(n - i);
      mixed[i] = static_cast<int>(random() % 10) - 5;
    }
    for (std::vector<int>* v : {&ascending, &descending, &equal, &mixed}) {
      std::vector<int> expected = *v;
      std::sort(expected.begin(), expected.end());
      HeapSortArray(v->data(), v->size(), sizeof(int), CompareInts);
      EXPECT_EQ(*v, expected) << "n=" << n;
    }
  }
}

TEST(HeapSortArray, MovesWholeElementsOfAnySize) {
  std::vector<Odd> items(50);
  for (size_t i = 0; i < items.size(); ++i) {
    items[i].Key = static_cast<unsigned char>((i * 37) % 50);
    std::memset(items[i].Payload, items[i].Key, sizeof(items[i].Payload));
  }
  HeapSortArray(items.data(), items.size(), sizeof(Odd), CompareOdd);
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(items[i].Key, i);
    for (unsigned char b : items[i].Payload)
      EXPECT_EQ(b, items[i].Key);
  }
}

TEST(HeapSortArray, LeavesShortArraysAlone) {
  int one = 5;
  HeapSortArray(&one, 1, sizeof(int), CompareInts);
  EXPECT_EQ(one, 5);
  HeapSortArray(nullptr, 0, sizeof(int), CompareInts);  // no access at all
}

}  // namespace
