#include "lang/messages.h"

#include "common/string_util.h"
#include "lang/language_file.h"

namespace {

constexpr int kRingSlots = 8;
constexpr size_t kRingCapacity = 1024;

// The message ring: MessageText hands out its slots in turn.
wchar_t g_ring[kRingSlots][kRingCapacity];
unsigned g_ringSlot;

}  // namespace

wchar_t* LoadMessageText(int id, wchar_t* dest, size_t capacity) {
  if (capacity == 0)
    return dest;
  dest[0] = 0;
  // An entry of the language file wins, even with an empty text.
  if (FindStringText(static_cast<unsigned>(id), dest, capacity))
    return dest;
  // LoadStringW takes an int count; a larger buffer is simply used up to that count.
  int count = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(capacity);
  UINT uid = static_cast<UINT>(id);
  if (ResourceModule != nullptr && LoadStringW(ResourceModule, uid, dest, count) > 0)
    return dest;
  if (LoadStringW(OwnInstance, uid, dest, count) == 0)
    dest[0] = 0;
  return dest;
}

const wchar_t* MessageText(int id) {
  if (++g_ringSlot == kRingSlots)
    g_ringSlot = 0;
  return LoadMessageText(id, g_ring[g_ringSlot], kRingCapacity);
}

void FormatMessageWithText(const wchar_t* format, const wchar_t* insert, wchar_t* dest,
                           size_t capacity) {
  if (capacity == 0)
    return;
  size_t used = 0;
  auto put = [&](wchar_t c) {
    if (used + 1 < capacity)
      dest[used++] = c;
  };
  for (const wchar_t* p = format; *p != 0; ++p) {
    if (*p != L'%') {
      put(*p);
      continue;
    }
    const wchar_t* directive = p + 1;
    if (*directive == L'l')
      ++directive;
    if (*directive == L's' || *directive == L'S') {
      for (const wchar_t* q = insert; q != nullptr && *q != 0; ++q)
        put(*q);
      p = directive;
    } else if (p[1] == L'%') {
      put(L'%');
      ++p;
    } else {
      put(L'%');
    }
  }
  dest[used] = 0;
}
