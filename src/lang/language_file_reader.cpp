#include "lang/language_file_reader.h"

#include <cstdlib>
#include <cstring>

#include "common/file.h"
#include "common/text_encoding.h"

namespace {

// Two asterisks, then the first 11 characters of "*messages***": the marker's last asterisk
// is not examined.
constexpr char kMarkerTail[] = "*messages**";
constexpr size_t kMarkerTailLength = 11;
// Bytes that must be in the block for an offset to be examined, per encoding.
constexpr size_t kAnsiWindow = 16;
constexpr size_t kUtf16Window = 32;
// Consecutive blocks overlap by this much, so that a marker of either encoding that straddles
// a block boundary is wholly inside the next block at an offset that is examined.
constexpr size_t kBlockOverlap = kUtf16Window;

bool IsAnsiMarker(const unsigned char* p) {
  if (p[0] != '*' || p[1] != '*')
    return false;
  return std::memcmp(p + 2, kMarkerTail, kMarkerTailLength) == 0;
}

bool IsUtf16Marker(const unsigned char* p) {
  if (p[0] != '*' || p[1] != 0 || p[2] != '*' || p[3] != 0)
    return false;
  for (size_t i = 0; i < kMarkerTailLength; ++i) {
    if (p[4 + 2 * i] != static_cast<unsigned char>(kMarkerTail[i]) || p[5 + 2 * i] != 0) {
      return false;
    }
  }
  return true;
}

// Reads until count bytes are in or the file ends.
size_t ReadFully(File& file, unsigned char* buffer, size_t count) {
  size_t total = 0;
  while (total < count) {
    const int32_t n = file.Read(buffer + total, static_cast<uint32_t>(count - total));
    if (n <= 0)
      break;
    total += static_cast<size_t>(n);
  }
  return total;
}

}  // namespace

bool FindMarkerInBlock(const unsigned char* block, size_t count, size_t& offset,
                       LanguageEncoding& encoding) {
  if (count < kAnsiWindow)
    return false;
  for (size_t j = 0; j + kAnsiWindow <= count; ++j) {
    if (IsAnsiMarker(block + j)) {
      offset = j;
      encoding = LanguageEncoding::Ansi;
      return true;
    }
    if (j + kUtf16Window <= count && IsUtf16Marker(block + j)) {
      offset = j;
      encoding = LanguageEncoding::Utf16;
      return true;
    }
  }
  return false;
}

bool FindLanguageMarker(File& file, uint64_t& position, LanguageEncoding& encoding) {
  unsigned char block[kMarkerBlockSize];
  uint64_t blockStart = 0;
  for (uint32_t blocks = 0; blocks < kMarkerBlockLimit; ++blocks) {
    file.Seek(blockStart);
    const size_t n = ReadFully(file, block, sizeof(block));
    size_t offset = 0;
    if (FindMarkerInBlock(block, n, offset, encoding)) {
      position = blockStart + offset;
      return true;
    }
    // A short block is the end of the file: there is nothing further to look at.
    if (n < sizeof(block))
      return false;
    blockStart += n - kBlockOverlap;
  }
  return false;
}

wchar_t* ReadLanguageText(File& file, size_t& length) {
  length = 0;
  uint64_t position = 0;
  LanguageEncoding encoding = LanguageEncoding::Ansi;
  if (!FindLanguageMarker(file, position, encoding))
    return nullptr;

  file.Seek(position);
  // Two spare bytes: room for a terminator in either encoding.
  auto* bytes = static_cast<unsigned char*>(std::malloc(kLanguageReadLimit + 2));
  if (bytes == nullptr)
    return nullptr;
  size_t count = ReadFully(file, bytes, kLanguageReadLimit);

  wchar_t* text = nullptr;
  if (encoding == LanguageEncoding::Utf16) {
    count /= 2;  // an odd last byte is ignored
    text = reinterpret_cast<wchar_t*>(bytes);
  } else {
    bytes[count] = 0;
    text = static_cast<wchar_t*>(std::malloc((count + 1) * sizeof(wchar_t)));
    if (text != nullptr) {
      // A NUL byte in the text ends the conversion there, as it would end the parse.
      (void)AnsiToWide(reinterpret_cast<const char*>(bytes), text, count + 1);
    }
    std::free(bytes);
    if (text == nullptr)
      return nullptr;
  }
  length = count < kLanguageCharLimit ? count : kLanguageCharLimit;
  text[length] = 0;
  return text;
}
