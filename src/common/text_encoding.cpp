#include "common/text_encoding.h"

#include <windows.h>

#include <climits>
#include <cstdint>

namespace {

int ClampToInt(size_t n) {
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

}  // namespace

bool AnsiToWide(const char* src, wchar_t* dest, size_t capacity) {
  // With a capacity of 0 the system call would only measure; nothing can be written.
  if (capacity == 0 || src == nullptr) {
    if (capacity != 0)
      dest[0] = 0;
    return false;
  }
  int room = ClampToInt(capacity);
  dest[0] = 0;
  int got = MultiByteToWideChar(CP_ACP, 0, src, -1, dest, room);
  dest[room - 1] = 0;  // a text that did not fit may be left unterminated by the system
  return got != 0;
}

bool WideToAnsi(const wchar_t* src, char* dest, size_t capacityBytes) {
  if (capacityBytes == 0 || src == nullptr) {
    if (capacityBytes != 0)
      dest[0] = 0;
    return false;
  }
  int room = ClampToInt(capacityBytes);
  dest[0] = 0;
  int got = WideCharToMultiByte(CP_ACP, 0, src, -1, dest, room, nullptr, nullptr);
  dest[room - 1] = 0;
  return got != 0;
}

bool Utf8ToWide(const char* src, wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return true;  // nothing decoded, nothing found wrong
  const unsigned char* p = reinterpret_cast<const unsigned char*>(src != nullptr ? src : "");
  size_t room = capacity - 1;  // one unit is kept for the terminator
  size_t out = 0;
  bool valid = true;
  while (*p != 0 && room != 0) {
    unsigned lead = *p;
    uint32_t cp;
    int extra;
    if (lead < 0x80) {
      cp = lead;
      extra = 0;
    } else if (lead >= 0xC0 && lead <= 0xDF) {
      cp = lead & 0x1F;
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      cp = lead & 0x0F;
      extra = 2;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
      cp = lead & 0x07;
      extra = 3;
    } else {
      valid = false;
      break;
    }
    ++p;
    bool badContinuation = false;
    for (int i = 0; i < extra; ++i, ++p) {
      // The terminator is below 0x80, so this never reads past the end of the text.
      if (*p < 0x80 || *p > 0xBF) {
        badContinuation = true;
        break;
      }
      cp = (cp << 6) | (*p & 0x3F);
    }
    if (badContinuation) {
      valid = false;
      break;
    }
    if (cp < 0x10000) {
      dest[out++] = static_cast<wchar_t>(cp);
      --room;
    } else if (cp <= 0x10FFFF) {
      if (room < 2)
        break;  // no room for the pair: stop with what was decoded so far
      cp -= 0x10000;
      dest[out++] = static_cast<wchar_t>(0xD800 + (cp >> 10));
      dest[out++] = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
      room -= 2;
    } else {
      // Beyond Unicode: dropped, but it takes the room a pair would have taken.
      valid = false;
      room -= room < 2 ? room : 2;
    }
  }
  dest[out] = 0;
  return valid;
}

bool IsValidUtf8(const unsigned char* bytes, size_t count) {
  size_t i = 0;
  while (i < count) {
    unsigned lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t ones = 0;
    while (ones < 8 && (lead & (0x80u >> ones)) != 0)
      ++ones;
    if (ones == 1 || ones > 6)
      return false;
    if (count - i < ones)
      return false;
    for (size_t k = 1; k < ones; ++k) {
      if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF)
        return false;
    }
    i += ones;
  }
  return true;
}
