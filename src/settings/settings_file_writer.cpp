// Writing the settings file back: entries sorted by name, UTF-16LE with its mark, CR LF after
// each line. The new content goes to a sibling file first, is flushed to the disk, and then
// replaces the old file in one step: a crash, a full disk or a failing write leaves the
// previous file as it was.

#include <cwchar>

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

// An entry and its place in the list: equal names keep their order, so the entry that reads
// see first is still the first after a save and a reload.
struct SortItem {
  const SettingsEntry* Entry;
  size_t Position;
};

int CompareEntryNames(const void* a, const void* b) {
  const auto* x = static_cast<const SortItem*>(a);
  const auto* y = static_cast<const SortItem*>(b);
  const wchar_t* p = x->Entry->EntryName;
  const wchar_t* q = y->Entry->EntryName;
  while (*p != 0 && *p == *q) {
    ++p;
    ++q;
  }
  // Code-unit order: wchar_t is an unsigned 16-bit unit here.
  if (*p != *q)
    return static_cast<uint16_t>(*p) < static_cast<uint16_t>(*q) ? -1 : 1;
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
  size_t position = 0;
  for (const SettingsEntry* e = store.First; e != nullptr; e = e->Next) {
    sorted.Push(SortItem{e, position++});
  }
  HeapSortArray(sorted.Data(), sorted.Count(), sizeof(SortItem), CompareEntryNames);
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

HANDLE CreateOutput(const wchar_t* name, DWORD attributes) {
  HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         CREATE_ALWAYS, attributes, nullptr);
  if (h != INVALID_HANDLE_VALUE)
    return h;
  wchar_t longForm[2048];
  if (!ToLongPathForm(name, longForm, 2048))
    return INVALID_HANDLE_VALUE;
  return CreateFileW(longForm, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                     CREATE_ALWAYS, attributes, nullptr);
}

bool MoveOver(const wchar_t* from, const wchar_t* to) {
  constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (MoveFileExW(from, to, kFlags))
    return true;
  wchar_t longFrom[2048];
  wchar_t longTo[2048];
  if (!ToLongPathForm(from, longFrom, 2048) || !ToLongPathForm(to, longTo, 2048))
    return false;
  return MoveFileExW(longFrom, longTo, kFlags) != FALSE;
}

void DeleteOutput(const wchar_t* name) {
  if (DeleteFileW(name))
    return;
  wchar_t longForm[2048];
  if (ToLongPathForm(name, longForm, 2048))
    (void)DeleteFileW(longForm);  // best effort
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

bool WriteSettingsFileNow(const SettingsFile& store) {
  GrowArray<wchar_t> text;
  FormatEntries(store, text);

  wchar_t temp[SettingsFile::kPathCapacity];
  if (WideLength(store.Path) + WideLength(kTempSuffix) >= SettingsFile::kPathCapacity) {
    return false;
  }
  CopyBounded(temp, store.Path);
  AppendBounded(temp, kTempSuffix);

  // A read-only file stays as it is; the new file keeps the old one's hidden and system marks.
  DWORD attributes = GetFileAttributesW(store.Path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    return false;
  DWORD keep = attributes == INVALID_FILE_ATTRIBUTES
                   ? 0
                   : attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  UniqueFileHandle out(CreateOutput(temp, keep));
  if (!out)
    return false;
  bool written = WriteAll(out.get(), text);
  bool closed = CloseHandle(out.release()) != FALSE;
  if (!written || !closed || !MoveOver(temp, store.Path)) {
    DeleteOutput(temp);
    return false;
  }
  return true;
}

}  // namespace

bool WriteSettingsFile() {
  SettingsFile& store = TheSettingsFile();
  if (!store.Loaded || !store.SaveSettings || store.Partial)
    return false;
  try {
    return WriteSettingsFileNow(store);
  } catch (...) {
    // Out of memory while building the content: nothing was replaced.
    return false;
  }
}
