#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/test_seams.h"
#include "lang/language_file.h"
#include "lang/language_library.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "support/scratch_folder.h"

namespace {

// Every test reads the program's own string table (the test program carries it).
class MessagesTest : public testing::Test {
 protected:
  void SetUp() override {
    UnloadLanguageLibrary();
    OwnInstance = GetModuleHandleW(nullptr);
    ResourceModule = OwnInstance;
  }
  static std::wstring Own(int id) {
    wchar_t text[1024];
    if (LoadStringW(GetModuleHandleW(nullptr), id, text, 1024) == 0)
      return L"";
    return text;
  }
};

TEST_F(MessagesTest, EveryMessageHasAnEnglishText) {
  const int ids[] = {IDS_UNINSTTITLE,
                     IDS_VELLOXHELP,
                     IDS_VLXHELP,
                     IDS_WHATSNEW,
                     IDS_WHATSNEWNAME,
                     IDS_UNINSTALLVLX,
                     IDS_UNINSTALLCOMPLETED,
                     IDS_UNINSTALLSHOULDDELETE,
                     IDS_CONTINUEUNINSTALL,
                     IDS_CANNOTOPENLIST,
                     IDS_VELLOXARC,
                     IDS_VELLOXZIPARC,
                     IDS_VLXRECVOL,
                     IDS_HOMEURL,
                     IDS_VELLOXDESC,
                     IDS_REBOOTREQUIRED,
                     IDS_INSTHELP1,
                     IDS_INSTHELP2,
                     IDS_INSTHELP3,
                     IDS_INSTHELP4,
                     IDS_INSTHELP5,
                     IDS_INSTHELP6,
                     IDS_WARN32BIT,
                     IDS_INSTREBOOTREQUIRED,
                     IDS_BETA,
                     IDS_32BIT,
                     IDS_64BIT,
                     IDS_SINGLETOPITEM,
                     IDS_FORCURRENTUSER,
                     IDS_NOTHINGINTEGRATED};
  for (int id : ids) {
    std::wstring text = MessageText(id);
    EXPECT_FALSE(text.empty()) << id;
    EXPECT_EQ(text, Own(id)) << id;
  }
  // The texts with an inserted name carry exactly one string placeholder.
  for (int id : {IDS_UNINSTALLSHOULDDELETE, IDS_CANNOTOPENLIST}) {
    std::wstring text = Own(id);
    size_t first = text.find(L"%s");
    ASSERT_NE(first, std::wstring::npos) << id;
    EXPECT_EQ(text.find(L'%', first + 1), std::wstring::npos) << id;
    EXPECT_EQ(text.find(L'%'), first) << id;
  }
}

TEST_F(MessagesTest, UnknownIdGivesTheEmptyText) {
  EXPECT_STREQ(MessageText(4242), L"");
  wchar_t dest[16] = L"previous";
  EXPECT_EQ(LoadMessageText(4242, dest, 16), dest);
  EXPECT_STREQ(dest, L"");
}

TEST_F(MessagesTest, TextIsCutToTheCapacity) {
  std::wstring full = Own(IDS_CONTINUEUNINSTALL);
  ASSERT_GT(full.size(), 10u);
  wchar_t dest[6];
  LoadMessageText(IDS_CONTINUEUNINSTALL, dest, 6);
  EXPECT_EQ(std::wstring(dest), full.substr(0, 5));

  wchar_t one[1] = {L'x'};
  LoadMessageText(IDS_CONTINUEUNINSTALL, one, 1);
  EXPECT_EQ(one[0], 0);

  wchar_t untouched[1] = {L'x'};
  LoadMessageText(IDS_CONTINUEUNINSTALL, untouched, 0);
  EXPECT_EQ(untouched[0], L'x');
}

TEST_F(MessagesTest, RingHandsOutEightSlotsInTurn) {
  std::set<const wchar_t*> slots;
  const wchar_t* first = MessageText(IDS_BETA);
  slots.insert(first);
  for (int i = 2; i <= 8; ++i)
    slots.insert(MessageText(IDS_32BIT));
  EXPECT_EQ(slots.size(), 8u);
  // The ninth call reuses (and overwrites) the buffer of the first.
  EXPECT_STREQ(first, Own(IDS_BETA).c_str());
  const wchar_t* ninth = MessageText(IDS_64BIT);
  EXPECT_EQ(ninth, first);
  EXPECT_STREQ(first, Own(IDS_64BIT).c_str());
}

// --- Where a text comes from: language file, then library, then the program ---

class MessageSourcesTest : public MessagesTest {
 protected:
  void SetUp() override {
    MessagesTest::SetUp();
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(TestProgramFolder() + L"\\vlxlng.dll", bytes));
    scratch_.WriteFile(L"vlxlng.dll", bytes);
    SetProgramPathForTesting(scratch_.Join(L"uninstall.exe").c_str());
    LoadLanguageLibrary(GetModuleHandleW(nullptr));
    ASSERT_TRUE(LanguageLibraryLoaded());
  }
  void TearDown() override {
    ClearLanguageFile();
    UnloadLanguageLibrary();
    SetProgramPathForTesting(nullptr);
  }
  static void UseLanguageFile(const std::wstring& text) {
    ParseLanguageFileText(text.c_str(), text.size());
  }
  ScratchFolder scratch_;
};

