#include "common/text_encoding.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "guarded_buffer.h"

namespace {

// Reference decoder in two steps: first the input becomes a list of pieces (one unit, a pair,
// a dropped code point beyond Unicode, or the stop at an invalid byte), then the pieces are laid
// out within the room that the capacity leaves.
struct Piece {
  enum Kind { Unit, Pair, Dropped, Invalid } kind;
  std::wstring units;
};

std::vector<Piece> Pieces(const std::string& bytes) {
  std::vector<Piece> pieces;
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char lead = static_cast<unsigned char>(bytes[i]);
    size_t extra = lead < 0x80   ? 0
                   : lead < 0xC0 ? 9
                   : lead < 0xE0 ? 1
                   : lead < 0xF0 ? 2
                   : lead < 0xF8 ? 3
                                 : 9;
    if (extra == 9) {
      pieces.push_back({Piece::Invalid, L""});
      return pieces;
    }
    uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char b = i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0;
      if (b < 0x80 || b > 0xBF) {
        pieces.push_back({Piece::Invalid, L""});
        return pieces;
      }
      cp = (cp << 6) | (b & 0x3F);
    }
    i += extra + 1;
    if (cp < 0x10000) {
      pieces.push_back({Piece::Unit, std::wstring(1, static_cast<wchar_t>(cp))});
    } else if (cp < 0x110000) {
      std::wstring pair;
      pair += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
      pair += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
      pieces.push_back({Piece::Pair, pair});
    } else {
      pieces.push_back({Piece::Dropped, L""});
    }
  }
  return pieces;
}

bool DecodeModel(const std::string& bytes, size_t capacity, std::wstring& out) {
  out.clear();
  size_t room = capacity - 1;
  bool valid = true;
  for (const Piece& piece : Pieces(bytes)) {
    if (room == 0)
      break;
    if (piece.kind == Piece::Invalid)
      return false;
    if (piece.kind == Piece::Dropped) {
      valid = false;
      room -= room < 2 ? room : 2;
      continue;
    }
    if (piece.units.size() > room)
      break;
    out += piece.units;
    room -= piece.units.size();
  }
  return valid;
}

std::string EncodeUtf8(uint32_t cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18));
    s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

// Mostly well-formed text with some stray bytes, so that every branch is reached.
std::string RandomUtf8(std::mt19937& rng, size_t maxChars, bool allowGarbage) {
  std::string s;
  size_t n = RandomSize(rng, 0, maxChars);
  for (size_t i = 0; i < n; ++i) {
    int kind = static_cast<int>(RandomSize(rng, 0, 9));
    if (allowGarbage && kind == 0) {
      s += static_cast<char>(RandomSize(rng, 1, 255));
      continue;
    }
    if (allowGarbage && kind == 1 && RandomSize(rng, 0, 3) == 0) {
      // A four-byte form beyond U+10FFFF (F4 90.. to F7 BF..).
      s += static_cast<char>(RandomSize(rng, 0xF4, 0xF7));
      s += static_cast<char>(RandomSize(rng, 0x90, 0xBF));
      s += static_cast<char>(RandomSize(rng, 0x80, 0xBF));
      s += static_cast<char>(RandomSize(rng, 0x80, 0xBF));
      continue;
    }
    uint32_t limit = kind < 4 ? 0x7F : kind < 6 ? 0x7FF : kind < 8 ? 0xFFFF : 0x10FFFF;
    uint32_t cp = static_cast<uint32_t>(RandomSize(rng, 1, limit));
    if (!allowGarbage && cp >= 0xD800 && cp <= 0xDFFF)
      cp = 0x4E2D;
    s += EncodeUtf8(cp);
  }
  return s;
}

}  // namespace

TEST(Utf8ToWide, KnownTexts) {
  wchar_t out[16];
  EXPECT_TRUE(Utf8ToWide("\xF0\x9F\x98\x80", out, 16));
  EXPECT_EQ(std::wstring(out), std::wstring(L"\xD83D\xDE00"));
  EXPECT_FALSE(Utf8ToWide("\x80", out, 16));
  EXPECT_STREQ(out, L"");
  EXPECT_FALSE(Utf8ToWide("ab\xC3(", out, 16));  // bad continuation ends decoding
  EXPECT_STREQ(out, L"ab");
  EXPECT_FALSE(Utf8ToWide("a\xF8\x80", out, 16));
  EXPECT_STREQ(out, L"a");
  EXPECT_FALSE(Utf8ToWide("x\xE4\xB8", out, 16));  // cut short by the terminator
  EXPECT_STREQ(out, L"x");
  // Beyond U+10FFFF: dropped, decoding goes on, result false.
  EXPECT_FALSE(Utf8ToWide("a\xF4\x90\x80\x80z", out, 16));
  EXPECT_STREQ(out, L"az");
  EXPECT_TRUE(Utf8ToWide("", out, 16));
  EXPECT_STREQ(out, L"");
}

TEST(Utf8ToWide, RoomRules) {
  wchar_t out[8];
  // A pair that does not fit stops decoding; what was decoded stays.
  EXPECT_TRUE(Utf8ToWide("ab\xF0\x9F\x98\x80", out, 4));
  EXPECT_STREQ(out, L"ab");
  EXPECT_TRUE(Utf8ToWide("abcdef", out, 4));
  EXPECT_STREQ(out, L"abc");
  GuardedBuffer<wchar_t> zero(0);
  Utf8ToWide("abc", zero.Data(), 0);
  EXPECT_TRUE(zero.GuardsIntact());
  wchar_t one[1] = {L'q'};
  Utf8ToWide("abc", one, 1);
  EXPECT_EQ(one[0], 0);
  // A dropped code point beyond Unicode takes two units of room.
  EXPECT_FALSE(
      Utf8ToWide("\xF4\x90\x80\x80"
                 "ab",
                 out, 3));
  EXPECT_STREQ(out, L"");
  EXPECT_FALSE(
      Utf8ToWide("\xF4\x90\x80\x80"
                 "ab",
                 out, 4));
  EXPECT_STREQ(out, L"a");
  EXPECT_FALSE(Utf8ToWide("a\xF7\xBF\xBF\xBF", out, 3));  // only one unit of room left
  EXPECT_STREQ(out, L"a");
}

