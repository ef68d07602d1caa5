#include "common/file.h"

#include <share.h>

#include <climits>

#include "common/error_handler.h"
#include "common/file_changes.h"
#include "common/path_util.h"
#include "common/string_util.h"

namespace {

// Raw reads that the system refuses are repeated with these smaller sizes.
constexpr uint32_t kDeviceReadLimit = 20000;
constexpr uint32_t kLockedReadLimit = 32768;

// A name whose last character the system would drop ("name." or "name ") can only be reached
// through the long-path form.
bool EndsInDotOrBlank(const wchar_t* name) {
  const wchar_t* last = LastChar(name);
  return *last == L'.' || *last == L' ';
}

// CreateFileW on the long-path form only when plainFirst is false, else with the usual retry.
HANDLE CreateWithLongPathRetry(const wchar_t* name, bool plainFirst, DWORD access, DWORD share,
                               DWORD disposition, DWORD flags) {
  HANDLE h = INVALID_HANDLE_VALUE;
  auto create = [&](const wchar_t* attempt) {
    h = CreateFileW(attempt, access, share, nullptr, disposition, flags, nullptr);
    return h != INVALID_HANDLE_VALUE;
  };
  if (plainFirst)
    (void)WithLongPathRetry(name, create);
  else
    (void)OnLongPathForm(name, create);
  return h;
}

// One ReadFile call, repeated with a smaller size where the system is known to refuse large
// requests: character devices and pipes over 20000 bytes, locked ranges over 32768 bytes.
bool RawRead(HANDLE h, void* buffer, uint32_t count, DWORD& got) {
  got = 0;
  if (h == INVALID_HANDLE_VALUE)
    return false;  // a closed file: a read error
  if (ReadFile(h, buffer, count, &got, nullptr))
    return true;
  DWORD error = GetLastError();
  DWORD type = GetFileType(h);
  if ((type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) && count > kDeviceReadLimit) {
    return RawRead(h, buffer, kDeviceReadLimit, got);
  }
  if (count > kLockedReadLimit && error == ERROR_LOCK_VIOLATION) {
    return RawRead(h, buffer, kLockedReadLimit, got);
  }
  return false;
}

}  // namespace

File::~File() {
  if (handle_ == INVALID_HANDLE_VALUE)
    return;
  if (!created_) {
    (void)Close();  // a failed close is reported to the error handler
    return;
  }
  // A file made by Create and never closed was not finished: it must not survive.
  (void)Close();
  if (EndsInDotOrBlank(name_)) {
    // The plain name would reach "name" instead of "name.", and could delete another file.
    (void)OnLongPathForm(name_, [](const wchar_t* longName) { return RemoveFile(longName); });
  } else {
    (void)RemoveFile(name_);
  }
}

