#pragma once
// Reading a whole text file into a list of lines, whatever its encoding: UTF-16 in either byte
// order (with its mark), UTF-8 with its mark, or the system ANSI code page.

#include <cstddef>

#include "common/file.h"
#include "common/grow_array.h"

enum TextEncoding : int {
  kTextAnsi = 0,
  kTextUtf16 = 3,
  kTextUtf8 = 4,
};

// Classifies count bytes:
// - UTF-8 when there are at least 4 bytes, they begin EF BB BF and the rest is valid UTF-8;
// - UTF-16 when there are at least 3 bytes, they begin FF FE or FE FF, and the high byte of
//   some following code unit lies in 0x00-0x1F other than 0x0A and 0x0D;
// - ANSI otherwise (so UTF-8 without its mark is read as ANSI).
TextEncoding DetectTextEncoding(const unsigned char* bytes, size_t count);

// The lines of a text, one after another in one array, each with its terminator.
class TextLines {
 public:
  // Appends a line of n units (need not be terminated).
  void Add(const wchar_t* line, size_t n);
  size_t Count() const { return count_; }
  // The next line in order, or null after the last one.
  const wchar_t* Next();
  void Rewind() { position_ = 0; }
  void Clear();

 private:
  GrowArray<wchar_t> units_;
  size_t count_ = 0;
  size_t position_ = 0;
};

// Reads an opened file from its current position to its end into lines (appended to what the
// list holds). Any run of CR and LF ends a line, and so does a NUL character (a damaged file
// keeps the text behind it); trailing spaces and tabs are removed, leading ones stay, and empty
// lines are dropped. False when a read error stopped the reading part way: the list then holds
// only the lines that ended before the error (the unfinished one is dropped, so no value is
// ever cut short), never a picture of the whole file. Out of memory ends the operation through
// the error handler.
bool ReadTextLines(File& file, TextLines& lines);

// Opens the file and reads it whole (ReadTextLines). False when the file cannot be opened or a
// read error stopped the reading part way.
bool ReadTextFileLines(const wchar_t* path, TextLines& lines);
