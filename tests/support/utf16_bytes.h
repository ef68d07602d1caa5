#pragma once
// The bytes of a text in UTF-16, as a file on disk holds them.

#include <string>

// Little-endian, with the byte-order mark FF FE in front unless mark is false.
inline std::string Utf16Le(const std::wstring& text, bool mark = true) {
  std::string bytes = mark ? std::string("\xFF\xFE", 2) : std::string();
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  return bytes;
}

// Big-endian, with the byte-order mark FE FF in front.
inline std::string Utf16Be(const std::wstring& text) {
  std::string bytes("\xFE\xFF", 2);
  for (wchar_t c : text) {
    bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    bytes.push_back(static_cast<char>(c & 0xFF));
  }
  return bytes;
}
