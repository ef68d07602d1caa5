#include "lang/language_file_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "memory_file.h"
#include "support/utf16_bytes.h"

namespace {

const std::string kAnsiMarker = "***messages***";
const std::string kUtf16Marker = Utf16Le(L"***messages***", false);

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

std::wstring ReadText(const std::string& bytes, uint32_t maxRead = 0xFFFFFFFF) {
  MemoryFile file(bytes, maxRead);
  size_t length = 0;
  std::unique_ptr<wchar_t, FreeDeleter> text(ReadLanguageText(file, length));
  if (!text)
    return L"<none>";
  EXPECT_EQ(text.get()[length], 0);
  return text.get();
}

bool Find(const std::string& bytes, uint64_t& position, LanguageEncoding& encoding) {
  MemoryFile file(bytes);
  return FindLanguageMarker(file, position, encoding);
}

TEST(LanguageFileReader, MarkerFormsAndDecoding) {
  // 8-bit text is read in the ANSI code page (ASCII here), whatever comes in front.
  EXPECT_EQ(ReadText("notes\r\n" + kAnsiMarker + "\r\nIDS_A x\r\n"),
            L"***messages***\r\nIDS_A x\r\n");
  // A UTF-8 byte-order mark is just something in front of the marker.
  EXPECT_EQ(ReadText("\xEF\xBB\xBF" + kAnsiMarker + "\nA b"), L"***messages***\nA b");
  // UTF-16 with a byte-order mark, and at an odd offset.
  EXPECT_EQ(ReadText(Utf16Le(L"x\r\n***messages***\r\nA \x05D0\r\n")),
            L"***messages***\r\nA \x05D0\r\n");
  EXPECT_EQ(ReadText("abc" + Utf16Le(L"***messages***\nA b\n", false)), L"***messages***\nA b\n");
  // An odd last byte of UTF-16 text is ignored.
  EXPECT_EQ(ReadText(Utf16Le(L"***messages***\nA b", false) + "Z"), L"***messages***\nA b");
  // The marker's last asterisk is not examined.
  EXPECT_EQ(ReadText("***messages**?\nA b\n"), L"***messages**?\nA b\n");
  // Near misses.
  EXPECT_EQ(ReadText("**messages***\nA b\n............."), L"<none>");
  EXPECT_EQ(ReadText("***Messages***\nA b\n............"), L"<none>");
  EXPECT_EQ(ReadText(""), L"<none>");
  // A file that is the marker alone is too short to be examined: no text, hence no entries.
  EXPECT_EQ(ReadText(kAnsiMarker), L"<none>");
  EXPECT_EQ(ReadText(kUtf16Marker), L"<none>");
  // A NUL byte ends 8-bit text.
  EXPECT_EQ(ReadText(kAnsiMarker + "\nA b" + std::string(1, '\0') + "\nC d\n"),
            L"***messages***\nA b");
  // Reads that deliver a few bytes at a time give the same text.
  EXPECT_EQ(ReadText("xx" + kAnsiMarker + "\r\nIDS_A x\r\n" + std::string(40000, 'y'), 7).size(),
            14u + 11u + 40000u);
}

TEST(LanguageFileReader, FirstMarkerWins) {
  uint64_t position = 0;
  LanguageEncoding encoding = LanguageEncoding::Ansi;
  ASSERT_TRUE(Find("ab" + kUtf16Marker + kAnsiMarker + "\r\n......", position, encoding));
  EXPECT_EQ(position, 2u);
  EXPECT_EQ(encoding, LanguageEncoding::Utf16);
  ASSERT_TRUE(Find("a" + kAnsiMarker + kUtf16Marker + "\r\n......", position, encoding));
  EXPECT_EQ(position, 1u);
  EXPECT_EQ(encoding, LanguageEncoding::Ansi);
}

// A marker of either encoding is found at every byte offset around the first two block
// boundaries, in files that continue behind it and in files that end shortly after it.
TEST(LanguageFileReader, MarkerAtEveryOffsetAroundBlockBoundaries) {
  const std::string tail = "\r\nIDS_A x\r\n";
  const std::string tail16 = Utf16Le(L"\r\nIDS_A x\r\n", false);
  for (const uint64_t boundary : {uint64_t{kMarkerBlockSize}, uint64_t{2 * kMarkerBlockSize}}) {
    for (uint64_t at = boundary - 64; at <= boundary + 64; ++at) {
      for (const bool utf16 : {false, true}) {
        for (const bool longFile : {false, true}) {
          std::string bytes(at, '.');
          bytes += utf16 ? kUtf16Marker + tail16 : kAnsiMarker + tail;
          if (longFile)
            bytes += std::string(20000, '.');
          uint64_t position = 0;
          LanguageEncoding encoding = LanguageEncoding::Ansi;
          ASSERT_TRUE(Find(bytes, position, encoding)) << at << (utf16 ? " utf16" : " ansi");
          EXPECT_EQ(position, at);
          EXPECT_EQ(encoding, utf16 ? LanguageEncoding::Utf16 : LanguageEncoding::Ansi);
        }
      }
    }
  }
}

TEST(LanguageFileReader, SearchGivesUpAfterTheBlockLimit) {
  // Blocks overlap, so 256 blocks cover a little less than 256 * 8 KiB.
  const size_t covered = kMarkerBlockLimit * (kMarkerBlockSize - 32);
  uint64_t position = 0;
  LanguageEncoding encoding = LanguageEncoding::Ansi;
  EXPECT_TRUE(
      Find(std::string(covered - 100, ' ') + kAnsiMarker + "\r\nA b\r\n" + std::string(100000, ' '),
           position, encoding));
  EXPECT_EQ(position, covered - 100);
  EXPECT_FALSE(
      Find(std::string(covered + 100, ' ') + kAnsiMarker + "\r\nA b\r\n" + std::string(100000, ' '),
           position, encoding));
  // The search reads nothing beyond the end of a short file.
  MemoryFile small("no marker here, just a few words of text");
  EXPECT_FALSE(FindLanguageMarker(small, position, encoding));
  EXPECT_LE(small.Reads, 2);
}

TEST(LanguageFileReader, SizeLimits) {
  // At most 2 MiB are read from the marker on, and at most 1 Mi characters are kept.
  const std::string ansi = kAnsiMarker + std::string(3 * 1024 * 1024, 'a');
  EXPECT_EQ(ReadText(ansi).size(), size_t{kLanguageCharLimit});
  const std::string utf16 = "x" + kUtf16Marker + Utf16Le(std::wstring(1200000, L'b'), false);
  const std::wstring text = ReadText(utf16);
  EXPECT_EQ(text.size(), size_t{kLanguageCharLimit});
  EXPECT_EQ(text.back(), L'b');
}

}  // namespace
