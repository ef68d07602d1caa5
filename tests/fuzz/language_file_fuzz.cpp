// Fuzzing the language file: mutated and generated files in both encodings (8-bit ANSI code
// page and UTF-16LE). One input in four goes through the real file load (marker search on disk,
// decoding, parse, indexes); the others are parsed from text in memory. Properties checked:
//  - an independent marker search and decoding of the same bytes, parsed in memory, gives the
//    same entries and text direction as the file load (the two encodings agree with the bytes);
//  - the reader's block search finds the marker where the independent search does;
//  - every lookup agrees with the parse: FindTextByKey returns the first entry of each key in
//    file order, FindStringText and FindDialogText return what their key-table rows name;
//  - keys are at most 49 bytes and carry a section prefix, texts at most 65,536 units;
//  - for generated files that were not mutated, the parse gives exactly the generated entries.
#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/text_encoding.h"
#include "fuzz/fuzz_files.h"
#include "fuzz/fuzz_harness.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/mutator.h"
#include "lang/language_file.h"
#include "lang/language_file_parser.h"
#include "lang/language_file_reader.h"
#include "lang/language_key_table.h"

namespace {

struct Entry {
  std::string Key;
  std::wstring Text;
};

struct Parsed {
  std::vector<Entry> Entries;
  bool RightToLeft = false;
};

void Collect(void* context, const char* key, const wchar_t* text, size_t length) {
  static_cast<Parsed*>(context)->Entries.push_back(Entry{key, std::wstring(text, length)});
}

// --- Independent reading of the bytes: where the marker is and what text follows it ---

constexpr char kAnsiMarker[] = "***messages**";  // the last asterisk is not examined

bool AnsiMarkerAt(const std::string& b, size_t j) {
  return j + 16 <= b.size() && b.compare(j, 13, kAnsiMarker) == 0;
}

bool Utf16MarkerAt(const std::string& b, size_t j) {
  if (j + 32 > b.size())
    return false;
  for (size_t i = 0; i < 13; ++i) {
    if (b[j + 2 * i] != kAnsiMarker[i] || b[j + 2 * i + 1] != 0)
      return false;
  }
  return true;
}

// Where the marker is: the first offset that holds one, the 8-bit form tested first. False
// when there is none.
bool ReferenceMarker(const std::string& bytes, size_t& offset, LanguageEncoding& encoding) {
  for (size_t j = 0; j < bytes.size(); ++j) {
    if (AnsiMarkerAt(bytes, j) || Utf16MarkerAt(bytes, j)) {
      offset = j;
      encoding = AnsiMarkerAt(bytes, j) ? LanguageEncoding::Ansi : LanguageEncoding::Utf16;
      return true;
    }
  }
  return false;
}

// The text the file load must parse: from the first marker, decoded, up to the first NUL and
// at most the character limit. False when there is no marker.
bool ReferenceText(const std::string& bytes, std::wstring& text) {
  text.clear();
  size_t j = 0;
  LanguageEncoding encoding = LanguageEncoding::Ansi;
  if (!ReferenceMarker(bytes, j, encoding))
    return false;
  {
    if (encoding == LanguageEncoding::Ansi) {
      size_t end = bytes.find('\0', j);
      if (end == std::string::npos)
        end = bytes.size();
      end = std::min<size_t>(end, j + kLanguageReadLimit);
      int n = static_cast<int>(end - j);
      text.resize(static_cast<size_t>(n));
      int got = MultiByteToWideChar(CP_ACP, 0, bytes.data() + j, n, &text[0], n);
      text.resize(static_cast<size_t>(got > 0 ? got : 0));
      if (text.size() > kLanguageCharLimit)
        text.resize(kLanguageCharLimit);
      return true;
    }
    {
      size_t units = std::min<size_t>(bytes.size() - j, kLanguageReadLimit) / 2;
      for (size_t i = 0; i < units && i < kLanguageCharLimit; ++i) {
        wchar_t c = static_cast<wchar_t>(static_cast<unsigned char>(bytes[j + 2 * i]) |
                                         (static_cast<unsigned char>(bytes[j + 2 * i + 1]) << 8));
        if (c == 0)
          break;
        text.push_back(c);
      }
      return true;
    }
  }
}

// --- Generated files: well-formed lines whose entries are known in advance ---

struct Generated {
  std::wstring Text;  // from the first byte of the file (preface, marker, lines)
  Parsed Expected;
};

// The text an entry's raw text gives: escapes, the length limit, then the clean-up.
std::wstring CleanedText(const std::wstring& raw) {
  std::wstring t;
  for (size_t i = 0; i < raw.size(); ++i) {
    wchar_t c = raw[i];
    if (c == L'\\') {
      if (t.size() >= kLanguageTextLength)
        continue;  // the backslash is dropped; the next character is read as usual
      wchar_t next = i + 1 < raw.size() ? raw[i + 1] : 0;
      wchar_t mapped = next == L'"'    ? L'"'
                       : next == L'\\' ? L'\\'
                       : next == L'n'  ? L'\n'
                       : next == L'r'  ? L'\r'
                       : next == L't'  ? L'\t'
                                       : 0;
      t.push_back(mapped != 0 ? mapped : L'\\');
      if (mapped != 0)
        ++i;
      continue;
    }
    if (t.size() < kLanguageTextLength)
      t.push_back(c);
  }
  while (!t.empty() && (t.back() == L' ' || t.back() == L'\t'))
    t.pop_back();
  if (!t.empty() && t.back() == L'"')
    t.pop_back();
  if (!t.empty() && t.front() == L'"')
    t.erase(0, 1);
  return t;
}

class LanguageGenerator {
 public:
  void Prepare(bool ansi) {
    // Characters a text may hold: printable ASCII and, for 8-bit files, only characters that
    // survive the trip through the ANSI code page.
    const wchar_t extra[] = {0xE4,  0xE9,   0xF6,   0xFC,   0xDF,  0x20AC, 0x5D0, 0x5E9,
                             0x5EA, 0x4E2D, 0x6587, 0x3042, 0x430, 0x3B1,  0xFF21};
    for (wchar_t c = 0x20; c < 0x7F; ++c) {
      if (c != L'\\')
        chars_.push_back(c);
    }
    for (wchar_t c : extra) {
      if (!ansi || RoundTrips(c))
        chars_.push_back(c);
    }
    for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
      std::string key = LanguageKeyTable[i].Key;
      size_t colon = key.find(':');
      std::string prefix = key.substr(0, colon + 1);
      names_[prefix].push_back(key.substr(colon + 1));
    }
  }

