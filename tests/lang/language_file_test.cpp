#include "lang/language_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "common/test_seams.h"
#include "guarded_text.h"
#include "lang/language_file_parser.h"
#include "lang/language_file_reader.h"
#include "lang/language_key_table.h"
#include "memory_file.h"
#include "resources/resource.h"
#include "support/scratch_folder.h"
#include "support/utf16_bytes.h"

namespace {

class LanguageFileTest : public testing::Test {
 protected:
  void TearDown() override {
    ClearLanguageFile();
    SetProgramPathForTesting(nullptr);
  }
  static void Load(const std::wstring& body) {
    const std::wstring text = L"***messages***\r\n" + body;
    ParseLanguageFileText(text.c_str(), text.size());
  }
  static std::wstring ByKey(const char* key, size_t capacity = 1024) {
    wchar_t text[1024] = L"<untouched>";
    return FindTextByKey(key, text, capacity) ? text : L"<none>";
  }
  static std::wstring ById(unsigned id) {
    wchar_t text[1024];
    return FindStringText(id, text, 1024) ? text : L"<none>";
  }
  static std::wstring DialogItem(const wchar_t* dialog, const wchar_t* item) {
    wchar_t text[512];
    return FindDialogText(dialog, item, text, 512) ? text : L"<none>";
  }
  static std::wstring SampleFolder() { return TestProgramFolder() + L"\\languages"; }
};

TEST_F(LanguageFileTest, LookupsByKeyIdAndDialogItem) {
  EXPECT_EQ(ByKey("s:IDS_BETA"), L"<none>");  // nothing parsed yet
  EXPECT_EQ(ById(IDS_BETA), L"<none>");
  Load(
      L"IDS_BETA \"Beta-Test\"\r\nIDS_64BIT \"\"\r\nIDS_OTHER x\r\n"
      L":DIALOG SETUPDLG\r\nSIZE 120*100\r\nCAPTION Einrichtung\r\nIDC_ASSOCVLX VLX-Archive\r\n");
  EXPECT_EQ(LanguageEntryCount(), 6u);
  EXPECT_EQ(ByKey("s:IDS_BETA"), L"Beta-Test");
  EXPECT_EQ(ByKey("s:IDS_OTHER"), L"x");  // not in the key table, still stored
  EXPECT_EQ(ByKey("s:IDS_BET"), L"<none>");
  EXPECT_EQ(ByKey("s:IDS_BETAX"), L"<none>");
  EXPECT_EQ(ByKey("S:IDS_BETA"), L"<none>");  // case-sensitive
  EXPECT_EQ(ByKey(""), L"<none>");
  // An empty text is found, and is an answer.
  EXPECT_EQ(ByKey("s:IDS_64BIT"), L"");
  EXPECT_EQ(ById(IDS_64BIT), L"");
  // Texts are cut to the capacity.
  EXPECT_EQ(ByKey("s:IDS_BETA", 5), L"Beta");
  EXPECT_EQ(ByKey("s:IDS_BETA", 1), L"");
  // By message ID: only the strings section answers.
  EXPECT_EQ(ById(IDS_BETA), L"Beta-Test");
  EXPECT_EQ(ById(IDS_32BIT), L"<none>");     // in the table, not in the file
  EXPECT_EQ(ById(9999), L"<none>");          // not in the table
  EXPECT_EQ(ById(IDC_ASSOCVLX), L"<none>");  // 5101 is also IDS_UNINSTTITLE: not in the file
  EXPECT_EQ(DialogItem(L"SETUPDLG", L"SIZE"), L"120*100");
  EXPECT_EQ(DialogItem(L"SETUPDLG", L"CAPTION"), L"Einrichtung");
  EXPECT_EQ(DialogItem(L"SETUPDLG", L"IDC_ASSOCVLX"), L"VLX-Archive");
  EXPECT_EQ(DialogItem(L"DONEDLG", L"CAPTION"), L"<none>");
  EXPECT_EQ(DialogItem(L"setupdlg", L"CAPTION"), L"<none>");
  EXPECT_EQ(DialogItem(std::wstring(100, L'D').c_str(), L"CAPTION"), L"<none>");
}

TEST_F(LanguageFileTest, EveryMessageIdFindsItsOwnEntry) {
  std::wstring body;
  for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
    const std::string key = LanguageKeyTable[i].Key;
    if (key.compare(0, 2, "s:") != 0)
      continue;
    body += std::wstring(key.begin() + 2, key.end()) + L" T" + std::to_wstring(i) + L"\r\n";
  }
  Load(L":DIALOG SETUPDLG\r\nIDOK dialog\r\n:STRINGS\r\n" + body);
  size_t found = 0;
  for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
    if (std::string(LanguageKeyTable[i].Key).compare(0, 2, "s:") != 0)
      continue;
    EXPECT_EQ(ById(LanguageKeyTable[i].Id), L"T" + std::to_wstring(i)) << LanguageKeyTable[i].Key;
    ++found;
  }
  EXPECT_EQ(found, 30u);
}

