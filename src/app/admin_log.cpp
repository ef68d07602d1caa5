#include "app/admin_log.h"

#include <cstdio>
#include <string>

#include "common/path_util.h"
#include "common/string_util.h"
#include "resources/version.h"

namespace {

// The field names of an event's subject and name.
struct FieldNames {
  const wchar_t* Subject;
  const wchar_t* Name;
};

FieldNames FieldNamesOf(ChangeKind kind) {
  switch (kind) {
    case ChangeKind::KeyCreated:
    case ChangeKind::KeyDeleted:
    case ChangeKind::ValueSet:
    case ChangeKind::ValueDeleted:
      return {L"key", L"value"};
    case ChangeKind::SettingSet:
    case ChangeKind::SettingDeleted:
      return {L"file", L"entry"};
    case ChangeKind::FileRenamed:
      return {L"path", L"to"};
    case ChangeKind::FileCreated:
      return {L"path", L"target"};
    case ChangeKind::Association:
      return {L"extension", L"class"};
    case ChangeKind::Notice:
      return {L"path", L"command"};
    default:
      return {L"path", L"name"};
  }
}

void AppendEscapedByte(std::string& out, unsigned value) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[(value >> 4) & 15];
  out += kHex[value & 15];
}

// UTF-16 text as UTF-8, with control characters, '%' and lone surrogates escaped (see the
// header): every text comes back exactly from its line.
void AppendUtf8(std::string& out, const wchar_t* text) {
  for (const wchar_t* p = text; *p != 0; ++p) {
    unsigned c = static_cast<unsigned>(*p);
    if (c < 0x20 || c == 0x7F || c == '%') {
      AppendEscapedByte(out, c);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      unsigned code = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned>(p[1]) - 0xDC00);
      ++p;
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (c >= 0xD800 && c <= 0xDFFF) {
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
  const wchar_t* fields[] = {L"mode",    mode,
                             L"version", VLX_VERSION_TEXT_W,
                             L"command", commandLine != nullptr ? commandLine : L""};
  WriteLine(L"start", fields, 6);
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
  const wchar_t* fields[] = {L"code", code};
  WriteLine(L"exit", fields, 2);
  file_.reset();
}

void AdminLog::OnChange(const ChangeEvent& change) {
  const FieldNames names = FieldNamesOf(change.Kind);
  const wchar_t* fields[10];
  size_t count = 0;
  auto add = [&](const wchar_t* name, const wchar_t* text) {
    if (text != nullptr) {
      fields[count++] = name;
      fields[count++] = text;
    }
  };
  add(names.Subject, change.Subject);
  add(names.Name, change.Name);
  add(L"before", change.Before);
  add(L"after", change.After);
  add(L"note", change.Detail);
  WriteLine(ChangeKindName(change.Kind), fields, count);
}

void AdminLog::WriteLine(const wchar_t* event, const wchar_t* const* fields, size_t count) {
  if (!file_.valid())
    return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[32];
  (void)std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear,
                      now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  std::string line(stamp);
  line += '\t';
  AppendUtf8(line, event);
  for (size_t i = 0; i + 1 < count; i += 2) {
    line += '\t';
    AppendUtf8(line, fields[i]);
    line += '=';
    AppendUtf8(line, fields[i + 1]);
  }
  line += "\r\n";
  // One write a line: a line is either in the file whole or not at all, short of a full disk.
  // A failed write loses that line and no more; the run goes on.
  DWORD written = 0;
  (void)WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
