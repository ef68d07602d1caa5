#pragma once
// A growable array of trivially copyable elements. Growth rule: the new capacity is the larger
// of the new count and capacity + capacity/4 + 32. A failed reallocation leaves the old data in
// place and ends the operation through the error handler (VLX_EXIT 8).

#include <cstdint>
#include <cstdlib>
#include <type_traits>

#include "common/error_handler.h"

template <typename T>
class GrowArray {
  static_assert(std::is_trivially_copyable<T>::value, "GrowArray holds plain records only");

 public:
  GrowArray() = default;
  GrowArray(const GrowArray&) = delete;
  GrowArray& operator=(const GrowArray&) = delete;
  ~GrowArray() { std::free(data_); }

  // Grows the count by n; the new elements are uninitialised. When the room cannot be had
  // (maximum exceeded, size overflow, reallocation failed) the array is left as it was and
  // the error handler ends the operation with VLX_EXIT 8.
  void Add(size_t n) {
    if (n > SIZE_MAX - count_)
      Errors().MemoryError();
    size_t newCount = count_ + n;
    if (capacity_ >= newCount) {
      count_ = newCount;
      return;
    }
    if (maximum_ != 0 && maximum_ < newCount) {
      Errors().FormatReport(L"Maximum allowed array size (%u) is exceeded",
                            static_cast<unsigned>(maximum_));
      Errors().MemoryError();
    }
    size_t grown = capacity_ + capacity_ / 4 + 32;
    size_t newCapacity = newCount > grown ? newCount : grown;
    if (newCapacity > SIZE_MAX / sizeof(T))
      Errors().MemoryError();
    void* p = std::realloc(data_, newCapacity * sizeof(T));
    if (p == nullptr)
      Errors().MemoryError();  // realloc left the old block in place
    data_ = static_cast<T*>(p);
    capacity_ = newCapacity;
    count_ = newCount;
  }

  void Push(const T& item) {
    T copy = item;  // item may live in this array, which Add may move
    Add(1);
    data_[count_ - 1] = copy;
  }

  // Drops elements from the end (no reallocation).
  void Truncate(size_t count) {
    if (count < count_)
      count_ = count;
  }
  void Clear() { count_ = 0; }

  size_t Count() const { return count_; }
  size_t Capacity() const { return capacity_; }
  void SetMaximum(size_t maximum) { maximum_ = maximum; }
  T* Data() { return data_; }
  const T* Data() const { return data_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }

 private:
  T* data_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
  size_t maximum_ = 0;
};
