#pragma once
// A thin object over a Windows file handle for whole-file reading and writing, plus free
// functions on files by name. Every operation on a name that the system refuses is retried
// once on the name's long-path form (\\?\), so paths longer than MAX_PATH work everywhere.
// Failures of Close, Seek, Tell, Read and Write go to the error handler; Open and Create
// report through their result only.

#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "common/path_util.h"
#include "common/string_util.h"

class File {
 public:
  // Open mode bits.
  static constexpr uint32_t kOpenShareWrite = 0x04;   // Open: others may write too
  static constexpr uint32_t kCreateShareRead = 0x10;  // Create: others may read

  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  // A file made by Create that is still open is closed and deleted, so an output file whose
  // writing was not finished does not survive half-written. An opened file is closed.
  virtual ~File();

  // GENERIC_READ, FILE_SHARE_READ (+ FILE_SHARE_WRITE for kOpenShareWrite), OPEN_EXISTING,
  // sequential scan. Clears the created flag in any case.
  virtual bool Open(const wchar_t* name, uint32_t mode);
  // True when no handle is open or CloseHandle succeeded; a failed close is reported.
  virtual bool Close();
  // Bytes read, 0 at the end of the file or after a read error (every later Read returns 0
  // until the next successful Open).
  virtual int32_t Read(void* buffer, uint32_t count);
  // From the start of the file; a closed file is left alone.
  virtual void Seek(uint64_t offset);
  virtual uint64_t Tell();
  virtual bool IsOpened() const;

  // GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS (an existing file is replaced).
  bool Create(const wchar_t* name, uint32_t mode);
  // One WriteFile call; 0 bytes succeed at once. False on failure (reported).
  bool Write(const void* data, uint32_t count);

  const wchar_t* Name() const { return name_; }
  // True after a read error until the next successful Open: what was read is not the whole
  // file, although Read reports the end as it would at the true end.
  bool ReadStopped() const { return readStopped_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool created_ = false;
  bool readStopped_ = false;
  wchar_t name_[kPathBufferCapacity] = {};
};

// Calls attempt (bool(const wchar_t*), true on success) once, on the long-path form (\\?\) of
// name; false, without a call, when that form cannot be made.
template <typename Attempt>
bool OnLongPathForm(const wchar_t* name, Attempt&& attempt) {
  wchar_t longName[kPathBufferCapacity];
  return ToLongPathForm(name, longName, kPathBufferCapacity) && attempt(longName);
}

// The one retry that every call on a file name gets: attempt(name), and when the system refuses
// the name, attempt once more on its long-path form. True when either call succeeded.
template <typename Attempt>
bool WithLongPathRetry(const wchar_t* name, Attempt&& attempt) {
  return attempt(name) || OnLongPathForm(name, attempt);
}

// GetFileAttributesW, retried on the long-path form when it fails.
DWORD GetFileAttr(const wchar_t* name);
// Folders count as existing.
bool FileExists(const wchar_t* name);
// True for an existing file; folders and missing paths are not files.
bool IsExistingFile(const wchar_t* name);
bool IsDirectoryAttr(DWORD attributes);
bool IsReparsePointAttr(DWORD attributes);
// DeleteFileW, retried on the long-path form when it fails.
bool RemoveFile(const wchar_t* name);
// A buffered stdio stream ("rb" or "wb") that denies nobody sharing; null on failure.
// The caller closes it (see UniqueStdioFile).
FILE* OpenStream(const wchar_t* name, const wchar_t* mode);
// Free bytes available to the caller on the volume of the name's folder; 0 on failure.
uint64_t GetFreeDiskSpace(const wchar_t* name);