bool File::Open(const wchar_t* name, uint32_t mode) {
  (void)Close();  // an object holds one file at a time
  created_ = false;
  DWORD share = FILE_SHARE_READ;
  if ((mode & kOpenShareWrite) != 0)
    share |= FILE_SHARE_WRITE;
  HANDLE h = CreateWithLongPathRetry(name, true, GENERIC_READ, share, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  handle_ = h;
  CopyBounded(name_, name, kPathBufferCapacity);
  readStopped_ = false;
  return true;
}

bool File::Create(const wchar_t* name, uint32_t mode) {
  (void)Close();
  DWORD share = (mode & kCreateShareRead) != 0 ? FILE_SHARE_READ : 0;
  CopyBounded(name_, name, kPathBufferCapacity);
  created_ = true;
  handle_ = CreateWithLongPathRetry(name, !EndsInDotOrBlank(name), GENERIC_READ | GENERIC_WRITE,
                                    share, CREATE_ALWAYS, 0);
  if (handle_ == INVALID_HANDLE_VALUE)
    return false;
  // CREATE_ALWAYS tells by ERROR_ALREADY_EXISTS that a file of that name was replaced.
  RecordFileChange(ChangeKind::FileCreated, name, nullptr,
                   GetLastError() == ERROR_ALREADY_EXISTS ? L"replaced" : nullptr);
  return true;
}

bool File::Close() {
  if (handle_ == INVALID_HANDLE_VALUE)
    return true;
  bool closed = CloseHandle(handle_) != 0;
  handle_ = INVALID_HANDLE_VALUE;
  if (!closed)
    Errors().CloseError(name_);
  return closed;
}

int32_t File::Read(void* buffer, uint32_t count) {
  if (readStopped_)
    return 0;
  // The result is signed 32-bit: one call reads at most INT_MAX bytes.
  if (count > static_cast<uint32_t>(INT_MAX))
    count = INT_MAX;
  DWORD got = 0;
  if (RawRead(handle_, buffer, count, got))
    return static_cast<int32_t>(got);
  // The handler answers Stop: from now on the file reads as ended.
  (void)Errors().AskReadError(name_);
  readStopped_ = true;
  return 0;
}

bool File::Write(const void* data, uint32_t count) {
  if (count == 0)
    return true;
  DWORD written = 0;
  if (WriteFile(handle_, data, count, &written, nullptr)) {
    if (written == count)
      return true;
    SetLastError(ERROR_HANDLE_DISK_FULL);  // a short write is a failed write
  }
  DWORD error = GetLastError();
  int64_t position = static_cast<int64_t>(Tell());
  uint64_t freeSpace = GetFreeDiskSpace(name_);
  SetLastError(error);
  // The volume has room, but the write would carry the file across 4 GiB.
  if (freeSpace > count && position - static_cast<int64_t>(count) <= 0xFFFFFFFFLL &&
      position + static_cast<int64_t>(count) > 0xFFFFFFFFLL) {
    Errors().ReportFileSizeLimit(name_);
  }
  (void)Errors().AskWriteRetry(name_);  // never retried
  Errors().WriteError(name_);
  return false;
}

void File::Seek(uint64_t offset) {
  if (handle_ == INVALID_HANDLE_VALUE)
    return;
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(handle_, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
    Errors().SeekError(name_);
}

uint64_t File::Tell() {
  if (handle_ == INVALID_HANDLE_VALUE) {
    Errors().SeekError(name_);
    return 0;
  }
  LONG high = 0;
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(handle_, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    Errors().SeekError(name_);
    return 0;
  }
  return (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
}

bool File::IsOpened() const {
  return handle_ != INVALID_HANDLE_VALUE;
}

DWORD GetFileAttr(const wchar_t* name) {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  (void)WithLongPathRetry(name, [&](const wchar_t* attempt) {
    attributes = GetFileAttributesW(attempt);
    return attributes != INVALID_FILE_ATTRIBUTES;
  });
  return attributes;
}

bool FileExists(const wchar_t* name) {
  return GetFileAttr(name) != INVALID_FILE_ATTRIBUTES;
}

bool IsExistingFile(const wchar_t* name) {
  DWORD attributes = GetFileAttr(name);
  return attributes != INVALID_FILE_ATTRIBUTES && !IsDirectoryAttr(attributes);
}

bool IsDirectoryAttr(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsReparsePointAttr(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool RemoveFile(const wchar_t* name) {
  if (!WithLongPathRetry(name, [](const wchar_t* attempt) { return DeleteFileW(attempt) != 0; }))
    return false;
  RecordFileChange(ChangeKind::FileDeleted, name);
  return true;
}

FILE* OpenStream(const wchar_t* name, const wchar_t* mode) {
  // As with Create: "name." opened plainly would be "name", so it goes to the long form at once.
  FILE* stream = nullptr;
  const bool writes = mode[0] == L'w' || mode[0] == L'a';
  const bool existed = writes && IsRecordingChanges() && IsExistingFile(name);
  auto open = [&](const wchar_t* attempt) {
    stream = _wfsopen(attempt, mode, _SH_DENYNO);
    return stream != nullptr;
  };
  if (EndsInDotOrBlank(name))
    (void)OnLongPathForm(name, open);
  else
    (void)WithLongPathRetry(name, open);
  if (stream != nullptr && writes && !(existed && mode[0] == L'a'))
    RecordFileChange(ChangeKind::FileCreated, name, nullptr, existed ? L"replaced" : nullptr);
  return stream;
}

uint64_t GetFreeDiskSpace(const wchar_t* name) {
  wchar_t folder[kPathBufferCapacity];
  FolderOfPath(name, folder, kPathBufferCapacity);
  ULARGE_INTEGER available, total, totalFree;
  auto query = [&](const wchar_t* attempt) {
    return GetDiskFreeSpaceExW(attempt, &available, &total, &totalFree) != 0;
  };
  // An empty folder part means the current folder's volume: there is no name to retry on.
  bool ok = folder[0] != 0 ? WithLongPathRetry(folder, query) : query(nullptr);
  if (!ok)
    return 0;
  // A caller's share larger than the whole volume's free space is not believable.
  if (available.HighPart > totalFree.HighPart)
    return 0;
  return available.QuadPart;
}