TEST_F(LanguageFileTest, DuplicateAndOverlongKeys) {
  // The first entry of a key in file order is the one found.
  Load(L"IDS_BETA first\r\nIDS_A a\r\nIDS_BETA second\r\n");
  EXPECT_EQ(ByKey("s:IDS_BETA"), L"first");
  // Keys are kept to 49 bytes; a longer lookup key is compared on as many.
  const std::wstring longName(60, L'L');
  Load(longName + L" long\r\n");
  const std::string longKey = "s:" + std::string(60, 'L');
  EXPECT_EQ(ByKey(longKey.c_str()), L"long");
  EXPECT_EQ(ByKey(longKey.substr(0, 49).c_str()), L"long");
  EXPECT_EQ(ByKey(longKey.substr(0, 48).c_str()), L"<none>");
}

TEST_F(LanguageFileTest, ManyEntriesAreAllFound) {
  std::wstring body;
  for (int i = 0; i < 5000; ++i) {
    body += L"K" + std::to_wstring((i * 7919) % 5000) + L" v" + std::to_wstring(i) + L"\n";
  }
  Load(body);
  ASSERT_EQ(LanguageEntryCount(), 5000u);
  for (int i = 0; i < 5000; ++i) {
    const std::string key = "s:K" + std::to_string((i * 7919) % 5000);
    ASSERT_EQ(ByKey(key.c_str()), L"v" + std::to_wstring(i));
  }
}

TEST_F(LanguageFileTest, FilesOnDisk) {
  ScratchFolder folder;
  const std::string body = "***messages***\r\nIDS_BETA disk\r\n";
  // A name without a backslash is taken from the program's folder.
  folder.WriteFile(L"uninstall.lng", body);
  SetProgramPathForTesting(folder.Join(L"uninstall.exe").c_str());
  ParseLanguageFile(L"uninstall.lng");
  EXPECT_EQ(ById(IDS_BETA), L"disk");

  // A path is used as it stands; a new parse replaces the old entries.
  const std::wstring other = folder.WriteFile(L"sub\\other.lng",
                                              "\xEF\xBB\xBF"
                                              "Notes\r\n***messages***\r\nIDS_32BIT x\r\n");
  ParseLanguageFile(other.c_str());
  EXPECT_EQ(ById(IDS_BETA), L"<none>");
  EXPECT_EQ(ById(IDS_32BIT), L"x");

  // UTF-16 whose marker lies at an odd byte offset.
  const std::wstring odd = folder.WriteFile(
      L"odd.lng",
      "\xFF\xFE\x41" + Utf16Le(L"***messages***\r\n:DIRECTION RTL\r\nIDS_BETA \x05D1\r\n", false));
  ParseLanguageFile(odd.c_str());
  EXPECT_EQ(ById(IDS_BETA), L"\x05D1");
  EXPECT_TRUE(RightToLeft);

  // Missing file, empty file, a file that is only the marker: no entries, left to right.
  ParseLanguageFile(folder.Join(L"missing.lng").c_str());
  EXPECT_EQ(LanguageEntryCount(), 0u);
  EXPECT_FALSE(RightToLeft);
  ParseLanguageFile(folder.WriteFile(L"empty.lng", "").c_str());
  EXPECT_EQ(LanguageEntryCount(), 0u);
  ParseLanguageFile(folder.WriteFile(L"marker.lng", "***messages***").c_str());
  EXPECT_EQ(LanguageEntryCount(), 0u);
  ParseLanguageFile(folder.WriteFile(L"marker2.lng", "***messages***\r\n").c_str());
  EXPECT_EQ(LanguageEntryCount(), 0u);
}

TEST_F(LanguageFileTest, FileOpenedByAnotherProcessForWriting) {
  ScratchFolder folder;
  const std::wstring path = folder.WriteFile(L"uninstall.lng", "***messages***\r\nIDS_BETA w\r\n");
  HANDLE writer =
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  ParseLanguageFile(path.c_str());
  CloseHandle(writer);
  EXPECT_EQ(ById(IDS_BETA), L"w");
}

