// Fuzzing the settings file Vellox.ini: mutated and generated files in every encoding the
// loader reads (UTF-16 in both byte orders, UTF-8 with its mark, the ANSI code page) are loaded
// from a scratch program folder, saved, reloaded and saved again. Properties checked:
//  - the file is always loaded (any readable file is a settings file);
//  - with SaveSettings off nothing is written and the file keeps its bytes;
//  - otherwise a save writes UTF-16LE with its mark, one "name=value" per CR LF, sorted by
//    name, with the three Global switches present as 0 or 1;
//  - reloading the saved file serves every name with the value that was saved first for it,
//    and saving again gives the same bytes;
//  - for generated files that were not mutated, the values served and the saved bytes are
//    exactly those of the generated entries.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "common/string_util.h"
#include "common/test_seams.h"
#include "fuzz/fuzz_files.h"
#include "fuzz/fuzz_harness.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/mutator.h"
#include "settings/settings_file.h"

namespace {

struct IniEntry {
  std::wstring Name;
  std::wstring Value;
  EntryKind Kind;
};

const wchar_t* const kGlobalNames[] = {L"Global\\AppData", L"Global\\Integration",
                                       L"Global\\SaveSettings"};

std::wstring Decorated(const IniEntry& e) {
  switch (e.Kind) {
    case EntryKind::Quoted:
      return L"\"" + e.Value + L"\"";
    case EntryKind::Binary:
      return L"bin:" + e.Value;
    default:
      return e.Value;
  }
}

// What a save of these entries (in list order) must write.
std::string SavedBytes(std::vector<IniEntry> entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const IniEntry& a, const IniEntry& b) { return a.Name < b.Name; });
  std::wstring text = L"\xFEFF";
  for (const IniEntry& e : entries)
    text += e.Name + L"=" + Decorated(e) + L"\r\n";
  return UnitsToUtf16Le(WideToUnits(text));
}

// --- Generated files ---

enum class IniEncoding { Utf16Le, Utf16Be, Utf8, Ansi };

struct GeneratedIni {
  std::string Bytes;
  std::vector<IniEntry> Entries;  // in file order
};

class IniGenerator {
 public:
  GeneratedIni Make(FuzzRandom& random) {
    static const IniEncoding kEncodings[] = {IniEncoding::Utf16Le, IniEncoding::Utf16Le,
                                             IniEncoding::Utf16Be, IniEncoding::Utf8,
                                             IniEncoding::Ansi};
    IniEncoding encoding = random.Pick(kEncodings);
    bool ascii = encoding == IniEncoding::Ansi;
    GeneratedIni g;
    std::wstring text;
    size_t lines = random.Between(0, 30);
    for (size_t i = 0; i < lines; ++i) {
      if (random.OneIn(5)) {
        static const wchar_t* const kOther[] = {
            L";comment=1", L"[Setup]",  L" Indented=1", L"\tTab=1", L"=NoName",
            L"1Digit=3",   L"NoEquals", L"# Hash=1",    L"",        L"\"Q\"=1"};
        text += random.Pick(kOther);
      } else {
        IniEntry e = MakeEntry(random, ascii);
        text += e.Name + L"=" + Decorated(e);
        // Trailing blanks of a line are not part of it.
        if (e.Kind != EntryKind::Quoted || random.OneIn(2)) {
          if (random.OneIn(4))
            text += L" \t ";
        }
        g.Entries.push_back(e);
      }
      static const wchar_t* const kEnds[] = {L"\r\n", L"\r\n", L"\n", L"\r", L"\n\r\n"};
      text += random.Pick(kEnds);
    }
    g.Bytes = Encode(text, encoding);
    return g;
  }

