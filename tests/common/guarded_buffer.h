#pragma once
// Test helpers for the bounded string functions: a buffer with guard units behind its
// capacity that must stay untouched, and random texts drawn from an alphabet that is rich in
// the characters the functions treat specially.

#include <cstddef>
#include <random>
#include <string>
#include <vector>

template <typename Char>
class GuardedBuffer {
 public:
  static constexpr size_t kGuard = 16;
  static constexpr Char kFill = static_cast<Char>(0x5A);  // 'Z': never produced by the code
  static constexpr Char kGuardUnit = static_cast<Char>(0x7E);

  explicit GuardedBuffer(size_t capacity) : capacity_(capacity), units_(capacity + kGuard) {
    for (size_t i = 0; i < capacity; ++i)
      units_[i] = kFill;
    for (size_t i = capacity; i < units_.size(); ++i)
      units_[i] = kGuardUnit;
  }
  // Puts text (terminated when it fits) at the start of the buffer, within the capacity.
  void Set(const std::basic_string<Char>& text) {
    for (size_t i = 0; i < text.size() && i < capacity_; ++i)
      units_[i] = text[i];
    if (text.size() < capacity_)
      units_[text.size()] = 0;
  }
  Char* Data() { return units_.data(); }
  size_t Capacity() const { return capacity_; }
  bool GuardsIntact() const {
    for (size_t i = capacity_; i < units_.size(); ++i) {
      if (units_[i] != kGuardUnit)
        return false;
    }
    return true;
  }
  // The text up to the first terminator; empty when the buffer holds none within capacity
  // (reported through terminated).
  std::basic_string<Char> Text(bool* terminated = nullptr) const {
    for (size_t i = 0; i < capacity_; ++i) {
      if (units_[i] == 0) {
        if (terminated != nullptr)
          *terminated = true;
        return std::basic_string<Char>(units_.data(), i);
      }
    }
    if (terminated != nullptr)
      *terminated = false;
    return std::basic_string<Char>();
  }
  Char At(size_t i) const { return units_[i]; }

 private:
  size_t capacity_;
  std::vector<Char> units_;
};

// Random wide text of up to maxLength units from a path-and-command-line alphabet, including
// non-ASCII letters and a surrogate pair.
inline std::wstring RandomWide(std::mt19937& rng, size_t maxLength) {
  static const wchar_t kAlphabet[] = L"ab:C\\/. \t\"*?x\u00e9\u4e2d\xd83d\xde00";
  const size_t alphabetSize = sizeof(kAlphabet) / sizeof(kAlphabet[0]) - 1;
  size_t length = std::uniform_int_distribution<size_t>(0, maxLength)(rng);
  std::wstring text;
  for (size_t i = 0; i < length; ++i) {
    text += kAlphabet[std::uniform_int_distribution<size_t>(0, alphabetSize - 1)(rng)];
  }
  return text;
}

inline std::string RandomNarrow(std::mt19937& rng, size_t maxLength) {
  size_t length = std::uniform_int_distribution<size_t>(0, maxLength)(rng);
  std::string text;
  for (size_t i = 0; i < length; ++i) {
    text += static_cast<char>(std::uniform_int_distribution<int>(1, 255)(rng));
  }
  return text;
}

inline size_t RandomSize(std::mt19937& rng, size_t low, size_t high) {
  return std::uniform_int_distribution<size_t>(low, high)(rng);
}
