// The reports of the registry access layer: what a change held before it and what it holds
// after, read and formatted only while an observer listens. Reporting never changes what the
// layer does: nothing here throws (no memory for a report loses that report), nothing here
// opens a key with more than the right to query it, and data that cannot be read is reported
// as unknown, never as absent.

#include <cwchar>

#include "common/change_record.h"
#include "common/string_util.h"
#include "common/win_handles.h"
#include "settings/settings_store_internal.h"

namespace {

// Capacity of a value's data as a report shows it; longer data is shown cut, with its size.
constexpr size_t kReportedDataCapacity = 2048;

// What a report says a value held: its data, unknown, or none.
const wchar_t* ShownData(const ReportedValue& value) {
  switch (value.State) {
    case ReportedState::Present:
      return value.Data.c_str();
    case ReportedState::Unknown:
      return kUnknownData;
    case ReportedState::Absent:
      break;
  }
  return nullptr;
}

size_t ShownLength(const ReportedValue& value) {
  return value.State == ReportedState::Present ? value.Data.size() : kWholeText;
}

}  // namespace

std::wstring ReportedKeyName(HKEY root, const wchar_t* path) noexcept {
  const wchar_t* rootName = L"HKEY_(open key)";
  if (root == HKEY_CURRENT_USER) {
    rootName = L"HKEY_CURRENT_USER";
  } else if (root == HKEY_LOCAL_MACHINE) {
    rootName = L"HKEY_LOCAL_MACHINE";
  } else if (root == HKEY_CLASSES_ROOT) {
    rootName = L"HKEY_CLASSES_ROOT";
  } else if (root == HKEY_USERS) {
    rootName = L"HKEY_USERS";
  }
  try {
    std::wstring name(rootName);
    if (path != nullptr && path[0] != 0) {
      name += L'\\';
      name += path;
    }
    return name;
  } catch (...) {
    return std::wstring();
  }
}

bool ReportedChildName(const std::wstring& parent, const wchar_t* child,
                       std::wstring& dest) noexcept {
  try {
    dest = parent + L'\\' + child;
    return true;
  } catch (...) {
    return false;
  }
}

const wchar_t* ReportedView() {
  return RegistryView() == KEY_WOW64_32KEY ? L"32-bit view" : nullptr;
}

ReportedValue ReadReportedValue(HKEY key, const wchar_t* name) noexcept {
  ReportedValue value;
  value.State = ReportedState::Unknown;
  try {
    value.Name = name != nullptr ? name : L"";
    DWORD type = 0;
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND) {
      value.State = ReportedState::Absent;
      return value;
    }
    if (result != ERROR_SUCCESS)
      return value;
    std::vector<BYTE> data(size + 2);
    DWORD got = size;
    if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &got) != ERROR_SUCCESS)
      return value;  // changed in between (grown): unknown
    std::vector<wchar_t> shown(kReportedDataCapacity);
    const size_t length =
        FormatRegistryData(type, data.data(), got, shown.data(), kReportedDataCapacity);
    value.Data.assign(shown.data(), length);
    value.State = ReportedState::Present;
  } catch (...) {
    value.State = ReportedState::Unknown;  // no memory to read it with
  }
  return value;
}

ReportedValue ReadReportedValueAt(HKEY root, const wchar_t* full, const wchar_t* name,
                                  REGSAM view) noexcept {
  UniqueHKey key;
  const LONG result = RegOpenKeyExW(root, full, 0, KEY_QUERY_VALUE | view, key.put());
  if (result == ERROR_SUCCESS)
    return ReadReportedValue(key.get(), name);
  ReportedValue value;
  value.State = result == ERROR_FILE_NOT_FOUND ? ReportedState::Absent : ReportedState::Unknown;
  return value;
}

std::vector<ReportedValue> ReadReportedValues(HKEY key) noexcept {
  std::vector<ReportedValue> values;
  try {
    DWORD count = 0;
    DWORD longestName = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longestName, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return values;
    }
    std::vector<wchar_t> name(longestName + 2);
    for (DWORD index = 0; index < count; ++index) {
      DWORD length = static_cast<DWORD>(name.size());
      if (RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        continue;
      }
      const std::wstring valueName(name.data(), length);
      ReportedValue value = ReadReportedValue(key, valueName.c_str());
      value.Name = valueName;
      if (value.State != ReportedState::Absent)
        values.push_back(value);
    }
  } catch (...) {
    // no memory: the values read so far
  }
  return values;
}