  Generated Make(FuzzRandom& random) {
    Generated g;
    std::wstring& out = g.Text;
    std::string prefix = "s:";
    // Anything may stand in front of the marker; sometimes enough to push it into a later
    // block of the marker search.
    size_t preface = random.OneIn(8) ? random.Between(8100, 8250) : random.Below(300);
    while (out.size() < preface) {
      out += random.OneIn(10) ? L"\r\n" : L" ";
      out += Widen(random.Pick(kWords));
    }
    out += L"\r\n***messages***";
    out += Eol(random);
    size_t lines = random.Between(0, 40);
    for (size_t line = 0; line < lines; ++line) {
      switch (random.Below(10)) {
        case 0:
          Header(random, prefix, g);
          break;
        case 1:
          Comment(random, out);
          break;
        case 2:
          break;  // an empty line
        default:
          EntryLine(random, prefix, g);
          break;
      }
      if (line + 1 < lines || random.OneIn(2))
        out += Eol(random);
    }
    return g;
  }

 private:
  static constexpr const char* kWords[] = {"Notes",    "for", "translators:", "*",     "**",
                                           "messages", "***", "IDS_BETA",     "\"x\"", ":STRINGS",
                                           "-",        "1."};

  static std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

  static bool RoundTrips(wchar_t c) {
    wchar_t in[2] = {c, 0};
    char narrow[8];
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, 0, in, 1, narrow, sizeof(narrow), nullptr, &lossy) != 1 ||
        lossy) {
      return false;
    }
    wchar_t back = 0;
    return MultiByteToWideChar(CP_ACP, 0, narrow, 1, &back, 1) == 1 && back == c;
  }

  static const wchar_t* Eol(FuzzRandom& random) {
    static const wchar_t* const kEnds[] = {L"\r\n", L"\r\n", L"\n", L"\r"};
    return random.Pick(kEnds);
  }

  std::string Identifier(FuzzRandom& random, size_t longest) {
    static const char kFirst[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    static const char kRest[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_.*";
    std::string id(1, kFirst[random.Below(sizeof(kFirst) - 1)]);
    size_t n = random.Below(longest);
    for (size_t i = 0; i < n; ++i)
      id.push_back(kRest[random.Below(sizeof(kRest) - 1)]);
    return id;
  }

  void Header(FuzzRandom& random, std::string& prefix, Generated& g) {
    std::wstring& out = g.Text;
    const wchar_t* gap = random.OneIn(4) ? L" \t " : (random.OneIn(4) ? L"\t" : L" ");
    // Words after the name are ignored; after a header without a name they would be the name.
    bool named = true;
    switch (random.Below(4)) {
      case 0:
        out += L":STRINGS";
        prefix = "s:";
        break;
      case 1: {
        static const char* const kDialogs[] = {"SETUPDLG", "DONEDLG", "SETUPCONTEXTITEMS", ""};
        std::string name = random.OneIn(5) ? Identifier(random, 30) : random.Pick(kDialogs);
        out += L":DIALOG";
        if (!name.empty() || random.OneIn(2)) {
          out += gap;
          out += Widen(name);
        }
        prefix = "$" + name + ":";
        named = !name.empty();
        break;
      }
      case 2: {
        std::string name = Identifier(random, 20);
        out += L":MENU";
        out += gap;
        out += Widen(name);
        prefix = "@" + name + ":";
        break;
      }
      case 3: {
        static const char* const kWordsDir[] = {"RTL", "LTR", "rtl", "RTLX", ""};
        std::string word = random.Pick(kWordsDir);
        out += L":DIRECTION";
        if (!word.empty()) {
          out += gap;
          out += Widen(word);
        }
        g.Expected.RightToLeft = word == "RTL";
        named = !word.empty();
        break;
      }
    }
    if (named && random.OneIn(4))
      out += L" ignored rest of the line";
  }

  void Comment(FuzzRandom& random, std::wstring& out) {
    static const wchar_t* const kComments[] = {L"; IDS_BETA \"not an entry\"",
                                               L" IDS_BETA \"indented\"",
                                               L"\tCAPTION x",
                                               L"1 numbered",
                                               L"# hash",
                                               L":strings",
                                               L":DIALOGX SETUPDLG",
                                               L":STRINGSX",
                                               L"/ slash",
                                               L"[section]",
                                               L"\"quoted\"",
                                               L"*** messages ***"};
    out += random.Pick(kComments);
  }

  void EntryLine(FuzzRandom& random, const std::string& prefix, Generated& g) {
    std::string name;
    auto known = names_.find(prefix);
    if (known != names_.end() && !random.OneIn(4)) {
      name = known->second[random.Below(known->second.size())];
    } else {
      name = Identifier(random, random.OneIn(10) ? 90 : 24);
    }
    std::wstring& out = g.Text;
    out += Widen(name);
    static const wchar_t kSeparators[] = {L' ', L'\t', L','};
    out.push_back(random.Pick(kSeparators));
    size_t blanks = random.Below(3);
    for (size_t i = 0; i < blanks; ++i)
      out.push_back(random.OneIn(2) ? L' ' : L'\t');

    std::wstring raw;
    bool quoted = !random.OneIn(5);
    if (quoted)
      raw.push_back(L'"');
    size_t length = random.OneIn(2000) ? random.Between(65000, 66000) : random.Below(60);
    for (size_t i = 0; i < length; ++i) {
      if (quoted && random.OneIn(8)) {
        static const wchar_t* const kEscapes[] = {L"\\\"", L"\\\\", L"\\n", L"\\r",
                                                  L"\\t",  L"\\q",  L"\\x", L"\""};
        raw += random.Pick(kEscapes);
      } else {
        wchar_t c = chars_[random.Below(chars_.size())];
        // An unquoted text must not begin or end with a quotation mark or a blank.
        if (!quoted && (c == L'"' || ((i == 0 || i + 1 == length) && c == L' ')))
          c = L'v';
        raw.push_back(c);
      }
    }
    if (quoted) {
      raw.push_back(L'"');
      if (random.OneIn(4))
        raw += L"  \t";
    }
    out += raw;
    std::string key = prefix + name;
    if (key.size() > kLanguageKeyLength)
      key.resize(kLanguageKeyLength);
    g.Expected.Entries.push_back(Entry{key, CleanedText(raw)});
  }

  std::vector<wchar_t> chars_;
  std::map<std::string, std::vector<std::string>> names_;
};

// --- The target ---

class LanguageFileFuzz : public FuzzTarget {
 public:
  explicit LanguageFileFuzz(bool utf16) : utf16_(utf16) {}
  const char* Name() const override { return utf16_ ? "lng16" : "lng8"; }
  uint32_t Number() const override { return utf16_ ? 2 : 1; }

  bool Prepare(const FuzzOptions& options, std::string& error) override {
    path_ = options.Scratch + L"\\uninstall.lng";
    if (!MakeFolders(options.Scratch)) {
      error = "cannot make the scratch folder";
      return false;
    }
    generator_.Prepare(!utf16_);
    std::string german, hebrew;
    if (!ReadWholeFile(options.Samples + L"\\languages\\German\\uninstall.lng", german) ||
        !ReadWholeFile(options.Samples + L"\\languages\\Hebrew\\uninstall.lng", hebrew)) {
      error = "cannot read the sample translations";
      return false;
    }
    if (utf16_) {
      seeds_.push_back(Utf16LeToUnits(hebrew));
      std::wstring widened(german.begin(), german.end());
      seeds_.push_back(WideToUnits(widened));
    } else {
      seeds_.push_back(BytesToUnits(german));
      // The Hebrew sample's bytes as they are: a UTF-16 marker inside an 8-bit mutation base.
      seeds_.push_back(BytesToUnits(hebrew));
    }
    std::vector<std::string> tokens = CommonTokens();
    const char* const lngTokens[] = {"IDS_",
                                     "IDC_ASSOCVLX ",
                                     "SIZE 115*100",
                                     "CAPTION \"",
                                     ":DIALOG SETUPDLG",
                                     ":DIALOG DONEDLG",
                                     ":DIRECTION RTL",
                                     ":MENU M",
                                     "**messages**",
                                     "\\t",
                                     "\\r",
                                     "\\",
                                     "IDS_CONTINUEUNINSTALL\t\"",
                                     "\"\"",
                                     "\r\r\n"};
    for (const char* t : lngTokens)
      tokens.push_back(t);
    std::string utf16Marker;
    for (char c : std::string("***messages***"))
      utf16Marker += std::string(1, c) + std::string(1, '\0');
    tokens.push_back(utf16Marker);
    for (const std::string& t : tokens) {
      dictionary_.push_back(utf16_ ? WideToUnits(std::wstring(t.begin(), t.end()))
                                   : BytesToUnits(t));
    }
    return true;
  }

  void RunOne(uint64_t, FuzzRandom& random) override {
    Generated generated = generator_.Make(random);
    // 8-bit: every character of the generated text was chosen to survive the ANSI code page.
    Units units = utf16_ ? WideToUnits(generated.Text) : BytesToUnits(ToAnsi(generated.Text));
    bool exact = random.OneIn(6);
    if (!exact) {
      if (random.OneIn(2))
        units = seeds_[random.Below(seeds_.size())];
      MutationSettings settings{static_cast<uint16_t>(utf16_ ? 0xFFFF : 0xFF), kMaxUnits, 70000,
                                &dictionary_, &seeds_};
      Mutate(units, random, settings, MutationRounds(random));
    }
    std::string bytes = utf16_ ? UnitsToUtf16Le(units) : UnitsToBytes(units);
    if (utf16_ && !exact && random.OneIn(8)) {
      // Byte-level damage: odd lengths and markers at odd offsets.
      Units raw = BytesToUnits(bytes);
      MutationSettings settings{0xFF, kMaxUnits * 2, 64, &dictionary_, nullptr};
      Mutate(raw, random, settings, random.Between(1, 3));
      bytes = UnitsToBytes(raw);
    }
    // One input in four goes through the file (marker search and decoding on disk); the others
    // are parsed from the reference decoding in memory, which costs no file calls.
    bool viaFile = random.OneIn(4);
    if (viaFile && !WriteWholeFile(path_, bytes)) {
      Fail("cannot write the input file");
      return;
    }
    Check(bytes, exact ? &generated.Expected : nullptr, viaFile);
  }

  void Finish() override { ClearLanguageFile(); }

 private:
  static constexpr size_t kMaxUnits = 1 << 19;

  void Check(const std::string& bytes, const Parsed* generated, bool viaFile) {
    Parsed reference;
    std::wstring text;
    bool marked = ReferenceText(bytes, text);
    if (bytes.size() <= kMarkerBlockSize) {
      // The reader's block search over the whole input, as one block.
      size_t offset = 0, expectedOffset = 0;
      LanguageEncoding encoding = LanguageEncoding::Ansi, expectedEncoding = encoding;
      bool found = FindMarkerInBlock(reinterpret_cast<const unsigned char*>(bytes.data()),
                                     bytes.size(), offset, encoding);
      bool expected = ReferenceMarker(bytes, expectedOffset, expectedEncoding);
      if (found != expected ||
          (found && (offset != expectedOffset || encoding != expectedEncoding))) {
        Fail("marker search: found %d at %u, the bytes hold one: %d at %u", found,
             static_cast<unsigned>(offset), expected, static_cast<unsigned>(expectedOffset));
      }
    }
    if (marked) {
      bool rightToLeft = false;
      if (!ParseLanguageText(text.c_str(), Collect, &reference, rightToLeft)) {
        Fail("the in-memory parse could not allocate its buffer");
        return;
      }
      reference.RightToLeft = rightToLeft;
    }
    if (generated != nullptr)
      CompareWithGenerated(reference, *generated);
    for (const Entry& e : reference.Entries) {
      if (e.Key.size() > kLanguageKeyLength || e.Text.size() > kLanguageTextLength ||
          e.Key.empty() || (e.Key[0] != 's' && e.Key[0] != '$' && e.Key[0] != '@') ||
          (e.Key[0] == 's' && e.Key.compare(0, 2, "s:") != 0)) {
        Fail("entry out of shape: key \"%s\" (%u bytes), text of %u units", e.Key.c_str(),
             static_cast<unsigned>(e.Key.size()), static_cast<unsigned>(e.Text.size()));
        return;
      }
    }

    if (viaFile) {
      ParseLanguageFile(path_.c_str());
    } else if (marked) {
      ParseLanguageFileText(text.c_str(), text.size());
    } else {
      ClearLanguageFile();
    }
    if (LanguageEntryCount() != reference.Entries.size()) {
      Fail("load has %u entries, the bytes hold %u", static_cast<unsigned>(LanguageEntryCount()),
           static_cast<unsigned>(reference.Entries.size()));
      return;
    }
    if (RightToLeft != reference.RightToLeft)
      Fail("RightToLeft is %d, the file says %d", RightToLeft, reference.RightToLeft);

    std::map<std::string, const std::wstring*> first;
    for (const Entry& e : reference.Entries)
      first.emplace(e.Key, &e.Text);
    for (const auto& [key, expected] : first) {
      if (!LookupAgrees(key, FindTextByKey(key.c_str(), buffer_, kBuffer), expected,
                        "FindTextByKey"))
        return;
    }
    for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
      const LanguageKeyRow& row = LanguageKeyTable[i];
      std::string key = row.Key;
      auto it = first.find(key);
      const std::wstring* expected = it != first.end() ? it->second : nullptr;
      if (key.compare(0, 2, "s:") == 0) {
        if (!LookupAgrees(key, FindStringText(row.Id, buffer_, kBuffer), expected,
                          "FindStringText"))
          return;
      } else if (key[0] == '$') {
        size_t colon = key.find(':');
        std::wstring dialog(key.begin() + 1, key.begin() + static_cast<std::ptrdiff_t>(colon));
        std::wstring item(key.begin() + static_cast<std::ptrdiff_t>(colon) + 1, key.end());
        if (!LookupAgrees(key, FindDialogText(dialog.c_str(), item.c_str(), buffer_, kBuffer),
                          expected, "FindDialogText"))
          return;
      }
    }
    if (first.count("s:IDS_NOT_IN_ANY_FILE") == 0 &&
        FindTextByKey("s:IDS_NOT_IN_ANY_FILE", buffer_, kBuffer)) {
      Fail("FindTextByKey found a key that no entry has");
    }
  }

  bool LookupAgrees(const std::string& key, bool found, const std::wstring* expected,
                    const char* lookup) {
    if (found != (expected != nullptr)) {
      Fail("%s(\"%s\") found %d, the parse says %d", lookup, key.c_str(), found,
           expected != nullptr);
      return false;
    }
    if (found && *expected != buffer_) {
      Fail("%s(\"%s\") gave \"%s\", the first entry of that key is \"%s\"", lookup, key.c_str(),
           Printable(buffer_).c_str(), Printable(*expected).c_str());
      return false;
    }
    return true;
  }

  void CompareWithGenerated(const Parsed& parsed, const Parsed& generated) {
    if (parsed.RightToLeft != generated.RightToLeft)
      Fail("generated file: RightToLeft %d, written %d", parsed.RightToLeft, generated.RightToLeft);
    if (parsed.Entries.size() != generated.Entries.size()) {
      Fail("generated file: %u entries parsed, %u written",
           static_cast<unsigned>(parsed.Entries.size()),
           static_cast<unsigned>(generated.Entries.size()));
      return;
    }
    for (size_t i = 0; i < parsed.Entries.size(); ++i) {
      const Entry& p = parsed.Entries[i];
      const Entry& w = generated.Entries[i];
      if (p.Key != w.Key || p.Text != w.Text) {
        Fail("generated file, entry %u: parsed %s=\"%s\", written %s=\"%s\"",
             static_cast<unsigned>(i), p.Key.c_str(), Printable(p.Text).c_str(), w.Key.c_str(),
             Printable(w.Text).c_str());
        return;
      }
    }
  }

  static constexpr size_t kBuffer = kLanguageTextLength + 2;
  bool utf16_;
  std::wstring path_;
  LanguageGenerator generator_;
  std::vector<Units> seeds_;
  std::vector<Units> dictionary_;
  wchar_t buffer_[kBuffer];
};

}  // namespace

std::unique_ptr<FuzzTarget> MakeLanguageFileFuzz(bool utf16) {
  return std::make_unique<LanguageFileFuzz>(utf16);
}
