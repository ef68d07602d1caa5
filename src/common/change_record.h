#pragma once
// Every change the program makes to the registry and to the file system is reported here by
// the layer that makes it (the settings store, the file functions), once the change has been
// made, never before and never for an attempt that failed. Observers may listen: the
// administrator's log, a test that counts. Without one a report costs one test, and the layers
// skip the extra reads that only a report needs (IsRecordingChanges).

#include <windows.h>

#include <cstddef>

enum class ChangeKind {
  KeyCreated,       // Subject: the key
  KeyDeleted,       // Subject: the key (its values are reported first, each as ValueDeleted)
  ValueSet,         // Subject: the key; Name: the value ("" is the default); Before, After
  ValueDeleted,     // Subject: the key; Name; Before
  SettingSet,       // Subject: the settings file; Name: the entry; Before, After
  SettingDeleted,   // Subject: the settings file; Name: the entry; Before
  FileCreated,      // Subject: the file; Detail "replaced" when one of that name was there
  FileDeleted,      // Subject: the file; Detail "link" for a link removed as itself
  FileRenamed,      // Subject: the old name; Name: the new one
  AttributesSet,    // Subject; Before, After: the attributes in hexadecimal
  DeleteAtRestart,  // Subject: scheduled for deletion at the next restart
  FolderCreated,    // Subject
  FolderDeleted,    // Subject; Detail "link" for a link removed as itself
  Skipped,          // Subject: a list entry left alone; Detail: why
  LeftToScript,     // Subject: a file or folder the removal script deletes after the program
  Association,      // Subject: the extension; Before: the class it held; After: the class it
                    // holds now (null: its key is gone); Detail: backup taken, given back...
  Notice,           // Detail: what the user was told or what was started; Subject, Name: its
                    // paths and command line where there are some
};

struct ChangeEvent {
  ChangeKind Kind;
  const wchar_t* Subject;  // never null in a report; "" when there is none
  const wchar_t* Name;     // may be null
  const wchar_t* Before;   // null: there was none (as opposed to "", an empty one)
  const wchar_t* After;    // null: there is none
  const wchar_t* Detail;   // may be null
};

// Receives each change once it is made. Called on the thread that made the change; must not
// make changes of its own (they would not be reported).
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
bool AddChangeObserver(ChangeObserver* observer);
void RemoveChangeObserver(ChangeObserver* observer);
bool IsRecordingChanges();
void RecordChange(const ChangeEvent& change);
// The common shapes of a report.
void RecordChange(ChangeKind kind, const wchar_t* subject, const wchar_t* name = nullptr,
                  const wchar_t* detail = nullptr);
void RecordChangeFromTo(ChangeKind kind, const wchar_t* subject, const wchar_t* name,
                        const wchar_t* before, const wchar_t* after);

// The readable name of a change kind, as the log writes it ("value-set").
const wchar_t* ChangeKindName(ChangeKind kind);

// A registry value's data as one text: "<TYPE>:<data>", texts as they are (a multi-string's
// items separated by NUL units), numbers in decimal, anything else as hexadecimal bytes.
// dest is always terminated; data that does not fit ends in "..." and the total size.
void FormatRegistryData(DWORD type, const BYTE* data, DWORD size, wchar_t* dest, size_t capacity);
