// Writing the settings file back: entries sorted by name, UTF-16LE with its mark, CR LF after
// each line. The new content goes to a sibling of the file first, is flushed to the disk, and
// then replaces the old file in one step: a crash, a full disk or a failing write leaves the
// previous file as it was. The file replaced is the one the settings file resolves to, so a
// link (a synced folder) is written through and stays a link; the new file takes the old one's
// attributes and access list before it replaces it, since ReplaceFileW does not carry them
// over everywhere (Wine's renames the new file into place as it is).

#include <cstring>
#include <cwchar>

#include "common/file.h"
#include "common/file_changes.h"
#include "common/grow_array.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "common/win_handles.h"
#include "settings/heap_sort.h"
#include "settings/settings_file.h"
#include "settings/settings_file_internal.h"

namespace {

constexpr wchar_t kTempSuffix[] = L".tmp";
constexpr uint32_t kWritePiece = 1u << 20;

int CompareEntryNames(const void* a, const void* b) {
  const auto* x = static_cast<const SortItem*>(a);
  const auto* y = static_cast<const SortItem*>(b);
  const int names = CompareNames(*x, *y);
  if (names != 0)
    return names;
  if (x->Position != y->Position)
    return x->Position < y->Position ? -1 : 1;
  return 0;
}

void Put(GrowArray<wchar_t>& text, const wchar_t* piece) {
  size_t n = WideLength(piece);
  size_t at = text.Count();
  text.Add(n);
  for (size_t i = 0; i < n; ++i)
    text[at + i] = piece[i];
}

// The whole file as UTF-16 units, mark first.
void FormatEntries(const SettingsFile& store, GrowArray<wchar_t>& text) {
  GrowArray<SortItem> sorted;
  SortEntries(store.First, sorted);
  text.Push(0xFEFF);
  for (size_t i = 0; i < sorted.Count(); ++i) {
    const SettingsEntry* e = sorted[i].Entry;
    Put(text, e->EntryName);
    Put(text, L"=");
    if (e->Kind == EntryKind::Quoted)
      Put(text, L"\"");
    if (e->Kind == EntryKind::Binary)
      Put(text, L"bin:");
    Put(text, e->EntryValue);
    if (e->Kind == EntryKind::Quoted)
      Put(text, L"\"");
    Put(text, L"\r\n");
  }
}

// CreateFileW, retried once on the long-path form when the system refuses the name.
HANDLE CreateFileRetrying(const wchar_t* name, DWORD access, DWORD share, DWORD disposition,
                          DWORD attributes) {
  HANDLE h = INVALID_HANDLE_VALUE;
  (void)WithLongPathRetry(name, [&](const wchar_t* attempt) {
    h = CreateFileW(attempt, access, share, nullptr, disposition, attributes, nullptr);
    return h != INVALID_HANDLE_VALUE;
  });
  return h;
}

// The new file. WRITE_DAC: it takes the access rights of the one it replaces.
HANDLE CreateOutput(const wchar_t* name, DWORD attributes) {
  return CreateFileRetrying(name, GENERIC_READ | GENERIC_WRITE | WRITE_DAC, FILE_SHARE_READ,
                            CREATE_ALWAYS, attributes);
}

// An existing file, opened for looking at it only (through a link, its target).
HANDLE OpenToInspect(const wchar_t* name) {
  return CreateFileRetrying(name, READ_CONTROL | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                            0);
}

bool MoveOver(const wchar_t* from, const wchar_t* to) {
  constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (MoveFileExW(from, to, kFlags))
    return true;
  // Both names on their long-path form, or no retry at all.
  return OnLongPathForm(from, [&](const wchar_t* longFrom) {
    return OnLongPathForm(
        to, [&](const wchar_t* longTo) { return MoveFileExW(longFrom, longTo, kFlags) != FALSE; });
  });
}

// The access list of an open file as a self-relative descriptor; false (and sd empty) when the
// file system has none to give.
bool ReadDacl(HANDLE h, GrowArray<unsigned char>& sd) {
  sd.Clear();
  DWORD needed = 0;
  (void)GetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  if (needed == 0)
    return false;
  sd.Add(needed);
  if (!GetKernelObjectSecurity(h, DACL_SECURITY_INFORMATION, sd.Data(), needed, &needed)) {
    sd.Clear();
    return false;
  }
  return true;
}

// Whether two descriptors hold the same access list (entries and protection).
bool SameDacl(GrowArray<unsigned char>& a, GrowArray<unsigned char>& b) {
  BOOL presentA = FALSE, presentB = FALSE, defaultedA = FALSE, defaultedB = FALSE;
  PACL aclA = nullptr;
  PACL aclB = nullptr;
  if (!GetSecurityDescriptorDacl(a.Data(), &presentA, &aclA, &defaultedA) ||
      !GetSecurityDescriptorDacl(b.Data(), &presentB, &aclB, &defaultedB)) {
    return false;
  }
  SECURITY_DESCRIPTOR_CONTROL controlA = 0, controlB = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(a.Data(), &controlA, &revision) ||
      !GetSecurityDescriptorControl(b.Data(), &controlB, &revision)) {
    return false;
  }
  if (presentA != presentB || ((controlA ^ controlB) & SE_DACL_PROTECTED) != 0)
    return false;
  if (aclA == nullptr || aclB == nullptr)
    return aclA == aclB;
  return aclA->AclSize == aclB->AclSize && std::memcmp(aclA, aclB, aclA->AclSize) == 0;
}