std::vector<ReportedValue> ReadReportedValuesAt(HKEY root, const wchar_t* full) noexcept {
  UniqueHKey key;
  if (RegOpenKeyExW(root, full, 0, KEY_QUERY_VALUE | RegistryView(), key.put()) != ERROR_SUCCESS)
    return {};
  return ReadReportedValues(key.get());
}

size_t ExistingKeyPrefix(HKEY root, const wchar_t* full) noexcept {
  size_t length = WideLength(full);
  wchar_t path[kKeyPathCapacity];
  CopyBounded(path, full);
  for (;;) {
    if (length == 0)
      return 0;
    path[length] = 0;
    UniqueHKey key;
    // Any answer but "not found" means the key is there, readable or not.
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE | RegistryView(), key.put()) !=
        ERROR_FILE_NOT_FOUND) {
      return length;
    }
    while (length > 0 && path[length - 1] != L'\\')
      --length;
    if (length > 0)
      --length;  // the separator
  }
}

void ReportValueSet(HKEY root, const wchar_t* full, size_t existing, const wchar_t* name,
                    const ReportedValue& before, DWORD type, const void* data, DWORD bytes,
                    bool valueSet) noexcept {
  // The keys were created even when the value could not be set.
  const size_t length = WideLength(full);
  for (size_t end = existing + 1; end <= length; ++end) {
    if (end == length || full[end] == L'\\') {
      wchar_t created[kKeyPathCapacity];
      CopyBounded(created, full, end + 1);
      const std::wstring keyName = ReportedKeyName(root, created);
      if (!keyName.empty()) {
        RecordChange(ChangeEvent{ChangeKind::KeyCreated, keyName.c_str(), nullptr, nullptr, nullptr,
                                 ReportedView()});
      }
    }
  }
  if (!valueSet)
    return;
  try {
    std::vector<wchar_t> after(kReportedDataCapacity);
    const size_t afterLength = FormatRegistryData(type, static_cast<const BYTE*>(data), bytes,
                                                  after.data(), kReportedDataCapacity);
    const std::wstring keyName = ReportedKeyName(root, full);
    if (keyName.empty())
      return;
    ChangeEvent change{ChangeKind::ValueSet, keyName.c_str(), name != nullptr ? name : L"",
                       ShownData(before),    after.data(),    ReportedView()};
    change.BeforeLength = ShownLength(before);
    change.AfterLength = afterLength;
    RecordChange(change);
  } catch (...) {
    // no memory for the report: the change stands unreported
  }
}

void ReportValueDeleted(HKEY root, const wchar_t* full, const wchar_t* name,
                        const ReportedValue& before) noexcept {
  // A value that was absent just before could not have been deleted: something else held it.
  const ReportedValue* shown = &before;
  ReportedValue unknown;
  unknown.State = ReportedState::Unknown;
  if (before.State == ReportedState::Absent)
    shown = &unknown;
  const std::wstring keyName = ReportedKeyName(root, full);
  if (keyName.empty())
    return;
  ChangeEvent change{ChangeKind::ValueDeleted, keyName.c_str(), name != nullptr ? name : L"",
                     ShownData(*shown),        nullptr,         nullptr};
  change.BeforeLength = ShownLength(*shown);
  RecordChange(change);
}

void ReportKeyDeleted(const std::wstring& reportedName, const std::vector<ReportedValue>& values,
                      const wchar_t* view) noexcept {
  if (reportedName.empty())
    return;
  for (const ReportedValue& value : values) {
    ChangeEvent change{ChangeKind::ValueDeleted,
                       reportedName.c_str(),
                       value.Name.c_str(),
                       ShownData(value),
                       nullptr,
                       view};
    change.BeforeLength = ShownLength(value);
    RecordChange(change);
  }
  RecordChange(
      ChangeEvent{ChangeKind::KeyDeleted, reportedName.c_str(), nullptr, nullptr, nullptr, view});
}
