#pragma once
// Every change the program makes to the registry and to the file system is reported here by
// the layer that makes it (the settings store, the file functions), once the change has been
// made, never before and never for an attempt that failed. Observers may listen: the
// administrator's log, a test that counts. Without one a report costs one test, and the layers
// skip the extra reads that only a report needs (IsRecordingChanges).

#include <windows.h>

#include <cstddef>

#include "common/change_kinds.h"

// A text length that means "up to the terminator".
constexpr size_t kWholeText = static_cast<size_t>(-1);

struct ChangeEvent {
  ChangeKind Kind;
  const wchar_t* Subject;  // never null in a report; "" when there is none
  const wchar_t* Name;     // may be null
  const wchar_t* Before;   // null: there was none (as opposed to "", an empty one)
  const wchar_t* After;    // null: there is none
  const wchar_t* Detail;   // may be null
  // The units of Before and After: kWholeText up to the terminator, or a count that may take in
  // NUL units of the text's own (a multi-string's items).
  size_t BeforeLength = kWholeText;
  size_t AfterLength = kWholeText;
};

// Before or After as this text: there is something there that the reporter could not read
// (as opposed to null, nothing there). Registry data always carries its type ("REG_SZ:..."),
// so it is never this text.
constexpr wchar_t kUnknownData[] = L"unknown";

// The units of one of an event's texts (0 for null).
size_t ChangeTextLength(const wchar_t* text, size_t length);

// Receives each change once it is made. Called on the thread that made the change; must not
// make changes of its own (they would not be reported). What an observer throws goes no
// further than RecordChange: a report never changes what the program does.
class ChangeObserver {
 public:
  virtual void OnChange(const ChangeEvent& change) = 0;

 protected:
  ~ChangeObserver() = default;
};

// At most this many observers listen at once.
constexpr size_t kMaxChangeObservers = 4;
// Adds an observer; false (not added) when the list is full or it listens already. Observers
// are not owned and must stay alive until removed. The one added last is told first, so that
// an observer added before the program starts (a test that stops the process at a change)
// hears of a change only after the program's own log has written it down.
[[nodiscard]] bool AddChangeObserver(ChangeObserver* observer);
void RemoveChangeObserver(ChangeObserver* observer);
bool IsRecordingChanges();
// Tells every observer, latest first. Never throws: an observer's exception is dropped there.
void RecordChange(const ChangeEvent& change) noexcept;
// The common shapes of a report.
void RecordChange(ChangeKind kind, const wchar_t* subject, const wchar_t* name = nullptr,
                  const wchar_t* detail = nullptr) noexcept;
void RecordChangeFromTo(ChangeKind kind, const wchar_t* subject, const wchar_t* name,
                        const wchar_t* before, const wchar_t* after) noexcept;

// The readable name of a change kind, as the log writes it ("value-set"): its kChangeKinds
// entry's.
const wchar_t* ChangeKindName(ChangeKind kind);

// A registry value's data as one text: "<TYPE>:<data>", texts as they are (a multi-string's
// items separated by NUL units), numbers in decimal, anything else as hexadecimal bytes.
// dest is always terminated; data that does not fit ends in "..." and the total size. Returns
// the units written before the terminator, NUL units inside the text included: the length a
// report passes on (ChangeEvent::BeforeLength, AfterLength).
size_t FormatRegistryData(DWORD type, const BYTE* data, DWORD size, wchar_t* dest, size_t capacity);