 private:
  IniEntry MakeEntry(FuzzRandom& random, bool ascii) {
    static const wchar_t* const kNames[] = {L"Global\\AppData",
                                            L"Global\\Integration",
                                            L"Global\\SaveSettings",
                                            L"HKCU\\Setup\\Links\\Desktop",
                                            L"HKCU\\Setup\\MenuItems\\AlwaysArc",
                                            L"HKCU\\Setup\\ShellExt",
                                            L"HKLM\\Capabilities\\ApplicationDescription",
                                            L"HKCU\\Paths\\TempFolder",
                                            L"HKCU\\",
                                            L"X",
                                            L"hkcu\\setup\\shellext",
                                            L"HKCU\\Setup\\Name With Blanks "};
    IniEntry e;
    e.Name = random.OneIn(3) ? RandomName(random, ascii) : random.Pick(kNames);
    bool global = e.Name.compare(0, 7, L"Global\\") == 0;
    if (global) {
      // Switches as 0 or 1 (SaveSettings rarely off), so that the load leaves them as written.
      bool off = e.Name == L"Global\\SaveSettings" ? random.OneIn(12) : random.OneIn(3);
      e.Value = off ? L"0" : L"1";
      e.Kind = EntryKind::Plain;
      return e;
    }
    switch (random.Below(3)) {
      case 0:
        e.Kind = EntryKind::Plain;
        e.Value = random.OneIn(2) ? std::to_wstring(random.Below(100000))
                                  : RandomText(random, ascii, false);
        // A plain value cannot start with a quotation mark or "bin:", nor end in a blank.
        if (!e.Value.empty() && e.Value[0] == L'"')
          e.Value[0] = L'q';
        if (e.Value.compare(0, 4, L"bin:") == 0)
          e.Value[0] = L'B';
        while (!e.Value.empty() && (e.Value.back() == L' ' || e.Value.back() == L'\t'))
          e.Value.pop_back();
        break;
      case 1:
        e.Kind = EntryKind::Quoted;
        e.Value = RandomText(random, ascii, true);
        break;
      default:
        e.Kind = EntryKind::Binary;
        for (size_t i = random.Below(12); i > 0; --i)
          e.Value.push_back(L"0123456789ABCDEF"[random.Below(16)]);
        break;
    }
    return e;
  }

  static wchar_t RandomChar(FuzzRandom& random, bool ascii) {
    static const wchar_t kWide[] = {0xE9, 0x5D0, 0x4E2D, 0x2603, 0xFF21, 0x20AC, 0x0A0A, 0x0D0D};
    if (!ascii && random.OneIn(6))
      return random.Pick(kWide);
    return static_cast<wchar_t>(random.Between(0x20, 0x7E));
  }

  static std::wstring RandomName(FuzzRandom& random, bool ascii) {
    std::wstring name(1, static_cast<wchar_t>(L'A' + random.Below(26)));
    for (size_t i = random.Below(30); i > 0; --i) {
      wchar_t c = RandomChar(random, ascii);
      name.push_back(c == L'=' ? L'\\' : c);
    }
    return name;
  }

  // Any text of a line (quotation marks and '=' included, no line end and no NUL).
  static std::wstring RandomText(FuzzRandom& random, bool ascii, bool quoted) {
    std::wstring text;
    for (size_t i = random.OneIn(50) ? 3000 : random.Below(40); i > 0; --i)
      text.push_back(random.OneIn(10) && quoted ? L'"' : RandomChar(random, ascii));
    return text;
  }

  static std::string Encode(const std::wstring& text, IniEncoding encoding) {
    switch (encoding) {
      case IniEncoding::Utf16Le:
        return "\xFF\xFE" + UnitsToUtf16Le(WideToUnits(text));
      case IniEncoding::Utf16Be: {
        std::string bytes = "\xFE\xFF";
        for (wchar_t c : text) {
          bytes.push_back(static_cast<char>(c >> 8));
          bytes.push_back(static_cast<char>(c & 0xFF));
        }
        return bytes;
      }
      case IniEncoding::Utf8: {
        std::string bytes(text.size() * 3 + 1, '\0');
        int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
        bytes.resize(static_cast<size_t>(n > 0 ? n : 0));
        return "\xEF\xBB\xBF" + bytes;
      }
      case IniEncoding::Ansi:
        break;
    }
    return UnitsToBytes(WideToUnits(text));  // ASCII only
  }
};

