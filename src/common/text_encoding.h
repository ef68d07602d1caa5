#pragma once
// Conversions between UTF-16 and the system ANSI code page or UTF-8.

#include <cstddef>

// MultiByteToWideChar(CP_ACP, 0). The destination is emptied first and its last unit is
// forced to 0 afterwards. Returns whether the system call succeeded.
bool AnsiToWide(const char* src, wchar_t* dest, size_t capacity);
// WideCharToMultiByte(CP_ACP, 0, no default character); capacity in bytes; same rules.
bool WideToAnsi(const wchar_t* src, char* dest, size_t capacityBytes);
// Decodes terminated UTF-8 into UTF-16 within capacity; true when the whole input was valid.
// Invalid lead or continuation bytes end decoding (output terminated, result false).
bool Utf8ToWide(const char* src, wchar_t* dest, size_t capacity);
// Structural check of count bytes (no terminator needed); five- and six-byte forms pass.
bool IsValidUtf8(const unsigned char* bytes, size_t count);
