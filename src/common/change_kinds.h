#pragma once
// The one table of change kinds: each kind with the event name the log gives it, the names of
// its two leading fields and what it concerns. ChangeKindName, the log writer's field names and
// the log's readers (tests/e2e/log_replay.py reads this table from this file) all take them
// from here, so they cannot drift apart. Every event may also carry "before", "after" and
// "note" (ChangeEvent's Before, After and Detail).
//
// Keep one entry a line in the form {ChangeKind::Kind, L"event", L"subject", L"name",
// ChangeDomain::Domain}: the log reader parses it.

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
  DeleteAtLogon,    // Subject: deleted at the user's next logon; Name: the run-once value
  FolderCreated,    // Subject
  FolderDeleted,    // Subject; Detail "link" for a link removed as itself
  Skipped,          // Subject: a list entry left alone; Detail: why
  LeftToScript,     // Subject: a file or folder the removal script deletes after the program
  Association,      // Subject: the extension; Before: the class it held; After: the class it
                    // holds now (null: its key is gone); Detail: backup taken, given back...
  Notice,           // Detail: what the user was told or what was started; Subject, Name: its
                    // paths and command line where there are some
};

// What a change concerns, for the readers that replay it on a picture of the machine.
enum class ChangeDomain {
  Registry,      // a key or value: replayed on registry exports
  SettingsFile,  // an entry of the portable settings file: replayed on the file's text
  Files,         // a file or folder: replayed on drive listings
  Report,        // what was decided or told, no change of its own
};

struct ChangeKindInfo {
  ChangeKind Kind;
  const wchar_t* Event;         // the event's name in the log
  const wchar_t* SubjectField;  // the field that carries ChangeEvent::Subject
  const wchar_t* NameField;     // the field that carries ChangeEvent::Name
  ChangeDomain Domain;
};

// clang-format off
inline constexpr ChangeKindInfo kChangeKinds[] = {
    {ChangeKind::KeyCreated, L"key-created", L"key", L"value", ChangeDomain::Registry},
    {ChangeKind::KeyDeleted, L"key-deleted", L"key", L"value", ChangeDomain::Registry},
    {ChangeKind::ValueSet, L"value-set", L"key", L"value", ChangeDomain::Registry},
    {ChangeKind::ValueDeleted, L"value-deleted", L"key", L"value", ChangeDomain::Registry},
    {ChangeKind::SettingSet, L"setting-set", L"file", L"entry", ChangeDomain::SettingsFile},
    {ChangeKind::SettingDeleted, L"setting-deleted", L"file", L"entry", ChangeDomain::SettingsFile},
    {ChangeKind::FileCreated, L"file-created", L"path", L"target", ChangeDomain::Files},
    {ChangeKind::FileDeleted, L"file-deleted", L"path", L"name", ChangeDomain::Files},
    {ChangeKind::FileRenamed, L"file-renamed", L"path", L"to", ChangeDomain::Files},
    {ChangeKind::AttributesSet, L"attributes-set", L"path", L"name", ChangeDomain::Files},
    {ChangeKind::DeleteAtRestart, L"delete-at-restart", L"path", L"name", ChangeDomain::Report},
    {ChangeKind::DeleteAtLogon, L"delete-at-logon", L"path", L"value", ChangeDomain::Report},
    {ChangeKind::FolderCreated, L"folder-created", L"path", L"name", ChangeDomain::Files},
    {ChangeKind::FolderDeleted, L"folder-deleted", L"path", L"name", ChangeDomain::Files},
    {ChangeKind::Skipped, L"skipped", L"path", L"name", ChangeDomain::Report},
    {ChangeKind::LeftToScript, L"left-to-script", L"path", L"name", ChangeDomain::Files},
    {ChangeKind::Association, L"association", L"extension", L"class", ChangeDomain::Report},
    {ChangeKind::Notice, L"notice", L"path", L"command", ChangeDomain::Report},
};
// clang-format on

constexpr size_t kChangeKindCount = sizeof(kChangeKinds) / sizeof(kChangeKinds[0]);

// Each kind's entry sits at the kind's own index, so that a lookup is an index.
constexpr bool ChangeKindsInOrder() {
  for (size_t i = 0; i < kChangeKindCount; ++i) {
    if (static_cast<size_t>(kChangeKinds[i].Kind) != i)
      return false;
  }
  return static_cast<size_t>(ChangeKind::Notice) + 1 == kChangeKindCount;
}
static_assert(ChangeKindsInOrder(), "kChangeKinds holds every kind once, in enumeration order");

// The kind's table entry.
constexpr const ChangeKindInfo& ChangeKindInfoOf(ChangeKind kind) {
  return kChangeKinds[static_cast<size_t>(kind) < kChangeKindCount ? static_cast<size_t>(kind)
                                                                   : kChangeKindCount - 1];
}
