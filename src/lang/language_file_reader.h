#pragma once
// Finding the language file's marker line and reading the text behind it, in whichever of the
// two encodings (8-bit ANSI code page or UTF-16 little-endian) the marker was written in.

#include <cstddef>
#include <cstdint>

class File;

// Bytes read per block while looking for the marker, and the blocks tried before giving up.
constexpr uint32_t kMarkerBlockSize = 8192;
constexpr uint32_t kMarkerBlockLimit = 256;
// Bytes read from the marker on, and characters of the decoded text that are parsed.
constexpr uint32_t kLanguageReadLimit = 2097152;
constexpr uint32_t kLanguageCharLimit = 1048576;

enum class LanguageEncoding { Ansi, Utf16 };

// Looks for the marker in the file's first kMarkerBlockLimit blocks. True, with the marker's
// byte position and the encoding it was written in, when it is there.
bool FindLanguageMarker(File& file, uint64_t& position, LanguageEncoding& encoding);

// Checks one block for the marker; offset is where it starts within the block. Exposed for
// tests of the two encodings at every alignment.
bool FindMarkerInBlock(const unsigned char* block, size_t count, size_t& offset,
                       LanguageEncoding& encoding);

// Reads and decodes the text from the marker on. Returns a heap buffer (std::free) of at most
// kLanguageCharLimit characters with a NUL at position length (a NUL in the file ends the
// text sooner); null when there is no marker or memory runs short.
wchar_t* ReadLanguageText(File& file, size_t& length);