// A saved file split into entries; false when it is not in the form a save writes.
bool SplitSaved(const std::string& bytes, std::vector<IniEntry>& entries, std::string& problem) {
  if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0 || bytes.size() % 2 != 0) {
    problem = "no UTF-16LE mark or an odd length";
    return false;
  }
  Units units = Utf16LeToUnits(bytes.substr(2));
  std::wstring text(units.begin(), units.end());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(L"\r\n", pos);
    if (end == std::wstring::npos) {
      problem = "a line without CR LF";
      return false;
    }
    std::wstring line = text.substr(pos, end - pos);
    pos = end + 2;
    size_t equals = line.find(L'=');
    if (equals == std::wstring::npos || line.find_first_of(L"\r\n") != std::wstring::npos) {
      problem = "a line that is no entry: " + Printable(line);
      return false;
    }
    IniEntry e{line.substr(0, equals), line.substr(equals + 1), EntryKind::Plain};
    if (!e.Value.empty() && e.Value[0] == L'"') {
      if (e.Value.size() < 2 || e.Value.back() != L'"') {
        problem = "a quoted value without its closing mark: " + Printable(line);
        return false;
      }
      e.Kind = EntryKind::Quoted;
      e.Value = e.Value.substr(1, e.Value.size() - 2);
    } else if (e.Value.compare(0, 4, L"bin:") == 0) {
      e.Kind = EntryKind::Binary;
      e.Value = e.Value.substr(4);
    }
    entries.push_back(e);
  }
  return true;
}

class SettingsFileFuzz : public FuzzTarget {
 public:
  const char* Name() const override { return "ini"; }
  uint32_t Number() const override { return 3; }

  bool Prepare(const FuzzOptions& options, std::string& error) override {
    std::wstring program = options.Scratch + L"\\program";
    std::wstring appData = options.Scratch + L"\\appdata";
    if (!MakeFolders(program) || !MakeFolders(appData)) {
      error = "cannot make the scratch folders";
      return false;
    }
    path_ = program + L"\\Vellox.ini";
    SetProgramPathForTesting((program + L"\\uninstall.exe").c_str());
    SetSpecialFolderForTesting(CSIDL_APPDATA, appData.c_str());
    for (int i = 0; i < 6; ++i) {
      FuzzRandom random(0x5EED + static_cast<uint64_t>(i));
      seeds_.push_back(BytesToUnits(generator_.Make(random).Bytes));
    }
    std::vector<std::string> tokens = CommonTokens();
    for (const char* t : {"Global\\SaveSettings=0", "Global\\Integration=0", "=\"", "\"\"",
                          "HKCU\\Setup\\", "\xFE\xFF", "\x00\x0A", "\x0A\x0A"}) {
      tokens.push_back(t);
    }
    for (const std::string& t : tokens) {
      bytesDictionary_.push_back(BytesToUnits(t));
      wideDictionary_.push_back(WideToUnits(std::wstring(t.begin(), t.end())));
    }
    return true;
  }

  void RunOne(uint64_t, FuzzRandom& random) override {
    GeneratedIni generated = generator_.Make(random);
    std::string bytes = generated.Bytes;
    bool exact = random.OneIn(5);
    if (!exact) {
      bool wide = bytes.compare(0, 2, "\xFF\xFE") == 0 && random.OneIn(2);
      if (random.OneIn(3)) {
        bytes = UnitsToBytes(seeds_[random.Below(seeds_.size())]);
        wide = false;
      }
      if (wide) {
        Units units = Utf16LeToUnits(bytes.substr(2));
        MutationSettings settings{0xFFFF, kMaxUnits, 4000, &wideDictionary_, nullptr};
        Mutate(units, random, settings, MutationRounds(random));
        bytes = "\xFF\xFE" + UnitsToUtf16Le(units);
      } else {
        Units units = BytesToUnits(bytes);
        MutationSettings settings{0xFF, kMaxUnits, 4000, &bytesDictionary_, &seeds_};
        Mutate(units, random, settings, MutationRounds(random));
        bytes = UnitsToBytes(units);
      }
    }
    if (!WriteWholeFile(path_, bytes)) {
      Fail("cannot write the input file");
      return;
    }
    Check(bytes, exact ? &generated.Entries : nullptr);
  }

  void Finish() override {
    ResetSettingsFileForTesting();  // nothing is written back at exit
    SetProgramPathForTesting(nullptr);
    SetSpecialFolderForTesting(CSIDL_APPDATA, nullptr);
  }

