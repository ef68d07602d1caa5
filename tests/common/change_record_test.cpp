#include "common/change_record.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "common/file.h"
#include "common/file_changes.h"
#include "common/win_handles.h"
#include "support/change_recorder.h"
#include "support/scratch_folder.h"

namespace {

// The formatted text by the length returned (a text may hold NUL units of its own).
std::wstring Formatted(DWORD type, const void* data, DWORD size, size_t capacity = 64) {
  std::vector<wchar_t> text(capacity + 1, L'#');
  const size_t length =
      FormatRegistryData(type, static_cast<const BYTE*>(data), size, text.data(), capacity);
  EXPECT_EQ(text[capacity], L'#') << "written past the capacity";
  EXPECT_TRUE(length < capacity && text[length] == 0) << "not terminated at the length";
  return std::wstring(text.data(), length < capacity ? length : 0);
}

TEST(FormatRegistryData, ShowsEachTypeAsItsOwnKindOfText) {
  EXPECT_EQ(Formatted(REG_SZ, L"C:\\x", 10), L"REG_SZ:C:\\x");
  EXPECT_EQ(Formatted(REG_SZ, L"ab", 4), L"REG_SZ:ab");  // stored without its terminator
  EXPECT_EQ(Formatted(REG_SZ, L"", 2), L"REG_SZ:");
  EXPECT_EQ(Formatted(REG_MULTI_SZ, L"a\0b\0", 10), std::wstring(L"REG_MULTI_SZ:a\0b", 16));
  const DWORD dword = 0xFFFFFFFF;
  EXPECT_EQ(Formatted(REG_DWORD, &dword, 4), L"REG_DWORD:4294967295");
  const unsigned char bytes[] = {0x00, 0xAB, 0x10};
  EXPECT_EQ(Formatted(REG_BINARY, bytes, 3), L"REG_BINARY:00ab10");
  EXPECT_EQ(Formatted(REG_DWORD, bytes, 3), L"REG_DWORD:00ab10");  // not four bytes: raw
  EXPECT_EQ(Formatted(REG_SZ, bytes, 3), L"REG_SZ:00ab10");        // odd size: raw
  EXPECT_EQ(Formatted(0x1234, bytes, 1), L"REG_TYPE_4660:00");
  EXPECT_EQ(Formatted(REG_NONE, nullptr, 0), L"REG_NONE:");
}

TEST(FormatRegistryData, MarksDataThatDoesNotFitWithItsSize) {
  const std::wstring text(100, L'x');
  EXPECT_EQ(Formatted(REG_SZ, text.c_str(), 200, 40), L"REG_SZ:xxxxxxxxxxxxxxxxxx...(200 bytes)");
  EXPECT_EQ(Formatted(REG_SZ, text.c_str(), 200, 5), L"REG_");  // no room for the mark
  EXPECT_EQ(Formatted(REG_MULTI_SZ, L"ab\0cdefghijklmnop\0", 38, 30),
            std::wstring(L"REG_MULTI_SZ:ab\0...(38 bytes)", 29));  // the mark after the items
}

std::wstring Hex(DWORD value) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lx", static_cast<unsigned long>(value));
  return text;
}

// An observer that notes each change it hears in a shared order, and may remove itself or
// throw when told.
class Counting final : public ChangeObserver {
 public:
  explicit Counting(std::vector<std::wstring>* heard = nullptr, const wchar_t* id = L"")
      : heard_(heard), id_(id) {}
  void OnChange(const ChangeEvent& change) override {
    if (heard_ != nullptr)
      heard_->push_back(id_ + L":" + change.Subject);
    if (removeSelf)
      RemoveChangeObserver(this);
    if (throws)
      throw std::bad_alloc();
  }
  bool removeSelf = false;
  bool throws = false;

 private:
  std::vector<std::wstring>* heard_;
  std::wstring id_;
};

TEST(ChangeObservers, TheLatestHearsFirstAndMayLeaveOrThrowWhileTold) {
  std::vector<std::wstring> heard;
  Counting first(&heard, L"first");
  Counting second(&heard, L"second");
  second.removeSelf = second.throws = true;
  ASSERT_TRUE(AddChangeObserver(&first));
  EXPECT_TRUE(AddChangeObserver(&second));
  EXPECT_FALSE(AddChangeObserver(&second));   // once only
  RecordChange(ChangeKind::Notice, L"one");   // what second throws goes no further
  RecordChange(ChangeKind::Notice, nullptr);  // a subject is always there
  RemoveChangeObserver(&first);
  EXPECT_EQ(heard, (std::vector<std::wstring>{L"second:one", L"first:one", L"first:"}));
  Counting more[kMaxChangeObservers + 1];
  size_t added = 0;
  for (Counting& observer : more)
    added += AddChangeObserver(&observer) ? 1 : 0;
  EXPECT_EQ(added, kMaxChangeObservers);
  for (Counting& observer : more)
    RemoveChangeObserver(&observer);
}

TEST(FileChanges, EachSucceededChangeIsReportedByItsFullPathAndFailuresAreNot) {
  ScratchFolder scratch;
  const std::wstring file = scratch.WriteFile(L"a.txt", "old");
  const std::wstring moved = scratch.Join(L"b.txt");
  const std::wstring folder = scratch.Join(L"sub");
  ChangeRecorder changes;
  {
    UniqueStdioFile stream(OpenStream(file.c_str(), L"wb"));
    ASSERT_TRUE(stream);
  }
  EXPECT_TRUE(RenameFile(file.c_str(), moved.c_str()));
  EXPECT_FALSE(RenameFile(file.c_str(), moved.c_str()));
  const DWORD fresh = GetFileAttributesW(moved.c_str());
  EXPECT_TRUE(SetAttributes(moved.c_str(), FILE_ATTRIBUTE_READONLY));
  const DWORD readOnly = GetFileAttributesW(moved.c_str());  // the system may keep others
  EXPECT_TRUE(SetAttributes(moved.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(RemoveFile(moved.c_str()));
  EXPECT_FALSE(RemoveFile(moved.c_str()));
  EXPECT_TRUE(CreateFolder(folder.c_str()));
  EXPECT_FALSE(CreateFolder(folder.c_str()));
  EXPECT_TRUE(RemoveEmptyFolder(folder.c_str()));
  const std::vector<std::wstring> expected = {
      L"file-created|" + file + L"|-|-|-|replaced",
      L"file-renamed|" + file + L"|" + moved + L"|-|-|-",
      L"attributes-set|" + moved + L"|-|" + Hex(fresh) + L"|0x00000001|-",
      L"attributes-set|" + moved + L"|-|" + Hex(readOnly) + L"|0x00000080|-",
      L"file-deleted|" + moved + L"|-|-|-|-",
      L"folder-created|" + folder + L"|-|-|-|-",
      L"folder-deleted|" + folder + L"|-|-|-|-",
  };
  EXPECT_EQ(changes.Lines(), expected);
}

}  // namespace
