#include "settings/heap_sort.h"

#include <cstdlib>
#include <cstring>

#include "common/error_handler.h"

namespace {

struct SortContext {
  unsigned char* Base;
  size_t Size;
  HeapSortCompare Compare;
  void* Scratch;

  unsigned char* At(size_t i) const { return Base + i * Size; }
  void Swap(size_t i, size_t j) const {
    std::memcpy(Scratch, At(i), Size);
    std::memcpy(At(i), At(j), Size);
    std::memcpy(At(j), Scratch, Size);
  }
  // Moves element i down until the max-heap property holds for the first count elements.
  void SiftDown(size_t i, size_t count) const {
    for (;;) {
      size_t largest = i;
      size_t left = 2 * i + 1;
      size_t right = left + 1;
      if (left < count && Compare(At(left), At(largest)) > 0)
        largest = left;
      if (right < count && Compare(At(right), At(largest)) > 0)
        largest = right;
      if (largest == i)
        return;
      Swap(i, largest);
      i = largest;
    }
  }
};

}  // namespace

void HeapSortArray(void* array, size_t count, size_t elementSize, HeapSortCompare compare) {
  if (count < 2 || elementSize == 0)
    return;
  void* scratch = std::malloc(elementSize);
  if (scratch == nullptr)
    Errors().MemoryError();
  SortContext sort{static_cast<unsigned char*>(array), elementSize, compare, scratch};
  for (size_t i = count / 2; i-- > 0;)
    sort.SiftDown(i, count);
  for (size_t end = count - 1; end > 0; --end) {
    sort.Swap(0, end);
    sort.SiftDown(0, end);
  }
  std::free(scratch);
}