 private:
  static constexpr size_t kMaxUnits = 1 << 17;

  void Check(const std::string& bytes, const std::vector<IniEntry>* generated) {
    ResetSettingsFileForTesting();
    LoadSettingsFile();
    if (!SettingsFileInUse()) {
      Fail("a readable settings file was not loaded");
      return;
    }
    std::vector<IniEntry> expected;
    if (generated != nullptr) {
      expected = *generated;
      for (const IniEntry& e : expected) {
        if (e.Name.compare(0, 7, L"Global\\") == 0)
          continue;
        const wchar_t* value = IniFindValue(e.Name.c_str());
        const IniEntry& firstOfName = *std::find_if(
            expected.begin(), expected.end(), [&](const IniEntry& x) { return x.Name == e.Name; });
        if (value == nullptr || firstOfName.Value != value) {
          Fail("generated file: %s reads \"%s\", written \"%s\"", Printable(e.Name).c_str(),
               value != nullptr ? Printable(value).c_str() : "(none)",
               Printable(firstOfName.Value).c_str());
          return;
        }
      }
      // The switches go back as 0 or 1, and missing ones are added (on).
      for (const wchar_t* global : kGlobalNames) {
        auto it = std::find_if(expected.begin(), expected.end(),
                               [&](const IniEntry& x) { return x.Name == global; });
        if (it == expected.end())
          expected.push_back(IniEntry{global, L"1", EntryKind::Plain});
      }
    }
    int64_t saveSwitch = 1;
    (void)IniReadInt(nullptr, L"Global", L"SaveSettings", 1, &saveSwitch);  // the file takes it
    bool wrote = WriteSettingsFile();
    std::string saved;
    if (!ReadWholeFile(path_, saved)) {
      Fail("the settings file is gone after a save");
      return;
    }
    if (saveSwitch == 0) {
      if (wrote || saved != bytes)
        Fail("SaveSettings is off, yet the file was written");
      return;
    }
    if (!wrote) {
      Fail("the save failed");
      return;
    }
    if (generated != nullptr && saved != SavedBytes(expected)) {
      Fail("generated file: the saved bytes differ from the entries written");
      return;
    }
    CheckSaved(saved);
  }

  void CheckSaved(const std::string& saved) {
    std::vector<IniEntry> entries;
    std::string problem;
    if (!SplitSaved(saved, entries, problem)) {
      Fail("saved file: %s", problem.c_str());
      return;
    }
    for (size_t i = 1; i < entries.size(); ++i) {
      if (entries[i].Name < entries[i - 1].Name) {
        Fail("saved file not sorted at line %u", static_cast<unsigned>(i + 1));
        return;
      }
    }
    std::map<std::wstring, const IniEntry*> first;
    for (const IniEntry& e : entries)
      first.emplace(e.Name, &e);
    for (const wchar_t* global : kGlobalNames) {
      auto it = first.find(global);
      if (it == first.end() || (it->second->Value != L"0" && it->second->Value != L"1") ||
          it->second->Kind != EntryKind::Plain) {
        Fail("saved file: %s missing or not 0 or 1", Printable(global).c_str());
        return;
      }
    }
    ResetSettingsFileForTesting();
    LoadSettingsFile();
    for (const auto& [name, entry] : first) {
      const wchar_t* value = IniFindValue(name.c_str());
      if (value == nullptr || entry->Value != value) {
        Fail("reloaded file: %s reads \"%s\", saved \"%s\"", Printable(name).c_str(),
             value != nullptr ? Printable(value).c_str() : "(none)",
             Printable(entry->Value).c_str());
        return;
      }
    }
    if (!WriteSettingsFile()) {
      Fail("the second save failed");
      return;
    }
    std::string again;
    if (!ReadWholeFile(path_, again) || again != saved)
      Fail("a saved file, reloaded and saved, changed");
  }

  std::wstring path_;
  IniGenerator generator_;
  std::vector<Units> seeds_;
  std::vector<Units> bytesDictionary_;
  std::vector<Units> wideDictionary_;
};

}  // namespace

std::unique_ptr<FuzzTarget> MakeSettingsFileFuzz() {
  return std::make_unique<SettingsFileFuzz>();
}
