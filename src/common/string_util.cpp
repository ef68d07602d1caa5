#include "common/string_util.h"

#include <windows.h>

void CopyBounded(wchar_t* dest, const wchar_t* src, size_t capacity) {
  if (capacity == 0) return;
  size_t i = 0;
  if (src != nullptr) {
    for (; i + 1 < capacity && src[i] != 0; ++i) dest[i] = src[i];
  }
  dest[i] = 0;
}

void AppendBounded(wchar_t* dest, const wchar_t* src, size_t capacity) {
  size_t len = 0;
  while (len < capacity && dest[len] != 0) ++len;
  if (len >= capacity) return;
  CopyBounded(dest + len, src, capacity - len);
}

void CopyNarrowBounded(char* dest, const char* src, size_t capacity) {
  if (capacity == 0) return;
  size_t i = 0;
  if (src != nullptr) {
    for (; i + 1 < capacity && src[i] != 0; ++i) dest[i] = src[i];
  }
  dest[i] = 0;
}

void AppendNarrowBounded(char* dest, const char* src, size_t capacity) {
  size_t len = 0;
  while (len < capacity && dest[len] != 0) ++len;
  if (len >= capacity) return;
  CopyNarrowBounded(dest + len, src, capacity - len);
}

size_t WideLength(const wchar_t* s) {
  size_t n = 0;
  if (s != nullptr) {
    while (s[n] != 0) ++n;
  }
  return n;
}

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

wchar_t UpperChar(wchar_t c) {
  // CharUpperW treats a pointer whose high word is zero as a single character.
  return static_cast<wchar_t>(
      reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

void IntToDecimal(int64_t value, wchar_t* dest, size_t capacity) {
  if (capacity == 0) return;
  // Work on the magnitude as unsigned so that INT64_MIN does not overflow.
  bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  size_t room = capacity - 1;
  size_t n = 0;
  do {
    if (n == room) break;
    dest[n++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative && n < room) dest[n++] = L'-';
  for (size_t i = 0, j = n ? n - 1 : 0; i < j; ++i, --j) {
    wchar_t t = dest[i];
    dest[i] = dest[j];
    dest[j] = t;
  }
  dest[n] = 0;
}

int64_t DecimalToInt(const wchar_t* text) {
  if (text == nullptr) return 0;
  bool negative = false;
  if (*text == L'-') {
    negative = true;
    ++text;
  }
  uint64_t value = 0;  // wraps on overflow instead of invoking undefined behaviour
  for (; IsAsciiDigit(*text); ++text) value = value * 10 + static_cast<uint64_t>(*text - L'0');
  return static_cast<int64_t>(negative ? 0 - value : value);
}

int CompareNoCase(const wchar_t* a, const wchar_t* b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a, -1, b, -1) - 2;
}

int CompareNoCasePrefix(const wchar_t* a, const wchar_t* b, size_t n) {
  size_t la = WideLength(a) + 1;
  size_t lb = WideLength(b) + 1;
  if (la > n) la = n;
  if (lb > n) lb = n;
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a,
                        static_cast<int>(la), b, static_cast<int>(lb)) -
         2;
}