// Both samples translate every key of the table and parse into exactly the table's keys.
TEST_F(LanguageFileTest, SamplesTranslateEveryKey) {
  for (const wchar_t* language : {L"German", L"Hebrew"}) {
    SCOPED_TRACE(testing::Message() << language);
    ParseLanguageFile((SampleFolder() + L"\\" + language + L"\\uninstall.lng").c_str());
    EXPECT_EQ(LanguageEntryCount(), LanguageKeyTableCount);
    for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
      const std::wstring text = ByKey(LanguageKeyTable[i].Key);
      EXPECT_NE(text, L"<none>") << LanguageKeyTable[i].Key;
      EXPECT_FALSE(text.empty()) << LanguageKeyTable[i].Key;
    }
  }
}

TEST_F(LanguageFileTest, GermanSampleInTheAnsiCodePage) {
  ParseLanguageFile((SampleFolder() + L"\\German\\uninstall.lng").c_str());
  EXPECT_FALSE(RightToLeft);
  EXPECT_EQ(DialogItem(L"SETUPDLG", L"SIZE"), L"118*100");
  // The sample is Windows-1252 text, read in the ANSI code page.
  ASSERT_EQ(GetACP(), 1252u) << "run the tests in a Western European (or the C) locale";
  EXPECT_EQ(ById(IDS_CONTINUEUNINSTALL),
            L"Vellox und alle seine Einstellungen werden von diesem Computer entfernt.\n\n"
            L"M\x00F6"
            L"chten Sie fortfahren?");
  EXPECT_EQ(DialogItem(L"SETUPDLG", L"IDC_SETCONTEXTMENU"),
            L"Kontextmen\x00FC"
            L"eintr\x00E4ge\x2026");
}

TEST_F(LanguageFileTest, HebrewSampleIsRightToLeft) {
  ParseLanguageFile((SampleFolder() + L"\\Hebrew\\uninstall.lng").c_str());
  EXPECT_TRUE(RightToLeft);
  EXPECT_EQ(ById(IDS_BETA), L"\x05D1\x05D8\x05D0");
  EXPECT_EQ(DialogItem(L"SETUPCONTEXTITEMS", L"IDC_CONTEXTADDARC"),
            L"\x05D4\x05D5\x05E1\x05E4\x05D4 \x05D0\x05DC \"Archive.vlx\"");
}

// --- Bad input: any bytes parse without a crash or a read past a buffer, and the lookups
// answer exactly what the parser reported. ---

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

void CollectFirst(void* context, const char* key, const wchar_t* text, size_t length) {
  auto& entries = *static_cast<std::pair<size_t, std::map<std::string, std::wstring>>*>(context);
  ++entries.first;
  entries.second.emplace(key, std::wstring(text, length));  // the first of a key stays
}

// Reads the bytes as a language file, parses the text twice (once into the store, once into
// a plain map, both from a buffer that faults on a read past its end) and checks that every
// lookup agrees with the map.
void CheckBytes(const std::string& bytes) {
  MemoryFile file(bytes);
  size_t length = 0;
  std::unique_ptr<wchar_t, FreeDeleter> text(ReadLanguageText(file, length));
  if (!text) {
    ParseLanguageFileText(L"", 0);
    EXPECT_EQ(LanguageEntryCount(), 0u);
    return;
  }
  ASSERT_LE(length, size_t{kLanguageCharLimit});
  GuardedText guarded(std::wstring(text.get(), length));
  std::pair<size_t, std::map<std::string, std::wstring>> expected;
  bool rightToLeft = false;
  ASSERT_TRUE(ParseLanguageText(guarded.Get(), CollectFirst, &expected, rightToLeft));
  ParseLanguageFileText(guarded.Get(), length);
  ASSERT_EQ(LanguageEntryCount(), expected.first);
  EXPECT_EQ(RightToLeft, rightToLeft);
  static wchar_t found[kLanguageTextLength + 1];
  for (const auto& entry : expected.second) {
    ASSERT_LE(entry.first.size(), kLanguageKeyLength);
    ASSERT_LE(entry.second.size(), kLanguageTextLength);
    ASSERT_TRUE(FindTextByKey(entry.first.c_str(), found, kLanguageTextLength + 1));
    ASSERT_EQ(entry.second, found) << entry.first;
  }
  for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
    const LanguageKeyRow& row = LanguageKeyTable[i];
    const auto it = expected.second.find(row.Key);
    const bool inFile = it != expected.second.end();
    ASSERT_EQ(FindTextByKey(row.Key, found, 1024), inFile) << row.Key;
    if (row.Key[0] == 's') {
      wchar_t byId[1024];
      ASSERT_EQ(FindStringText(row.Id, byId, 1024), inFile) << row.Key;
      if (inFile) {
        ASSERT_EQ(it->second.substr(0, 1023), byId);
      }
    }
  }
}

std::string ReadSample(const std::wstring& path) {
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(path, bytes)) << "missing sample";
  return bytes;
}

