#include "common/change_record.h"

#include <cwchar>

#include "common/string_util.h"

namespace {

ChangeObserver* g_observers[kMaxChangeObservers] = {};
size_t g_observerCount = 0;

const wchar_t* TypeName(DWORD type) {
  switch (type) {
    case REG_SZ:
      return L"REG_SZ";
    case REG_EXPAND_SZ:
      return L"REG_EXPAND_SZ";
    case REG_MULTI_SZ:
      return L"REG_MULTI_SZ";
    case REG_DWORD:
      return L"REG_DWORD";
    case REG_QWORD:
      return L"REG_QWORD";
    case REG_BINARY:
      return L"REG_BINARY";
    case REG_NONE:
      return L"REG_NONE";
    default:
      return nullptr;
  }
}

// Appends one unit; false (nothing appended) when it and the terminator would not fit.
bool AppendUnit(wchar_t* dest, size_t& used, size_t capacity, wchar_t unit) {
  if (used + 1 >= capacity)
    return false;
  dest[used++] = unit;
  dest[used] = 0;
  return true;
}

// Marks data cut short: "...(<size> bytes)" replaces the end of the used units of dest (which
// may hold NUL units of a multi-string). Returns the units used then.
size_t MarkCut(wchar_t* dest, size_t used, size_t capacity, DWORD size) {
  wchar_t mark[40] = L"...(";
  wchar_t number[24];
  IntToDecimal(size, number, 24);
  AppendBounded(mark, number);
  AppendBounded(mark, L" bytes)");
  const size_t markLength = WideLength(mark);
  if (capacity <= markLength)
    return used;  // too small for the mark: what fits stays
  if (used + markLength >= capacity)
    used = capacity - 1 - markLength;
  for (size_t i = 0; i <= markLength; ++i)
    dest[used + i] = mark[i];
  return used + markLength;
}

}  // namespace

bool AddChangeObserver(ChangeObserver* observer) {
  if (observer == nullptr || g_observerCount == kMaxChangeObservers)
    return false;
  for (size_t i = 0; i < g_observerCount; ++i) {
    if (g_observers[i] == observer)
      return false;
  }
  g_observers[g_observerCount++] = observer;
  return true;
}

void RemoveChangeObserver(ChangeObserver* observer) {
  for (size_t i = 0; i < g_observerCount; ++i) {
    if (g_observers[i] != observer)
      continue;
    for (size_t j = i + 1; j < g_observerCount; ++j)
      g_observers[j - 1] = g_observers[j];
    g_observers[--g_observerCount] = nullptr;
    return;
  }
}

bool IsRecordingChanges() {
  return g_observerCount != 0;
}

void RecordChange(const ChangeEvent& change) noexcept {
  if (g_observerCount == 0)
    return;
  ChangeEvent complete = change;
  if (complete.Subject == nullptr)
    complete.Subject = L"";
  // The latest first; an observer may remove itself (or stop the process) while told. What one
  // throws (out of memory while it formats its line) is its own loss: the change is made, and
  // the program goes on as it would without the observer.
  for (size_t i = g_observerCount; i > 0; --i) {
    if (i > g_observerCount)
      continue;
    try {
      g_observers[i - 1]->OnChange(complete);
    } catch (...) {
      // dropped: see above
    }
  }
}

void RecordChange(ChangeKind kind, const wchar_t* subject, const wchar_t* name,
                  const wchar_t* detail) noexcept {
  RecordChange(ChangeEvent{kind, subject, name, nullptr, nullptr, detail});
}

void RecordChangeFromTo(ChangeKind kind, const wchar_t* subject, const wchar_t* name,
                        const wchar_t* before, const wchar_t* after) noexcept {
  RecordChange(ChangeEvent{kind, subject, name, before, after, nullptr});
}

size_t ChangeTextLength(const wchar_t* text, size_t length) {
  if (text == nullptr)
    return 0;
  return length == kWholeText ? WideLength(text) : length;
}

const wchar_t* ChangeKindName(ChangeKind kind) {
  return ChangeKindInfoOf(kind).Event;
}

size_t FormatRegistryData(DWORD type, const BYTE* data, DWORD size, wchar_t* dest,
                          size_t capacity) {
  if (capacity == 0)
    return 0;
  dest[0] = 0;
  const wchar_t* name = TypeName(type);
  if (name != nullptr) {
    CopyBounded(dest, name, capacity);
  } else {
    CopyBounded(dest, L"REG_TYPE_", capacity);
    wchar_t number[24];
    IntToDecimal(type, number, 24);
    AppendBounded(dest, number, capacity);
  }
  AppendBounded(dest, L":", capacity);
  size_t used = WideLength(dest);
  if (data == nullptr)
    size = 0;
  bool whole = true;
  if ((type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) && size % 2 == 0) {
    // The text without the terminators that end it; units are copied one by one since the
    // data need not be aligned.
    size_t units = size / 2;
    auto unitAt = [data](size_t i) {
      return static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
    };
    while (units > 0 && unitAt(units - 1) == 0)
      --units;
    for (size_t i = 0; i < units && whole; ++i)
      whole = AppendUnit(dest, used, capacity, unitAt(i));
  } else if ((type == REG_DWORD && size == 4) || (type == REG_QWORD && size == 8)) {
    unsigned long long value = 0;
    for (DWORD i = size; i > 0; --i)
      value = (value << 8) | data[i - 1];
    wchar_t number[24];
    (void)std::swprintf(number, 24, L"%llu", value);
    AppendBounded(dest, number, capacity);
    whole = WideLength(dest) == used + WideLength(number);
  } else {
    static const wchar_t kHex[] = L"0123456789abcdef";
    for (DWORD i = 0; i < size && whole; ++i) {
      whole = AppendUnit(dest, used, capacity, kHex[data[i] >> 4]) &&
              AppendUnit(dest, used, capacity, kHex[data[i] & 15]);
    }
  }
  // The number branch appends by text; the others count their units in used.
  if (WideLength(dest) > used)
    used = WideLength(dest);
  return whole ? used : MarkCut(dest, used, capacity, size);
}