TEST_F(MessageSourcesTest, LanguageFileWinsOverLibraryAndProgram) {
  UseLanguageFile(
      L"notes\r\n***messages***\r\n:STRINGS\r\nIDS_UNINSTALLVLX Desinstalar Vellox\r\n"
      L"IDS_BETA beta (lng)\r\n");
  EXPECT_STREQ(MessageText(IDS_UNINSTALLVLX), L"Desinstalar Vellox");  // library has one too
  EXPECT_STREQ(MessageText(IDS_BETA), L"beta (lng)");                  // only the program has one
  EXPECT_STREQ(MessageText(IDS_64BIT), L"64 Bit");                     // not in the file: library
}

TEST_F(MessageSourcesTest, EmptyLanguageFileEntryGivesAnEmptyText) {
  UseLanguageFile(L"***messages***\nIDS_UNINSTALLVLX \nIDS_BETA,\n");
  EXPECT_STREQ(MessageText(IDS_UNINSTALLVLX), L"");
  EXPECT_STREQ(MessageText(IDS_BETA), L"");
  wchar_t dest[64] = L"previous";
  LoadMessageText(IDS_BETA, dest, 64);
  EXPECT_STREQ(dest, L"");
}

TEST_F(MessageSourcesTest, AfterUnloadingTheLibraryTheFileStillWins) {
  UseLanguageFile(L"***messages***\nIDS_UNINSTALLCOMPLETED Vellox fue desinstalado.\n");
  EXPECT_STREQ(MessageText(IDS_UNINSTALLVLX), L"Vellox deinstallieren");
  UnloadLanguageLibrary();
  // The library's text is gone: the program's own table answers.
  EXPECT_EQ(std::wstring(MessageText(IDS_UNINSTALLVLX)), Own(IDS_UNINSTALLVLX));
  EXPECT_EQ(std::wstring(MessageText(IDS_64BIT)), Own(IDS_64BIT));
  EXPECT_STREQ(MessageText(IDS_UNINSTALLCOMPLETED), L"Vellox fue desinstalado.");
}

TEST_F(MessageSourcesTest, RingSlotHoldsUpTo1023Units) {
  // A translation of 1023 units comes whole; one of 1500 is cut to its first 1023.
  const std::wstring fits = std::wstring(1000, L'a') + std::wstring(23, L'b');
  const std::wstring overlong = std::wstring(1023, L'c') + std::wstring(477, L'd');
  UseLanguageFile(L"***messages***\nIDS_BETA " + fits + L"\nIDS_64BIT " + overlong + L"\n");
  EXPECT_EQ(std::wstring(MessageText(IDS_BETA)), fits);
  EXPECT_EQ(std::wstring(MessageText(IDS_64BIT)), std::wstring(1023, L'c'));
}

// --- Filling in a message's placeholder ---

std::wstring Format(const wchar_t* format, const wchar_t* insert, size_t capacity = 256) {
  wchar_t dest[256];
  FormatMessageWithText(format, insert, dest, capacity);
  return dest;
}

TEST(FormatMessageWithTextTest, FillsTheStringPlaceholder) {
  EXPECT_EQ(Format(L"Please delete %s by hand.", L"C:\\Vellox\\uninstall.exe"),
            L"Please delete C:\\Vellox\\uninstall.exe by hand.");
  EXPECT_EQ(Format(L"%ls|%S", L"x"), L"x|x");
  EXPECT_EQ(Format(L"no placeholder", L"x"), L"no placeholder");
  EXPECT_EQ(Format(L"%s", nullptr), L"");
}

TEST(FormatMessageWithTextTest, OtherDirectivesStayText) {
  // A translation with a stray directive must not read arguments that are not there.
  EXPECT_EQ(Format(L"100%% of %s", L"x"), L"100% of x");
  EXPECT_EQ(Format(L"%d %n %p %x %", L"x"), L"%d %n %p %x %");
  EXPECT_EQ(Format(L"%l%s", L"x"), L"%lx");
  EXPECT_EQ(Format(L"%s %s", L"ab"), L"ab ab");
}

TEST(FormatMessageWithTextTest, ResultIsCutToTheCapacity) {
  EXPECT_EQ(Format(L"abc %s def", L"0123456789", 8), L"abc 012");
  EXPECT_EQ(Format(L"abc", L"x", 1), L"");
  wchar_t untouched[2] = {L'x', L'y'};
  FormatMessageWithText(L"abc", L"x", untouched, 0);
  EXPECT_EQ(untouched[0], L'x');
  std::wstring longInsert(5000, L'z');
  EXPECT_EQ(Format(L"%s!", longInsert.c_str()), std::wstring(255, L'z'));
}

}  // namespace