std::string Mutate(std::string bytes, std::mt19937& random) {
  static const char* const kPieces[] = {"\r",
                                        "\n",
                                        "\r\n",
                                        "\\",
                                        "\"",
                                        ":",
                                        ":DIALOG ",
                                        ":STRINGS",
                                        ":DIRECTION RTL",
                                        ":MENU M",
                                        ",",
                                        "\t",
                                        "***messages***",
                                        "IDS_BETA ",
                                        "SIZE 120*100"};
  std::uniform_int_distribution<int> kind(0, 7);
  const int steps = 1 + static_cast<int>(random() % 8);
  for (int s = 0; s < steps; ++s) {
    const size_t at = bytes.empty() ? 0 : random() % (bytes.size() + 1);
    switch (kind(random)) {
      case 0:  // flip a byte
        if (at < bytes.size())
          bytes[at] = static_cast<char>(random());
        break;
      case 1:  // insert random bytes
        for (int i = 0, n = 1 + random() % 16; i < n; ++i) {
          bytes.insert(bytes.begin() + at, static_cast<char>(random()));
        }
        break;
      case 2:  // delete a range
        bytes.erase(at, random() % 64);
        break;
      case 3:  // duplicate a range
        if (at < bytes.size())
          bytes.insert(at, bytes.substr(at, random() % 200));
        break;
      case 4: {  // insert a piece of the grammar, in either encoding
        std::string piece = kPieces[random() % (sizeof(kPieces) / sizeof(kPieces[0]))];
        if (random() % 2)
          piece = Utf16Le(std::wstring(piece.begin(), piece.end()), false);
        bytes.insert(at, piece);
        break;
      }
      case 5:  // NUL characters, 8-bit or 16-bit
        bytes.insert(at, std::string(1 + random() % 2, '\0'));
        break;
      case 6: {  // an unpaired surrogate
        const wchar_t unit = static_cast<wchar_t>(0xD800 + random() % 0x800);
        bytes.insert(at, Utf16Le(std::wstring(1, unit), false));
        break;
      }
      default:  // cut the file short
        bytes.resize(at);
        break;
    }
  }
  return bytes;
}

TEST_F(LanguageFileTest, MutatedSamplesAndNoise) {
  const std::string samples[] = {ReadSample(SampleFolder() + L"\\German\\uninstall.lng"),
                                 ReadSample(SampleFolder() + L"\\Hebrew\\uninstall.lng")};
  std::mt19937 random(20240611);
  for (int i = 0; i < 10000; ++i) {
    const std::string bytes = Mutate(samples[i % 2], random);
    SCOPED_TRACE(testing::Message() << "mutation " << i);
    ASSERT_NO_FATAL_FAILURE(CheckBytes(bytes));
  }
  for (int i = 0; i < 500; ++i) {
    std::string noise(random() % 20000, '\0');
    for (char& c : noise)
      c = static_cast<char>(random());
    if (i % 2) {
      const std::string marker =
          (i % 4 == 1) ? "***messages***" : Utf16Le(L"***messages***", false);
      noise.insert(random() % (noise.size() + 1), marker);
    }
    SCOPED_TRACE(testing::Message() << "noise " << i);
    ASSERT_NO_FATAL_FAILURE(CheckBytes(noise));
  }
}

TEST_F(LanguageFileTest, HugeAndDegenerateFiles) {
  // 2 MiB without a line end, in both encodings: one line, no entries.
  CheckBytes("***messages***" + std::string(2 * 1024 * 1024, 'x'));
  EXPECT_EQ(LanguageEntryCount(), 0u);
  CheckBytes(Utf16Le(L"***messages***\r\nIDS_BETA " + std::wstring(1024 * 1024, L'y'), false));
  ASSERT_EQ(LanguageEntryCount(), 1u);
  EXPECT_EQ(ByKey("s:IDS_BETA", 3), L"yy");
  // Lines that are all separators, backslashes or line ends.
  CheckBytes("***messages***\r\n" + std::string(300000, '\\'));
  CheckBytes("***messages***\r\nA" + std::string(300000, ','));
  CheckBytes("***messages***" + std::string(300000, '\n'));
  CheckBytes("***messages***\n" + std::string(100000, ':'));
  // The largest file: every line an entry.
  std::string many = "***messages***";
  while (many.size() < 2 * 1024 * 1024)
    many += "\nA b";
  CheckBytes(many);
  EXPECT_EQ(LanguageEntryCount(), size_t{kLanguageCharLimit} / 4 - 4);  // 1 Mi characters parsed
  EXPECT_EQ(ByKey("s:A"), L"b");
}

}  // namespace
