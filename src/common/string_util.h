#pragma once
// Bounded copies, characters, numbers and case-insensitive comparison over NUL-terminated
// strings in caller-owned fixed buffers. Capacities are in units (characters for wide strings,
// bytes for narrow ones), terminator included. Nothing here allocates, and nothing writes past
// the capacity it is given: a result that does not fit is cut short and still terminated.
// A capacity of 0 means that nothing at all is written, not even a terminator.

#include <cstddef>
#include <cstdint>

// The usual capacity of a path or text buffer, in characters, terminator included.
constexpr size_t kPathBufferCapacity = 2048;

// Copies at most capacity-1 units and always terminates; does nothing when capacity is 0.
void CopyBounded(wchar_t* dest, const wchar_t* src, size_t capacity);
// Appends src behind dest within capacity; does nothing when dest already holds capacity or
// more units.
void AppendBounded(wchar_t* dest, const wchar_t* src, size_t capacity);
void CopyNarrowBounded(char* dest, const char* src, size_t capacity);
void AppendNarrowBounded(char* dest, const char* src, size_t capacity);

// Array forms: the capacity is the array's own size.
template <size_t N>
inline void CopyBounded(wchar_t (&dest)[N], const wchar_t* src) {
  CopyBounded(dest, src, N);
}
template <size_t N>
inline void AppendBounded(wchar_t (&dest)[N], const wchar_t* src) {
  AppendBounded(dest, src, N);
}

// Length of a terminated wide string (no limit) and with a limit.
size_t WideLength(const wchar_t* s);

bool IsAsciiLetter(wchar_t c);
bool IsAsciiDigit(wchar_t c);
// Maps a-z to A-Z; everything else unchanged.
wchar_t AsciiUpper(wchar_t c);
// Locale-aware upper case of one character (CharUpperW).
wchar_t UpperChar(wchar_t c);

// Signed 64-bit value to decimal text. At most capacity-1 characters in all, leading '-'
// included: a number too long for the buffer loses its leading digits.
void IntToDecimal(int64_t value, wchar_t* dest, size_t capacity);
// Optional leading '-', then digits up to the first non-digit; no spaces, no '+'.
// Empty or non-numeric text gives 0.
int64_t DecimalToInt(const wchar_t* text);

// Case-insensitive comparison through CompareStringW (user locale, NORM_IGNORECASE |
// SORT_STRINGSORT); <0, 0 or >0.
int CompareNoCase(const wchar_t* a, const wchar_t* b);
// The same over at most n units of each string (terminator included when a string is shorter
// than n): with n = 4, "noexplorer" and "noex" compare equal.
int CompareNoCasePrefix(const wchar_t* a, const wchar_t* b, size_t n);