TEST(Utf8ToWide, RandomInputsMatchModelAndKeepGuards) {
  std::mt19937 rng(8);
  for (int round = 0; round < 5000; ++round) {
    std::string bytes = RandomUtf8(rng, 20, true);
    size_t capacity = RandomSize(rng, 1, 48);
    GuardedBuffer<wchar_t> dest(capacity);
    bool got = Utf8ToWide(bytes.c_str(), dest.Data(), capacity);
    ASSERT_TRUE(dest.GuardsIntact()) << round;
    std::wstring expected;
    bool expectedValid = DecodeModel(bytes, capacity, expected);
    bool terminated = false;
    ASSERT_EQ(dest.Text(&terminated), expected) << round;
    ASSERT_TRUE(terminated);
    ASSERT_EQ(got, expectedValid) << round;
  }
}

TEST(Utf8ToWide, AgreesWithTheSystemOnWellFormedText) {
  std::mt19937 rng(9);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes = RandomUtf8(rng, 40, false);
    wchar_t ours[512];
    ASSERT_TRUE(Utf8ToWide(bytes.c_str(), ours, 512));
    wchar_t system[512];
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.c_str(), -1, system, 512);
    ASSERT_GT(n, 0);
    ASSERT_EQ(std::wstring(ours), std::wstring(system)) << round;
  }
}

TEST(IsValidUtf8, StructuralCheck) {
  auto valid = [](const std::string& s) {
    return IsValidUtf8(reinterpret_cast<const unsigned char*>(s.data()), s.size());
  };
  EXPECT_TRUE(valid(""));
  EXPECT_TRUE(valid("plain"));
  EXPECT_TRUE(valid("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"));
  EXPECT_TRUE(valid("\xF8\x80\x80\x80\x80"));      // five-byte form passes
  EXPECT_TRUE(valid("\xFC\x80\x80\x80\x80\x80"));  // six-byte form passes
  EXPECT_FALSE(valid("\x80"));
  EXPECT_FALSE(valid("a\xBF"));
  EXPECT_FALSE(valid("\xFE\x80\x80\x80\x80\x80\x80"));
  EXPECT_FALSE(valid("\xFF"));
  EXPECT_FALSE(valid("\xE4\xB8"));  // runs out of bytes
  EXPECT_FALSE(
      valid("\xC3"
            "a"));
  EXPECT_TRUE(valid(std::string("a\0b", 3)));  // no terminator needed, NUL is a character
  // The count is honoured: bytes beyond it are not looked at.
  const unsigned char cut[] = {'a', 0xC3, 0xA9};
  EXPECT_TRUE(IsValidUtf8(cut, 1));
  EXPECT_FALSE(IsValidUtf8(cut, 2));
}

TEST(IsValidUtf8, AgreesWithTheSystemOnRandomText) {
  std::mt19937 rng(10);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes = RandomUtf8(rng, 20, false);
    ASSERT_TRUE(IsValidUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
    if (!bytes.empty()) {
      // Cutting inside a multi-byte character makes the text invalid.
      size_t last = bytes.size() - 1;
      while (last > 0 && (static_cast<unsigned char>(bytes[last]) & 0xC0) == 0x80)
        --last;
      size_t charLength = bytes.size() - last;
      if (charLength > 1) {
        ASSERT_FALSE(
            IsValidUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size() - 1));
      }
    }
  }
}

TEST(AnsiToWide, ConvertsAndTerminates) {
  wchar_t out[16];
  EXPECT_TRUE(AnsiToWide("hello", out, 16));
  EXPECT_STREQ(out, L"hello");
  GuardedBuffer<wchar_t> small(3);
  EXPECT_FALSE(AnsiToWide("hello", small.Data(), 3));  // does not fit: failure, still terminated
  EXPECT_TRUE(small.GuardsIntact());
  bool terminated = false;
  small.Text(&terminated);
  EXPECT_TRUE(terminated);
  GuardedBuffer<wchar_t> zero(0);
  EXPECT_FALSE(AnsiToWide("x", zero.Data(), 0));
  EXPECT_TRUE(zero.GuardsIntact());
}

TEST(WideToAnsi, ConvertsAndTerminates) {
  char out[16];
  EXPECT_TRUE(WideToAnsi(L"hello", out, 16));
  EXPECT_STREQ(out, "hello");
  GuardedBuffer<char> small(3);
  EXPECT_FALSE(WideToAnsi(L"hello", small.Data(), 3));
  EXPECT_TRUE(small.GuardsIntact());
  bool terminated = false;
  small.Text(&terminated);
  EXPECT_TRUE(terminated);
  GuardedBuffer<char> zero(0);
  EXPECT_FALSE(WideToAnsi(L"x", zero.Data(), 0));
  EXPECT_TRUE(zero.GuardsIntact());
  // Round trip through the ANSI code page for plain ASCII.
  wchar_t back[16];
  ASSERT_TRUE(AnsiToWide(out, back, 16));
  EXPECT_STREQ(back, L"hello");
}
