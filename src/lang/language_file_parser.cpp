#include "lang/language_file_parser.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "common/string_util.h"
#include "common/text_encoding.h"

namespace {

constexpr wchar_t kCR = L'\r';
constexpr wchar_t kLF = L'\n';
// Names of entries and of sections are taken from at most this many characters.
constexpr size_t kNameChars = 99;
constexpr size_t kNameBytes = 100;

bool IsLineEnd(wchar_t c) {
  return c == kCR || c == kLF;
}
bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

// Wide name to the ANSI code page. Plain ASCII, by far the usual case, is copied directly:
// every ANSI code page agrees with ASCII there.
void NameToAnsi(const wchar_t* name, char* dest, size_t capacity) {
  size_t i = 0;
  for (; name[i] != 0; ++i) {
    if (name[i] >= 0x80) {
      (void)WideToAnsi(name, dest, capacity);  // a failed conversion leaves dest empty
      return;
    }
    if (i + 1 >= capacity)
      break;
    dest[i] = static_cast<char>(name[i]);
  }
  dest[i] = 0;
}

// The header words, tried in this order. Each must be followed by a character of code 0x20
// or below (a blank, a line end or the end of the text).
enum class Header { None, Strings, Dialog, Menu, Direction };

Header MatchHeader(const wchar_t* at, size_t& wordLength) {
  static const struct {
    const wchar_t* Word;
    Header Kind;
  } kHeaders[] = {{L"STRINGS", Header::Strings},
                  {L"DIALOG", Header::Dialog},
                  {L"MENU", Header::Menu},
                  {L"DIRECTION", Header::Direction}};
  for (const auto& header : kHeaders) {
    size_t i = 0;
    // A mismatch (the text's NUL included) stops the comparison, so nothing beyond the
    // text's end is read.
    while (header.Word[i] != 0 && at[i] == header.Word[i])
      ++i;
    if (header.Word[i] == 0 && at[i] <= 0x20) {
      wordLength = i;
      return header.Kind;
    }
  }
  return Header::None;
}

// The word behind a header word: blanks skipped, then up to kNameChars characters above 0x20.
void HeaderArgument(const wchar_t* at, wchar_t (&word)[kNameChars + 1]) {
  while (IsBlank(*at))
    ++at;
  size_t n = 0;
  while (n < kNameChars && at[n] > 0x20) {
    word[n] = at[n];
    ++n;
  }
  word[n] = 0;
}

class Parser {
 public:
  Parser(wchar_t* buffer, LanguageEntrySink sink, void* context)
      : buffer_(buffer), sink_(sink), context_(context) {
    CopyNarrowBounded(prefix_, "s:", sizeof(prefix_));
  }

  void Run(const wchar_t* text, bool& rightToLeft) {
    size_t h = 0;
    for (;;) {
      if (h > 0 && IsLineEnd(text[h - 1])) {
        if (text[h] == L':') {
          h = ReadHeader(text, h, rightToLeft);
        } else if (IsAsciiLetter(text[h])) {
          h = ReadEntryName(text, h);
        }
      }
      const wchar_t c = text[h];
      if (c == 0)
        break;
      ++h;
      if (c == L'\\') {
        if (length_ >= kLanguageTextLength)
          continue;  // full: the backslash is dropped
        wchar_t escaped = 0;
        switch (text[h]) {
          case L'"':
            escaped = L'"';
            break;
          case L'\\':
            escaped = L'\\';
            break;
          case L'n':
            escaped = kLF;
            break;
          case L'r':
            escaped = kCR;
            break;
          case L't':
            escaped = L'\t';
            break;
          default:
            break;
        }
        if (escaped != 0) {
          buffer_[length_++] = escaped;
          ++h;
        } else {
          buffer_[length_++] = L'\\';  // the next character is read as usual
        }
      } else if (IsLineEnd(c)) {
        EndLine();
      } else if (length_ < kLanguageTextLength) {
        buffer_[length_++] = c;
      }
    }
    EndLine();
  }

 private:
  // At a colon that starts a line. Returns the position to read on from: behind the header
  // word on a match (the rest of the line is then dropped), else the colon itself.
  size_t ReadHeader(const wchar_t* text, size_t h, bool& rightToLeft) {
    size_t wordLength = 0;
    const Header kind = MatchHeader(text + h + 1, wordLength);
    if (kind == Header::None)
      return h;
    const size_t behind = h + 1 + wordLength;
    wchar_t word[kNameChars + 1];
    HeaderArgument(text + behind, word);
    char name[kNameBytes];
    switch (kind) {
      case Header::Strings:
        CopyNarrowBounded(prefix_, "s:", sizeof(prefix_));
        break;
      case Header::Dialog:
      case Header::Menu:
        NameToAnsi(word, name, sizeof(name));
        CopyNarrowBounded(prefix_, kind == Header::Dialog ? "$" : "@", sizeof(prefix_));
        AppendNarrowBounded(prefix_, name, sizeof(prefix_));
        AppendNarrowBounded(prefix_, ":", sizeof(prefix_));
        break;
      case Header::Direction:
        rightToLeft = std::wcscmp(word, L"RTL") == 0;
        break;
      case Header::None:
        break;
    }
    return behind;
  }

  // At an ASCII letter that starts a line. The name runs up to the first space, tab or comma
  // within the line's first kNameChars characters; a line without one is not an entry and
  // the letter is read as ordinary text (dropped at the line end). On a name, returns the
  // position behind the separator and the blanks after it.
  size_t ReadEntryName(const wchar_t* text, size_t h) {
    wchar_t name[kNameChars + 1];
    size_t n = 0;
    while (n < kNameChars) {
      const wchar_t c = text[h + n];
      if (c == 0 || IsLineEnd(c) || IsBlank(c) || c == L',')
        break;
      name[n++] = c;
    }
    const wchar_t separator = n < kNameChars ? text[h + n] : 0;
    if (!IsBlank(separator) && separator != L',')
      return h;
    name[n] = 0;

    char ansiName[kNameBytes];
    NameToAnsi(name, ansiName, sizeof(ansiName));
    CopyNarrowBounded(key_, prefix_, sizeof(key_));
    AppendNarrowBounded(key_, ansiName, sizeof(key_));
    key_[kLanguageKeyLength] = 0;
    pending_ = true;

    h += n + 1;
    while (IsBlank(text[h]))
      ++h;
    return h;
  }

  // A line ends (or the text does): a pending entry is reported after clean-up. The text of
  // a line without an entry is dropped.
  void EndLine() {
    if (pending_) {
      size_t start = 0;
      size_t end = length_;
      while (end > 0 && IsBlank(buffer_[end - 1]))
        --end;
      if (end > 0 && buffer_[end - 1] == L'"')
        --end;
      if (start < end && buffer_[start] == L'"')
        ++start;
      sink_(context_, key_, buffer_ + start, end - start);
      pending_ = false;
    }
    length_ = 0;
  }

  wchar_t* buffer_;  // kLanguageTextLength + 1 units
  size_t length_ = 0;
  LanguageEntrySink sink_;
  void* context_;
  char prefix_[kNameBytes];
  char key_[kNameBytes];
  bool pending_ = false;
};

}  // namespace

bool ParseLanguageText(const wchar_t* text, LanguageEntrySink sink, void* context,
                       bool& rightToLeft) {
  auto* buffer = static_cast<wchar_t*>(std::malloc((kLanguageTextLength + 1) * sizeof(wchar_t)));
  if (buffer == nullptr)
    return false;
  Parser parser(buffer, sink, context);
  parser.Run(text, rightToLeft);
  std::free(buffer);
  return true;
}
