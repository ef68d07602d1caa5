#include "lang/language_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

#include "common/file.h"
#include "common/grow_array.h"
#include "common/program_path.h"
#include "common/string_util.h"
#include "common/text_encoding.h"
#include "lang/language_file_parser.h"
#include "lang/language_file_reader.h"
#include "lang/language_key_table.h"

namespace {

// The parsed file: entries in file order, their texts in one pool (each text terminated),
// and the two indexes that lookups search. Owned by the process; released at its end.
struct LanguageFileStore {
  GrowArray<LanguageEntry> Entries;
  GrowArray<wchar_t> Texts;
  GrowArray<uint32_t> KeyIndex;       // entry positions ordered by key, then file position
  GrowArray<uint32_t> StringIdIndex;  // key table rows ordered by section, then ID
};

LanguageFileStore g_store;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// Byte-wise over at most the kept key length; inline, as it runs in every lookup step.
int CompareKeys(const char* a, const char* b) {
  for (size_t i = 0; i < kLanguageKeyLength; ++i) {
    const unsigned char ca = static_cast<unsigned char>(a[i]);
    const unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca != cb)
      return ca < cb ? -1 : 1;
    if (ca == 0)
      return 0;
  }
  return 0;
}

// Byte-wise comparison of the sections of two keys: the text in front of the first colon.
int CompareSections(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const unsigned char ca = (*a == ':') ? 0 : static_cast<unsigned char>(*a);
    const unsigned char cb = (*b == ':') ? 0 : static_cast<unsigned char>(*b);
    if (ca != cb)
      return ca < cb ? -1 : 1;
    if (ca == 0)
      return 0;
  }
}

bool StringIdLess(uint32_t a, uint32_t b) {
  const LanguageKeyRow& ra = LanguageKeyTable[a];
  const LanguageKeyRow& rb = LanguageKeyTable[b];
  const int c = CompareSections(ra.Key, rb.Key);
  if (c != 0)
    return c < 0;
  return ra.Id < rb.Id;
}

void BuildStringIdIndex() {
  GrowArray<uint32_t>& index = g_store.StringIdIndex;
  if (index.Count() == LanguageKeyTableCount)
    return;  // the table is constant
  index.Clear();
  index.Add(LanguageKeyTableCount);
  for (size_t i = 0; i < LanguageKeyTableCount; ++i)
    index[i] = static_cast<uint32_t>(i);
  std::sort(index.Data(), index.Data() + index.Count(), StringIdLess);
}

void BuildKeyIndex() {
  GrowArray<uint32_t>& index = g_store.KeyIndex;
  const LanguageEntry* entries = g_store.Entries.Data();
  index.Clear();
  index.Add(g_store.Entries.Count());
  for (size_t i = 0; i < index.Count(); ++i)
    index[i] = static_cast<uint32_t>(i);
  // Equal keys keep their file order, so a lookup finds the first of them.
  std::sort(index.Data(), index.Data() + index.Count(), [entries](uint32_t a, uint32_t b) {
    const int c = std::strcmp(entries[a].Key, entries[b].Key);
    return c != 0 ? c < 0 : a < b;
  });
}

void AddEntry(void* context, const char* key, const wchar_t* text, size_t length) {
  auto& store = *static_cast<LanguageFileStore*>(context);
  const size_t offset = store.Texts.Count();
  store.Texts.Add(length + 1);  // out of memory ends the process through the error handler
  wchar_t* copy = store.Texts.Data() + offset;
  std::memcpy(copy, text, length * sizeof(wchar_t));
  copy[length] = 0;
  LanguageEntry entry;
  CopyNarrowBounded(entry.Key, key, sizeof(entry.Key));
  entry.TextOffset = static_cast<uint32_t>(offset);
  entry.TextLength = static_cast<uint32_t>(length);
  store.Entries.Push(entry);
}

}  // namespace

void ClearLanguageFile() {
  g_store.Entries.Clear();
  g_store.Texts.Clear();
  g_store.KeyIndex.Clear();
  RightToLeft = false;
}

size_t LanguageEntryCount() {
  return g_store.Entries.Count();
}

void ParseLanguageFileText(const wchar_t* text, size_t length) {
  ClearLanguageFile();
  BuildStringIdIndex();
  // Every text is shorter than the line it came from, so the pool never needs more than
  // the whole text: one allocation instead of many.
  g_store.Texts.Add(length + 1);
  g_store.Texts.Clear();
  bool rightToLeft = false;
  if (!ParseLanguageText(text, AddEntry, &g_store, rightToLeft)) {
    ClearLanguageFile();
    return;
  }
  RightToLeft = rightToLeft;
  BuildKeyIndex();
}

void ParseLanguageFile(const wchar_t* path) {
  ClearLanguageFile();
  wchar_t fullPath[kPathBufferCapacity];
  if (std::wcschr(path, L'\\') != nullptr) {
    CopyBounded(fullPath, path);
  } else {
    if (!ProgramSiblingPath(path, fullPath, kPathBufferCapacity))
      return;
  }

  File file;
  if (!file.Open(fullPath, File::kOpenShareWrite))
    return;
  size_t length = 0;
  std::unique_ptr<wchar_t, FreeDeleter> text(ReadLanguageText(file, length));
  (void)file.Close();  // read-only: a failed close loses nothing (the handler records it)
  if (!text)
    return;
  ParseLanguageFileText(text.get(), length);
}

bool FindTextByKey(const char* key, wchar_t* dest, size_t capacity) {
  const size_t count = g_store.KeyIndex.Count();
  if (count == 0 || key == nullptr)
    return false;
  const uint32_t* index = g_store.KeyIndex.Data();
  const LanguageEntry* entries = g_store.Entries.Data();
  const uint32_t* found = std::lower_bound(
      index, index + count, key,
      [entries](uint32_t e, const char* k) { return CompareKeys(entries[e].Key, k) < 0; });
  if (found == index + count || CompareKeys(entries[*found].Key, key) != 0)
    return false;
  CopyBounded(dest, g_store.Texts.Data() + entries[*found].TextOffset, capacity);
  return true;
}

bool FindStringText(unsigned id, wchar_t* dest, size_t capacity) {
  if (g_store.Entries.Count() == 0)
    return false;
  const uint32_t* index = g_store.StringIdIndex.Data();
  const size_t count = g_store.StringIdIndex.Count();
  const uint32_t* found = std::lower_bound(index, index + count, id, [](uint32_t row, unsigned v) {
    const int c = CompareSections(LanguageKeyTable[row].Key, "s");
    return c != 0 ? c < 0 : LanguageKeyTable[row].Id < v;
  });
  if (found == index + count)
    return false;
  const LanguageKeyRow& row = LanguageKeyTable[*found];
  if (CompareSections(row.Key, "s") != 0 || row.Id != id)
    return false;
  char key[80];
  CopyNarrowBounded(key, row.Key, sizeof(key));
  return FindTextByKey(key, dest, capacity);
}

bool FindDialogText(const wchar_t* dialogName, const wchar_t* itemName, wchar_t* dest,
                    size_t capacity) {
  wchar_t wideKey[80] = L"$";
  AppendBounded(wideKey, dialogName);
  AppendBounded(wideKey, L":");
  AppendBounded(wideKey, itemName);
  char key[80];
  if (!WideToAnsi(wideKey, key, sizeof(key)))
    return false;
  return FindTextByKey(key, dest, capacity);
}
