#pragma once
// The installation's file list "Uninstall.lst": one path per line, relative to the installation
// folder, in the system ANSI code page. Lines are read in pieces of at most 2047 bytes (the rest
// of a longer line is read as a further line) and lose trailing tabs, carriage returns, line
// feeds and spaces; lines that are then empty are skipped.
//
// The uninstaller runs with administrator rights, so an entry must never lead it outside the
// installation folder: entries that are rooted or drive-qualified, contain a "." or ".."
// component, use a device or \\?\ form, name an alternate data stream or do not fit the path
// buffer are dropped when the list is read.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/grow_array.h"
#include "common/string_util.h"

constexpr size_t kListLineBytes = 2048;  // 2047 bytes of text and a terminator
constexpr size_t kListPathCapacity = kPathBufferCapacity;

// Reads the next piece of a line (at most 2047 bytes, line feed included when it fits) into
// line, which holds kListLineBytes. False at the end of the stream.
bool ReadListLine(FILE* stream, char* line);
// Removes bytes 9, 10, 13 and 32 from the end; stops at the first other byte.
void TrimListLine(char* line);
// True when a relative entry (already converted to UTF-16) stays inside the folder it is
// joined to: not rooted, no drive, no "." or ".." component (or any component made of dots
// and blanks only), no stream name or device form, no wildcard.
bool IsSafeListEntry(const wchar_t* entry);
// Turns one raw line into a full path: trims it, converts it from the ANSI code page, checks it
// and appends it to folder (which ends in a backslash). False, with dest empty, when the line
// is to be skipped (blank, unsafe, not convertible, or too long for capacity).
// The line is trimmed in place.
bool ListLineToPath(char* line, const wchar_t* folder, wchar_t* dest, size_t capacity);

// The list held in memory, so that repeated walks need not read the file again. Each entry
// carries a "settled" mark: once it has been removed, found missing, moved aside or refused,
// later walks pass it over.
class UninstallList {
 public:
  // Reads every line of the stream from its start; entries are full paths below folder.
  // Returns the number of entries kept. Out of memory ends through the error handler.
  size_t Load(FILE* stream, const wchar_t* folder);
  size_t Count() const { return offsets_.Count(); }
  const wchar_t* Path(size_t i) const { return text_.Data() + offsets_[i]; }
  bool IsSettled(size_t i) const { return settled_[i] != 0; }
  void Settle(size_t i) { settled_[i] = 1; }

 private:
  GrowArray<wchar_t> text_;
  GrowArray<size_t> offsets_;
  GrowArray<uint8_t> settled_;
};
