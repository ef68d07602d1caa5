#include "lang/language_key_table.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "lang/language_file_parser.h"

namespace {

std::string Section(const char* key) {
  return std::string(key, static_cast<size_t>(std::strchr(key, ':') - key));
}
std::string Name(const char* key) {
  return std::strchr(key, ':') + 1;
}

TEST(LanguageKeyTable, KeysAreWellFormedAndUnique) {
  std::set<std::string> keys;
  std::set<std::pair<std::string, uint32_t>> ids;
  for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
    const LanguageKeyRow& row = LanguageKeyTable[i];
    SCOPED_TRACE(row.Key);
    ASSERT_NE(std::strchr(row.Key, ':'), nullptr);
    // Every key fits the parser's key length, so it can be found in a file.
    EXPECT_LE(std::strlen(row.Key), kLanguageKeyLength);
    EXPECT_TRUE(keys.insert(row.Key).second);
    const std::string section = Section(row.Key);
    const std::string name = Name(row.Key);
    EXPECT_TRUE(section == "s" || section == "$SETUPDLG" || section == "$DONEDLG" ||
                section == "$SETUPCONTEXTITEMS");
    if (row.Id == 0) {
      EXPECT_TRUE(name == "SIZE" || name == "CAPTION");
      EXPECT_NE(section, "s");
    } else {
      EXPECT_TRUE(ids.insert({section, row.Id}).second) << "two rows for one control";
    }
  }
  EXPECT_EQ(keys.size(), 110u);
}

TEST(LanguageKeyTable, EveryMessageHasAnEnglishText) {
  for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
    const LanguageKeyRow& row = LanguageKeyTable[i];
    if (Section(row.Key) != "s")
      continue;
    wchar_t text[1024];
    EXPECT_GT(LoadStringW(GetModuleHandleW(nullptr), row.Id, text, 1024), 0) << row.Key;
  }
}

TEST(LanguageKeyTable, EachDialogHasSizeCaptionAndOk) {
  for (const char* dialog : {"$SETUPDLG", "$DONEDLG", "$SETUPCONTEXTITEMS"}) {
    std::set<std::string> names;
    for (size_t i = 0; i < LanguageKeyTableCount; ++i) {
      if (Section(LanguageKeyTable[i].Key) == dialog)
        names.insert(Name(LanguageKeyTable[i].Key));
    }
    EXPECT_TRUE(names.count("SIZE") && names.count("CAPTION") && names.count("IDOK")) << dialog;
  }
}

}  // namespace
