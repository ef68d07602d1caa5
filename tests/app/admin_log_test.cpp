#include "app/admin_log.h"

#include <gtest/gtest.h>

#include <string>

#include "resources/version.h"
#include "support/scratch_folder.h"

namespace {

// The log's lines without their time stamps (which are checked for their form).
std::string LinesWithoutTime(const std::wstring& path) {
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(path, bytes));
  std::string out;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
    if (end == std::string::npos)
      break;
    const std::string line = bytes.substr(start, end - start);
    EXPECT_EQ(line.size() > 24 ? line[23] : 0, '\t') << line;
    EXPECT_EQ(line.substr(4, 1) + line.substr(10, 1) + line.substr(19, 1), "- .") << line;
    out += line.substr(24) + "\n";
    start = end + 2;
  }
  return out;
}

TEST(AdminLog, WritesOneLinePerChangeEscapedSoThatEveryTextComesBack) {
  ScratchFolder scratch;
  const std::wstring path = scratch.Join(L"new folder\\deeper\\changes.log");
  {
    AdminLog log;
    ASSERT_TRUE(log.Open(path.c_str(), L"Setup", L"\"C:\\x\\uninstall.exe\" /setup /s"));
    log.Listen();
    RecordChangeFromTo(ChangeKind::ValueSet, L"HKEY_CURRENT_USER\\Software\\Vellox", L"a\tb",
                       nullptr, L"REG_SZ:50% \x00e9\x20ac\xd83d\xde00 \xd800.\r\n");
    RecordChange(ChangeKind::Skipped, L"C:\\x\\f.txt", nullptr, L"missing");
    // A multi-string's items whole, and the units at which readers break lines escaped.
    ChangeEvent multi{ChangeKind::ValueDeleted, L"K",    L"M",
                      L"REG_MULTI_SZ:a\0b",     nullptr, L"\x0085\x2028\x2029"};
    multi.BeforeLength = 16;
    RecordChange(multi);
    log.Close(0);
    RecordChange(ChangeKind::Notice, L"after the close: not written");
  }
  AdminLog again;  // a second run appends
  ASSERT_TRUE(again.Open(path.c_str(), L"Uninstall", L""));
  again.Close(2);
  EXPECT_EQ(LinesWithoutTime(path),
            "start\tmode=Setup\tversion=" VLX_VERSION_TEXT
            "\tcommand=\"C:\\x\\uninstall.exe\" /setup /s\n"
            "value-set\tkey=HKEY_CURRENT_USER\\Software\\Vellox\tvalue=a%09b\t"
            "after=REG_SZ:50%25 \xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 %uD800.%0D%0A\n"
            "skipped\tpath=C:\\x\\f.txt\tnote=missing\n"
            "value-deleted\tkey=K\tvalue=M\tbefore=REG_MULTI_SZ:a%00b\tnote=%85%u2028%u2029\n"
            "exit\tcode=0\n"
            "start\tmode=Uninstall\tversion=" VLX_VERSION_TEXT
            "\tcommand=\n"
            "exit\tcode=2\n");
}

// A log whose writes fail for real while `failing` is set: the line's bytes are handed to the
// system from a page it cannot read, so WriteFile itself fails.
class FailingLog : public AdminLog {
 public:
  FailingLog() : page_(VirtualAlloc(nullptr, kPage, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS)) {}
  ~FailingLog() { (void)VirtualFree(page_, 0, MEM_RELEASE); }
  bool failing = false;

 protected:
  bool WriteBytes(const char* bytes, DWORD size) override {
    return AdminLog::WriteBytes(failing ? static_cast<const char*>(page_) : bytes, size);
  }

 private:
  static constexpr DWORD kPage = 65536;
  void* page_;
};

TEST(AdminLog, LinesThatCannotBeWrittenAreCountedInTheExitLine) {
  ScratchFolder scratch;
  const std::wstring path = scratch.Join(L"changes.log");
  FailingLog log;
  ASSERT_TRUE(log.Open(path.c_str(), L"Setup", L""));
  log.Listen();
  log.failing = true;
  RecordChange(ChangeKind::Notice, L"lost");
  RecordChange(ChangeKind::Notice, L"lost too");
  log.failing = false;
  RecordChange(ChangeKind::Notice, L"kept");
  log.Close(0);
  const std::string lines = LinesWithoutTime(path);
  EXPECT_EQ(lines.substr(lines.find("\n") + 1), "notice\tpath=kept\nexit\tcode=0\tlost=2\n");
}

TEST(AdminLog, ALogThatCannotBeOpenedIsNone) {
  ScratchFolder scratch;
  AdminLog log;
  EXPECT_FALSE(log.Open(scratch.Path().c_str(), L"Setup", L""));  // a folder
  EXPECT_FALSE(log.IsOpen());
  log.Listen();
  EXPECT_FALSE(IsRecordingChanges());
  log.Close(0);  // harmless
}

}  // namespace
