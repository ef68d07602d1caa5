#include "app/admin_log.h"

#include <cstdio>
#include <string>

#include "common/path_util.h"
#include "common/string_util.h"
#include "resources/version.h"

namespace {

void AppendEscapedByte(std::string& out, unsigned value) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[(value >> 4) & 15];
  out += kHex[value & 15];
}

// The line and paragraph separators, which readers may take for the end of a line (as they may
// the C1 control NEL, which is escaped with the other control characters).
bool IsLineSeparator(unsigned c) {
  return c == 0x2028 || c == 0x2029;
}

// length units of UTF-16 text as UTF-8, with control characters (NUL units too), '%', the line
// and paragraph separators and lone surrogates escaped (see the header): every text comes back
// exactly from its line.
void AppendUtf8(std::string& out, const wchar_t* text, size_t length) {
  const wchar_t* end = text + length;
  for (const wchar_t* p = text; p < end; ++p) {
    unsigned c = static_cast<unsigned>(*p);
    if (c < 0x20 || c == 0x7F || c == '%' || (c >= 0x80 && c <= 0x9F)) {
      AppendEscapedByte(out, c);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      unsigned code = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned>(p[1]) - 0xDC00);
      ++p;
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if ((c >= 0xD800 && c <= 0xDFFF) || IsLineSeparator(c)) {
      char unit[8];
      (void)std::snprintf(unit, sizeof(unit), "%%u%04X", c);
      out += unit;
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

// Creates every missing folder above the file (the log's own, so they are not reported).
void CreateFoldersAbove(const wchar_t* path) {
  std::wstring folder(path);
  size_t start = folder.size() > 2 && folder[1] == L':' ? 3 : 0;
  if (folder.compare(0, 2, L"\\\\") == 0) {
    // \\server\share\ or \\?\C:\ : the first folders that can be made come behind these.
    size_t skip = folder.find(L'\\', 2);
    skip = skip == std::wstring::npos ? skip : folder.find(L'\\', skip + 1);
    if (skip == std::wstring::npos)
      return;
    start = skip + 1;
    if (folder.compare(0, 4, L"\\\\?\\") == 0)
      start = folder.size() > 6 && folder[5] == L':' ? 7 : start;
  }
  for (size_t i = start; i < folder.size(); ++i) {
    if (folder[i] != L'\\' && folder[i] != L'/')
      continue;
    std::wstring parent(folder, 0, i);
    (void)CreateDirectoryW(parent.c_str(), nullptr);  // an existing folder is no error
  }
}

}  // namespace

AdminLog::~AdminLog() {
  if (listening_)
    RemoveChangeObserver(this);
}

bool AdminLog::Open(const wchar_t* path, const wchar_t* mode, const wchar_t* commandLine) {
  wchar_t full[kPathBufferCapacity];
  DWORD length = GetFullPathNameW(path, kPathBufferCapacity, full, nullptr);
  if (length == 0 || length >= kPathBufferCapacity)
    return false;
  // Appending only: every write goes to the end, even with another run writing too.
  auto open = [&]() {
    file_.reset(CreateFileW(full, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    return file_.valid();
  };
  if (!open()) {
    CreateFoldersAbove(full);
    if (!open())
      return false;
  }
  const wchar_t* command = commandLine != nullptr ? commandLine : L"";
  const Field fields[] = {{L"mode", mode, WideLength(mode)},
                          {L"version", VLX_VERSION_TEXT_W, WideLength(VLX_VERSION_TEXT_W)},
                          {L"command", command, WideLength(command)}};
  WriteLine(L"start", fields, 3);
  return true;
}

void AdminLog::Listen() {
  if (file_.valid() && !listening_)
    listening_ = AddChangeObserver(this);
}

void AdminLog::Close(int exitCode) {
  if (listening_) {
    RemoveChangeObserver(this);
    listening_ = false;
  }
  if (!file_.valid())
    return;
  wchar_t code[24];
  IntToDecimal(exitCode, code, 24);
  wchar_t lost[24];
  IntToDecimal(static_cast<int64_t>(lostLines_), lost, 24);
  const Field fields[] = {{L"code", code, WideLength(code)}, {L"lost", lost, WideLength(lost)}};
  WriteLine(L"exit", fields, lostLines_ != 0 ? 2 : 1);
  file_.reset();
}

void AdminLog::OnChange(const ChangeEvent& change) {
  const ChangeKindInfo& kind = ChangeKindInfoOf(change.Kind);
  Field fields[5];
  size_t count = 0;
  auto add = [&](const wchar_t* name, const wchar_t* text, size_t length) {
    if (text != nullptr)
      fields[count++] = Field{name, text, ChangeTextLength(text, length)};
  };
  add(kind.SubjectField, change.Subject, kWholeText);
  add(kind.NameField, change.Name, kWholeText);
  add(L"before", change.Before, change.BeforeLength);
  add(L"after", change.After, change.AfterLength);
  add(L"note", change.Detail, kWholeText);
  WriteLine(kind.Event, fields, count);
}

void AdminLog::WriteLine(const wchar_t* event, const Field* fields, size_t count) noexcept {
  if (!file_.valid())
    return;
  // Any failure loses this line and no more: the run goes on, and the exit line counts it.
  try {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    (void)std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear,
                        now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                        now.wMilliseconds);
    std::string line(stamp);
    line += '\t';
    AppendUtf8(line, event, WideLength(event));
    for (size_t i = 0; i < count; ++i) {
      line += '\t';
      AppendUtf8(line, fields[i].Name, WideLength(fields[i].Name));
      line += '=';
      AppendUtf8(line, fields[i].Text, fields[i].Length);
    }
    line += "\r\n";
    // One write a line: a line is either in the file whole or not at all, short of a full disk.
    if (line.size() <= 0xFFFFFFFFu && WriteBytes(line.data(), static_cast<DWORD>(line.size())))
      return;
  } catch (...) {
    // out of memory for the line: lost like a failed write
  }
  ++lostLines_;
}

bool AdminLog::WriteBytes(const char* bytes, DWORD size) {
  DWORD written = 0;
  return WriteFile(file_.get(), bytes, size, &written, nullptr) && written == size;
}
