#include "fuzz/mutator.h"

#include <windows.h>

#include <algorithm>

namespace {

// Values that sit on the edges parsers test: terminators, line ends, quoting, escapes,
// separators, the high half of a byte, byte-order marks and surrogates.
constexpr uint16_t kInterestingUnits[] = {
    0,    9,    10,    13,     32,     '"',    '\\',   '/',    '-',   ':',
    '=',  '*',  ',',   '$',    '%',    '[',    ']',    '.',    0x7F,  0x80,
    0xA0, 0xFF, 0x100, 0x2028, 0xD800, 0xDC00, 0xFEFF, 0xFFFE, 0xFFFF};

void Insert(Units& data, size_t at, const Units& piece, size_t maxUnits) {
  if (data.size() >= maxUnits)
    return;
  size_t room = maxUnits - data.size();
  size_t n = std::min(room, piece.size());
  data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), piece.begin(),
              piece.begin() + static_cast<std::ptrdiff_t>(n));
}

Units Chunk(const Units& source, FuzzRandom& random, size_t longest) {
  if (source.empty())
    return {};
  size_t start = random.Below(source.size());
  size_t length = random.Between(1, std::min(longest, source.size() - start));
  return Units(source.begin() + static_cast<std::ptrdiff_t>(start),
               source.begin() + static_cast<std::ptrdiff_t>(start + length));
}

uint16_t RandomUnit(FuzzRandom& random, uint16_t mask) {
  if (random.OneIn(2))
    return static_cast<uint16_t>(random.Pick(kInterestingUnits) & mask);
  if (random.OneIn(2))
    return static_cast<uint16_t>(random.Between(0x20, 0x7E));
  return static_cast<uint16_t>(random.Next() & mask);
}

}  // namespace

size_t MutationRounds(FuzzRandom& random) {
  if (random.OneIn(8))
    return random.Between(8, 40);
  return random.Between(1, 6);
}

void Mutate(Units& data, FuzzRandom& random, const MutationSettings& settings, size_t rounds) {
  const std::vector<Units>& dictionary = *settings.Dictionary;
  for (size_t round = 0; round < rounds; ++round) {
    size_t at = random.Below(data.size() + 1);
    switch (random.Below(11)) {
      case 0:  // bit flip
        if (!data.empty()) {
          size_t i = random.Below(data.size());
          int bits = settings.UnitMask == 0xFF ? 8 : 16;
          data[i] = static_cast<uint16_t>(data[i] ^ (1u << random.Below(bits)));
        }
        break;
      case 1:  // overwrite one unit
        if (!data.empty())
          data[random.Below(data.size())] = RandomUnit(random, settings.UnitMask);
        break;
      case 2: {  // insert a few units
        Units piece(random.Between(1, 4));
        for (uint16_t& u : piece)
          u = RandomUnit(random, settings.UnitMask);
        Insert(data, at, piece, settings.MaxUnits);
        break;
      }
      case 3:  // delete a range
        if (!data.empty()) {
          size_t start = random.Below(data.size());
          size_t length =
              random.Between(1, std::min<size_t>(data.size() - start, random.OneIn(4) ? 4096 : 16));
          data.erase(data.begin() + static_cast<std::ptrdiff_t>(start),
                     data.begin() + static_cast<std::ptrdiff_t>(start + length));
        }
        break;
      case 4:  // copy a range of the input elsewhere
        Insert(data, at, Chunk(data, random, 256), settings.MaxUnits);
        break;
      case 5:  // splice in a piece of another seed
        if (settings.Seeds != nullptr && !settings.Seeds->empty()) {
          const Units& other = (*settings.Seeds)[random.Below(settings.Seeds->size())];
          Insert(data, at, Chunk(other, random, 512), settings.MaxUnits);
        }
        break;
      case 6:
      case 7:  // insert a dictionary token
        if (!dictionary.empty())
          Insert(data, at, dictionary[random.Below(dictionary.size())], settings.MaxUnits);
        break;
      case 8:  // replace a range with a dictionary token
        if (!dictionary.empty() && !data.empty()) {
          size_t start = random.Below(data.size());
          size_t length = random.Between(1, std::min<size_t>(data.size() - start, 8));
          data.erase(data.begin() + static_cast<std::ptrdiff_t>(start),
                     data.begin() + static_cast<std::ptrdiff_t>(start + length));
          Insert(data, start, dictionary[random.Below(dictionary.size())], settings.MaxUnits);
        }
        break;
      case 9: {  // a long run of one unit or one token
        // Mostly short; now and then as long as the format's limits (which costs time).
        size_t length = random.OneIn(16)
                            ? random.Between(1, settings.LongRun)
                            : random.Between(1, std::min<size_t>(64, settings.LongRun));
        Units piece;
        if (!dictionary.empty() && random.OneIn(2)) {
          const Units& token = dictionary[random.Below(dictionary.size())];
          while (piece.size() < length && !token.empty())
            piece.insert(piece.end(), token.begin(), token.end());
        } else {
          piece.assign(length, RandomUnit(random, settings.UnitMask));
        }
        Insert(data, at, piece, settings.MaxUnits);
        break;
      }
      case 10:  // cut the input short
        if (!data.empty() && random.OneIn(3))
          data.resize(random.Below(data.size()));
        break;
    }
  }
}

Units BytesToUnits(const std::string& bytes) {
  Units units(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i)
    units[i] = static_cast<unsigned char>(bytes[i]);
  return units;
}

Units WideToUnits(const std::wstring& text) {
  return Units(text.begin(), text.end());
}

std::string UnitsToBytes(const Units& units) {
  std::string bytes(units.size(), '\0');
  for (size_t i = 0; i < units.size(); ++i)
    bytes[i] = static_cast<char>(units[i] & 0xFF);
  return bytes;
}

std::string UnitsToUtf16Le(const Units& units) {
  std::string bytes(units.size() * 2, '\0');
  for (size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return bytes;
}

Units Utf16LeToUnits(const std::string& bytes) {
  Units units(bytes.size() / 2);
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return units;
}

std::string ToAnsi(const std::wstring& text) {
  std::string out(text.size() * 2 + 1, '\0');
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0],
                              static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(static_cast<size_t>(n > 0 ? n : 0));
  return out;
}

std::vector<std::string> CommonTokens() {
  return {"..\\",
          "..",
          ".",
          "\\",
          "/",
          "C:\\",
          "\\\\?\\",
          "\\\\.\\",
          ":stream",
          "::$DATA",
          "%",
          "%TEMP%",
          "$",
          "[",
          "]",
          "=",
          ":",
          "\"",
          "\\\"",
          "\\\\",
          "\\n",
          "/s",
          "-s",
          "/init",
          "/setup",
          "/msi",
          "/noex",
          "/warning",
          " ",
          "\t",
          ",",
          "*",
          "?",
          "\r",
          "\n",
          "\r\n",
          std::string(1, '\0'),
          "CON",
          "NUL",
          "COM1",
          "***messages***",
          ":STRINGS",
          ":DIALOG ",
          "Global\\",
          "HKCU\\",
          "HKLM\\",
          "bin:",
          "\xFF\xFE",
          "\xEF\xBB\xBF"};
}
