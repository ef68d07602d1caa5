#pragma once
// Mutations of an input held as a sequence of units: bytes for 8-bit formats, 16-bit code
// units for UTF-16 ones. Bit flips, byte insertions and deletions, copies within the input,
// splices from other seeds, dictionary tokens and long runs.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_random.h"

using Units = std::vector<uint16_t>;

struct MutationSettings {
  uint16_t UnitMask;  // 0xFF for bytes, 0xFFFF for UTF-16 units
  size_t MaxUnits;    // an input never grows beyond this
  size_t LongRun;     // longest run that a "long run" mutation inserts
  const std::vector<Units>* Dictionary;
  const std::vector<Units>* Seeds;  // splice sources (may be null)
};

// Applies rounds mutations, each picked at random.
void Mutate(Units& data, FuzzRandom& random, const MutationSettings& settings, size_t rounds);
// A number of rounds, mostly small, sometimes many.
size_t MutationRounds(FuzzRandom& random);

// Unit sequences from text: one unit per byte of an 8-bit string, or per UTF-16 unit.
Units BytesToUnits(const std::string& bytes);
Units WideToUnits(const std::wstring& text);
// Bytes of units: the low byte of each (8-bit form) or two bytes each, little-endian.
std::string UnitsToBytes(const Units& units);
std::string UnitsToUtf16Le(const Units& units);
// Units of UTF-16LE bytes (an odd last byte is dropped).
Units Utf16LeToUnits(const std::string& bytes);
// A text in the ANSI code page (characters it lacks become its default character).
std::string ToAnsi(const std::wstring& text);

// The tokens every dictionary holds: separators and path forms, switch characters, section
// and entry characters, line ends, NUL.
std::vector<std::string> CommonTokens();
