#include "settings/text_file.h"

#include <windows.h>

#include <climits>
#include <cstring>

#include "common/file.h"
#include "common/string_util.h"
#include "common/text_encoding.h"

namespace {

// Bytes asked for per read; the byte array always keeps this much room behind its data.
constexpr uint32_t kReadPiece = 65536;

// High bytes 0x00-0x1F other than LF and CR: a set bit in this mask marks a control character
// that only a UTF-16 text would produce.
constexpr uint32_t kUtf16ControlMask = 0xFFFFDBFF;

bool IsLineBreakUnit(wchar_t c) {
  return c == L'\r' || c == L'\n' || c == 0;
}
bool IsLineBreakByte(unsigned char c) {
  return c == '\r' || c == '\n' || c == 0;
}

// Adds one line without its trailing spaces and tabs, when anything is left.
void AddTrimmed(TextLines& lines, const wchar_t* line, size_t n) {
  while (n > 0 && (line[n - 1] == L' ' || line[n - 1] == L'\t'))
    --n;
  if (n > 0)
    lines.Add(line, n);
}

// complete: the text reached its true end; otherwise its last line is unfinished and dropped.
void SplitUtf16(const unsigned char* bytes, size_t count, bool bigEndian, bool complete,
                TextLines& lines) {
  // Skip the mark; an odd trailing byte is dropped.
  size_t units = (count - 2) / 2;
  const unsigned char* p = bytes + 2;
  GrowArray<wchar_t> line;
  for (size_t i = 0; i <= units; ++i) {
    wchar_t c = 0;
    if (i < units) {
      unsigned char b0 = p[2 * i];
      unsigned char b1 = p[2 * i + 1];
      c = bigEndian ? static_cast<wchar_t>((b0 << 8) | b1) : static_cast<wchar_t>((b1 << 8) | b0);
    }
    if (i == units && !complete)
      break;
    if (i == units || IsLineBreakUnit(c)) {
      AddTrimmed(lines, line.Data(), line.Count());
      line.Clear();
    } else {
      line.Push(c);
    }
  }
}

// Converts one segment of bytes that holds no line break (and no NUL) into UTF-16 in wide,
// which has room for n + 1 units; returns the units written.
size_t ConvertSegment(unsigned char* segment, size_t n, TextEncoding encoding, wchar_t* wide) {
  if (n == 0)
    return 0;
  if (encoding == kTextUtf8) {
    // Utf8ToWide reads terminated input: the byte behind the segment is a line break that is
    // no longer needed, so it becomes the terminator. Decoding stops at an invalid sequence;
    // only the rest of this line is lost.
    unsigned char saved = segment[n];
    segment[n] = 0;
    (void)Utf8ToWide(reinterpret_cast<const char*>(segment), wide, n + 1);
    segment[n] = saved;
    return WideLength(wide);
  }
  // ANSI code pages never use CR, LF or NUL inside a multi-byte character, so a segment
  // converts on its own. Each byte gives at most one unit.
  if (n > static_cast<size_t>(INT_MAX))
    Errors().MemoryError();
  int got = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(segment),
                                static_cast<int>(n), wide, static_cast<int>(n));
  return got > 0 ? static_cast<size_t>(got) : 0;
}

// bytes has one spare byte behind count (the read loop keeps room there). complete: as for
// SplitUtf16.
void SplitBytes(unsigned char* bytes, size_t count, TextEncoding encoding, bool complete,
                TextLines& lines) {
  size_t start = encoding == kTextUtf8 ? 3 : 0;  // the UTF-8 mark is skipped
  GrowArray<wchar_t> wide;
  for (size_t i = start; i <= count; ++i) {
    if (i < count && !IsLineBreakByte(bytes[i]))
      continue;
    if (i == count && !complete)
      break;
    size_t n = i - start;
    if (n > 0) {
      wide.Clear();
      wide.Add(n + 1);
      size_t got = ConvertSegment(bytes + start, n, encoding, wide.Data());
      AddTrimmed(lines, wide.Data(), got);
    }
    start = i + 1;
  }
}

}  // namespace

TextEncoding DetectTextEncoding(const unsigned char* bytes, size_t count) {
  if (count >= 4 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF &&
      IsValidUtf8(bytes + 3, count - 3)) {
    return kTextUtf8;
  }
  if (count >= 3) {
    size_t first = 0;
    if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
      first = 3;  // little-endian: the high byte is the second of each pair
    } else if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
      first = 2;
    }
    if (first != 0) {
      for (size_t i = first; i < count; i += 2) {
        unsigned char high = bytes[i];
        if (high < 0x20 && ((kUtf16ControlMask >> high) & 1) != 0)
          return kTextUtf16;
      }
    }
  }
  return kTextAnsi;
}

void TextLines::Add(const wchar_t* line, size_t n) {
  size_t at = units_.Count();
  units_.Add(n + 1);
  std::memcpy(units_.Data() + at, line, n * sizeof(wchar_t));
  units_[at + n] = 0;
  ++count_;
}

const wchar_t* TextLines::Next() {
  if (position_ >= units_.Count())
    return nullptr;
  const wchar_t* line = units_.Data() + position_;
  position_ += WideLength(line) + 1;
  return line;
}

void TextLines::Clear() {
  units_.Clear();
  count_ = 0;
  position_ = 0;
}

bool ReadTextLines(File& file, TextLines& lines) {
  GrowArray<unsigned char> bytes;
  for (;;) {
    size_t used = bytes.Count();
    bytes.Add(kReadPiece);
    int32_t got = file.Read(bytes.Data() + used, kReadPiece);
    bytes.Truncate(used + (got > 0 ? static_cast<size_t>(got) : 0));
    if (got <= 0)
      break;
  }
  // A read error looks like the end of the file to Read; only the file object knows.
  const bool complete = !file.ReadStopped();
  size_t count = bytes.Count();
  // One spare byte behind the data for the segment terminator (room is always there, since
  // the last read asked for a whole piece; this only makes it explicit).
  bytes.Add(1);
  bytes[count] = 0;
  TextEncoding encoding = DetectTextEncoding(bytes.Data(), count);
  if (encoding == kTextUtf16) {
    SplitUtf16(bytes.Data(), count, bytes[0] == 0xFE, complete, lines);
  } else {
    SplitBytes(bytes.Data(), count, encoding, complete, lines);
  }
  return complete;
}

bool ReadTextFileLines(const wchar_t* path, TextLines& lines) {
  File file;
  if (!file.Open(path, 0))
    return false;
  bool complete = ReadTextLines(file, lines);
  (void)file.Close();  // a read-only handle; a failed close is reported by the file object
  return complete;
}