// Writes all units to the new file and makes them durable; false on any failure.
bool WriteAll(HANDLE h, const GrowArray<wchar_t>& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.Data());
  size_t left = text.Count() * sizeof(wchar_t);
  while (left > 0) {
    DWORD piece = left > kWritePiece ? kWritePiece : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(h, bytes, piece, &written, nullptr) || written != piece)
      return false;
    bytes += piece;
    left -= piece;
  }
  return FlushFileBuffers(h) != FALSE;
}

// The file that a save replaces, and what the replacement must keep of it.
struct SaveTarget {
  bool Exists = false;
  // The file itself: the final path of the settings file, so a link (a synced folder) is
  // written through and stays a link.
  wchar_t Path[SettingsFile::kPathCapacity] = {};
  // Attributes the new file is created with: the old file's, read-only aside.
  DWORD Attributes = 0;
  // The old file's access list; empty when its file system has none.
  GrowArray<unsigned char> Security;
};

// False when the save must not go ahead: a read-only file, or a name that exists but cannot be
// opened and resolved (a dangling link, a file this user cannot look at) and so must stay.
bool InspectTarget(const wchar_t* name, SaveTarget& target) {
  if (GetFileAttr(name) == INVALID_FILE_ATTRIBUTES) {
    // Nothing there (it was deleted since it was loaded): a new file at the loaded path.
    CopyBounded(target.Path, name);
    return true;
  }
  UniqueFileHandle existing(OpenToInspect(name));
  BY_HANDLE_FILE_INFORMATION info;
  if (!existing || !GetFileInformationByHandle(existing.get(), &info))
    return false;
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0)
    return false;  // a read-only file stays as it is
  DWORD length = GetFinalPathNameByHandleW(existing.get(), target.Path, SettingsFile::kPathCapacity,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= SettingsFile::kPathCapacity)
    return false;
  target.Exists = true;
  target.Attributes =
      info.dwFileAttributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  (void)ReadDacl(existing.get(), target.Security);  // none: nothing to keep
  return true;
}

// Gives the new file the old one's access list. Only when they differ: under Wine, setting
// one rewrites the host file's mode through a coarser mapping. Best effort: a volume without
// access rights (FAT on a stick) has none to keep.
void KeepSecurity(HANDLE out, SaveTarget& target) {
  if (target.Security.Count() == 0)
    return;
  GrowArray<unsigned char> fresh;
  if (ReadDacl(out, fresh) && SameDacl(fresh, target.Security))
    return;
  (void)SetKernelObjectSecurity(out, DACL_SECURITY_INFORMATION, target.Security.Data());
}

// Puts the finished new file in the old one's place. ReplaceFileW also keeps the old file's
// attributes, access rights and streams where the system merges them itself.
bool PutInPlace(const wchar_t* temp, const SaveTarget& target) {
  if (!target.Exists)
    return MoveOver(temp, target.Path);
  if (ReplaceFileW(target.Path, temp, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  DWORD error = GetLastError();
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
    // The old file is already gone from its name: the complete new file is the best the disk
    // can hold there now.
    return MoveOver(temp, target.Path);
  }
  return false;  // the old file is untouched
}

bool WriteSettingsFileNow(const SettingsFile& store) {
  GrowArray<wchar_t> text;
  FormatEntries(store, text);

  SaveTarget target;
  if (!InspectTarget(store.Path, target))
    return false;
  wchar_t temp[SettingsFile::kPathCapacity];
  if (WideLength(target.Path) + WideLength(kTempSuffix) >= SettingsFile::kPathCapacity)
    return false;
  CopyBounded(temp, target.Path);
  AppendBounded(temp, kTempSuffix);

  UniqueFileHandle out(CreateOutput(temp, target.Attributes));
  if (!out)
    return false;
  KeepSecurity(out.get(), target);
  bool written = WriteAll(out.get(), text);
  bool closed = CloseHandle(out.release()) != FALSE;
  if (!written || !closed || !PutInPlace(temp, target)) {
    (void)RemoveFile(temp);  // best effort
    return false;
  }
  RecordFileChange(ChangeKind::FileCreated, target.Path, nullptr,
                   target.Exists ? L"replaced" : nullptr);
  return true;
}

}  // namespace

int CompareNames(const SortItem& a, const SortItem& b) {
  const wchar_t* p = a.Entry->EntryName;
  const wchar_t* q = b.Entry->EntryName;
  while (*p != 0 && *p == *q) {
    ++p;
    ++q;
  }
  // Code-unit order: wchar_t is an unsigned 16-bit unit here.
  if (*p != *q)
    return static_cast<uint16_t>(*p) < static_cast<uint16_t>(*q) ? -1 : 1;
  return 0;
}

void SortEntries(const SettingsEntry* first, GrowArray<SortItem>& sorted) {
  sorted.Clear();
  size_t position = 0;
  for (const SettingsEntry* e = first; e != nullptr; e = e->Next)
    sorted.Push(SortItem{e, position++});
  HeapSortArray(sorted.Data(), sorted.Count(), sizeof(SortItem), CompareEntryNames);
}

bool WriteSettingsFile() {
  SettingsFile& store = TheSettingsFile();
  if (!store.Loaded || !store.SaveSettings)
    return false;
  bool written = false;
  if (!store.Partial) {
    try {
      written = WriteSettingsFileNow(store);
    } catch (...) {
      // Out of memory while building the content: nothing was replaced.
    }
  }
  // The entries' changes are reported only now that the file holds them, or not at all.
  if (written) {
    ReportSavedSettings(store);
  } else {
    ReportUnsavedSettings(store);
  }
  return written;
}
