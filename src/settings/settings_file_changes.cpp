// The changes to the settings file as the log sees them: an entry counts as changed only once
// a save has put it in the file. The store keeps the entries as the file holds them (as loaded,
// then as last written); after each save the difference to the entries written is reported,
// entry by entry in name order, and the entries written become the file's. A save that does
// not happen reports that the file keeps its former content, so that no line claims a change
// the file never received.

#include <cstring>
#include <cwchar>

#include "common/change_record.h"
#include "common/string_util.h"
#include "settings/settings_file_internal.h"

namespace {

bool SameEntry(const SettingsEntry& a, const SettingsEntry& b) {
  return a.Kind == b.Kind && std::wcscmp(a.EntryValue, b.EntryValue) == 0;
}

// Walks the file's entries and the current ones side by side, both sorted by name with equal
// names in list order (the n-th entry of a name in the file pairs with the n-th one now), and
// hands each difference to report(name, before, after): before null for an entry new to the
// file, after null for one gone from it. Returns the number of differences.
template <typename Report>
size_t EachDifference(const SettingsFile& store, Report report) {
  GrowArray<SortItem> saved;
  GrowArray<SortItem> current;
  SortEntries(store.Saved, saved);
  SortEntries(store.First, current);
  size_t i = 0;
  size_t j = 0;
  size_t differences = 0;
  while (i < saved.Count() || j < current.Count()) {
    const int order = i == saved.Count()     ? 1
                      : j == current.Count() ? -1
                                             : CompareNames(saved[i], current[j]);
    if (order < 0) {
      const SettingsEntry* gone = saved[i++].Entry;
      report(gone->EntryName, gone->EntryValue, static_cast<const wchar_t*>(nullptr));
      ++differences;
    } else if (order > 0) {
      const SettingsEntry* added = current[j++].Entry;
      report(added->EntryName, static_cast<const wchar_t*>(nullptr), added->EntryValue);
      ++differences;
    } else {
      const SettingsEntry* was = saved[i++].Entry;
      const SettingsEntry* now = current[j++].Entry;
      if (!SameEntry(*was, *now)) {
        report(now->EntryName, was->EntryValue, now->EntryValue);
        ++differences;
      }
    }
  }
  return differences;
}

}  // namespace

void KeepSavedEntries(SettingsFile& store) noexcept {
  FreeEntries(store.Saved);
  store.Saved = nullptr;
  store.SavedKnown = false;
  SettingsEntry* last = nullptr;
  try {
    for (const SettingsEntry* e = store.First; e != nullptr; e = e->Next) {
      SettingsEntry* copy = NewEntry(e->EntryName, WideLength(e->EntryName), e->EntryValue,
                                     WideLength(e->EntryValue), e->Kind);
      if (last == nullptr) {
        store.Saved = copy;
      } else {
        last->Next = copy;
      }
      last = copy;
    }
    store.SavedKnown = true;
  } catch (...) {
    // Out of memory: the file's picture is not known, and no difference will be claimed.
    FreeEntries(store.Saved);
    store.Saved = nullptr;
  }
}

void ReportSavedSettings(SettingsFile& store) noexcept {
  if (store.SavedKnown && IsRecordingChanges()) {
    try {
      (void)EachDifference(store, [&](const wchar_t* name, const wchar_t* before,
                                      const wchar_t* after) {
        RecordChangeFromTo(after != nullptr ? ChangeKind::SettingSet : ChangeKind::SettingDeleted,
                           store.Path, name, before, after);
      });
    } catch (...) {
      // out of memory for the comparison: the rest goes unreported
    }
  }
  KeepSavedEntries(store);
}

void ReportUnsavedSettings(const SettingsFile& store) noexcept {
  if (!store.SavedKnown || !IsRecordingChanges())
    return;
  try {
    const size_t unsaved =
        EachDifference(store, [](const wchar_t*, const wchar_t*, const wchar_t*) {});
    if (unsaved == 0)
      return;
    wchar_t note[96];
    CopyBounded(note, L"not written, the file keeps its former content: ");
    wchar_t count[24];
    IntToDecimal(static_cast<int64_t>(unsaved), count, 24);
    AppendBounded(note, count);
    AppendBounded(note, unsaved == 1 ? L" change not saved" : L" changes not saved");
    RecordChange(ChangeKind::Notice, store.Path, nullptr, note);
  } catch (...) {
    // out of memory for the comparison: nothing claimed
  }
}
