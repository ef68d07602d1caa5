#include "app/file_list.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "common/change_record.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "common/text_encoding.h"

namespace {

// Characters that no file name may hold; '<', '>' and '"' are also wildcards to the file
// system's own search, '*' and '?' to everyone.
bool IsForbiddenChar(wchar_t c) {
  return c < 32 || c == L':' || c == L'*' || c == L'?' || c == L'<' || c == L'>' || c == L'"' ||
         c == L'|';
}

// The reserved device names that the system resolves in any folder ("sub\NUL.txt" is the null
// device). begin..end is one path component.
bool IsDeviceName(const wchar_t* begin, const wchar_t* end) {
  // Every device name begins with one of these letters: most names are settled by the first.
  switch (begin < end ? AsciiUpper(*begin) : 0) {
    case L'A':
    case L'C':
    case L'L':
    case L'N':
    case L'P':
      break;
    default:
      return false;
  }
  // The name counts up to its first dot, without trailing blanks.
  const wchar_t* stop = begin;
  while (stop < end && *stop != L'.')
    ++stop;
  while (stop > begin && stop[-1] == L' ')
    --stop;
  size_t n = static_cast<size_t>(stop - begin);
  wchar_t name[8];
  if (n < 3 || n > 7)
    return false;
  for (size_t i = 0; i < n; ++i)
    name[i] = AsciiUpper(begin[i]);
  name[n] = 0;
  static const wchar_t* const kPlain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kPlain) {
    if (std::wcscmp(name, device) == 0)
      return true;
  }
  if (n == 4 && (std::wcsncmp(name, L"COM", 3) == 0 || std::wcsncmp(name, L"LPT", 3) == 0)) {
    // COM0-COM9, LPT0-LPT9 and the superscript digits 1, 2 and 3.
    wchar_t d = name[3];
    return IsAsciiDigit(d) || d == 0x00B9 || d == 0x00B2 || d == 0x00B3;
  }
  return false;
}

// A component made of dots and blanks only ("." , "..", "...", ". .") refers to the folder
// itself or to a parent once the system has normalised the path.
bool IsDotComponent(const wchar_t* begin, const wchar_t* end) {
  if (begin == end)
    return false;
  bool dot = false;
  for (const wchar_t* p = begin; p < end; ++p) {
    if (*p == L'.') {
      dot = true;
    } else if (*p != L' ') {
      return false;
    }
  }
  return dot;
}

// Reports a list line that names nothing inside the folder (the line is trimmed by then); empty
// lines are no entries at all.
void RecordRefusedLine(const char* line) {
  if (line[0] == 0 || !IsRecordingChanges())
    return;
  wchar_t entry[kListPathCapacity];
  if (!AnsiToWide(line, entry, kListPathCapacity))
    entry[0] = 0;
  RecordChange(ChangeKind::Skipped, entry, nullptr,
               entry[0] != 0 ? L"not a name inside the installation folder" : L"unreadable name");
}

}  // namespace

bool ReadListLine(FILE* stream, char* line) {
  line[0] = 0;
  return std::fgets(line, static_cast<int>(kListLineBytes), stream) != nullptr;
}

void TrimListLine(char* line) {
  size_t n = std::strlen(line);
  while (n > 0) {
    char c = line[n - 1];
    if (c != '\t' && c != '\n' && c != '\r' && c != ' ')
      break;
    --n;
  }
  line[n] = 0;
}

bool IsSafeListEntry(const wchar_t* entry) {
  if (entry == nullptr || entry[0] == 0)
    return false;
  // Rooted (\x), UNC (\\server), device (\\.\) and \\?\ forms all start with a separator.
  if (IsSeparator(entry[0]))
    return false;
  for (const wchar_t* p = entry; *p != 0; ++p) {
    // A colon is either a drive (C:x, C:\x) or a stream name (file:stream).
    if (IsForbiddenChar(*p))
      return false;
  }
  const wchar_t* begin = entry;
  for (;;) {
    const wchar_t* end = begin;
    while (*end != 0 && !IsSeparator(*end))
      ++end;
    if (IsDotComponent(begin, end) || IsDeviceName(begin, end))
      return false;
    if (*end == 0)
      break;
    begin = end + 1;
  }
  return true;
}

bool ListLineToPath(char* line, const wchar_t* folder, wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return false;
  dest[0] = 0;
  TrimListLine(line);
  if (line[0] == 0)
    return false;
  wchar_t entry[kListPathCapacity];
  if (!AnsiToWide(line, entry, kListPathCapacity) || !IsSafeListEntry(entry))
    return false;
  size_t folderLength = WideLength(folder);
  size_t entryLength = WideLength(entry);
  // A path cut to fit would name some other file: such an entry is dropped instead.
  if (folderLength + entryLength + 1 > capacity)
    return false;
  CopyBounded(dest, folder, capacity);
  AppendBounded(dest, entry, capacity);
  return true;
}

size_t UninstallList::Load(FILE* stream, const wchar_t* folder) {
  text_.Clear();
  offsets_.Clear();
  settled_.Clear();
  std::rewind(stream);
  char line[kListLineBytes];
  wchar_t path[kListPathCapacity];
  while (ReadListLine(stream, line)) {
    if (!ListLineToPath(line, folder, path, kListPathCapacity)) {
      RecordRefusedLine(line);
      continue;
    }
    size_t length = WideLength(path) + 1;
    size_t offset = text_.Count();
    text_.Add(length);
    std::memcpy(text_.Data() + offset, path, length * sizeof(wchar_t));
    offsets_.Push(offset);
    settled_.Push(0);
  }
  return offsets_.Count();
}
