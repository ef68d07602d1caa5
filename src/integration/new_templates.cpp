#include "integration/new_templates.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/file.h"
#include "common/find_file.h"
#include "common/path_util.h"
#include "common/program_path.h"
#include "common/string_util.h"
#include "common/win_handles.h"
#include "settings/settings_store.h"

#define VLX_LE32(x) \
  uint8_t((x)&0xFF), uint8_t(((x) >> 8) & 0xFF), uint8_t(((x) >> 16) & 0xFF), uint8_t((x) >> 24)

// An empty archive: signature, main archive header, end-of-archive header. Each header is its
// CRC-32 (little-endian) followed by size 3, type, flags 0x04 and one flag byte.
const uint8_t kOwnTemplate[kOwnTemplateSize] = {
    0x00,
    0x6C,
    0x78,
    0x21,
    0x1A,
    0x07,
    0x01,
    0x00,  // "Vlx!" 1A 07 01 00
    VLX_LE32(kOwnMainHeaderCrc),
    0x03,
    0x01,
    0x04,
    0x00,  // main archive header, archive flags 0
    VLX_LE32(kOwnEndHeaderCrc),
    0x03,
    0x05,
    0x04,
    0x00,  // end of archive
};

// The end-of-central-directory record of an empty ZIP archive: "PK" 05 06, then no disks,
// no entries, no central directory and no comment.
const uint8_t kZipTemplate[kZipTemplateSize] = {0x00, 0x4B, 0x05, 0x06};

#undef VLX_LE32

namespace {

constexpr size_t kKeyCapacity = 128;

void ShellNewKeyOf(const wchar_t* extension, wchar_t* dest) {
  CopyBounded(dest, extension, kKeyCapacity);
  AppendBounded(dest, L"\\ShellNew", kKeyCapacity);
}

// True when the key exists and holds neither values nor subkeys.
bool IsEmptyKey(HKEY root, const wchar_t* path) {
  UniqueHKey key(OpenSettingsKeyForRead(root, path));
  if (!key)
    return false;
  DWORD subkeys = 0;
  DWORD values = 0;
  if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return subkeys == 0 && values == 0;
}

// Writes the template unless a file of exactly its size is there already (whatever it holds:
// the user may have put an archive of their own there). Failures are not reported.
void EnsureTemplateFile(const wchar_t* path, bool ownFormat) {
  uint8_t bytes[kOwnTemplateSize];
  const size_t size = CopyTemplateBytes(ownFormat, bytes);
  FindData found;
  if (FindOneFile(path, found) && !found.IsDirectory && found.Size == size)
    return;
  UniqueStdioFile stream(OpenStream(path, L"wb"));
  if (!stream)
    return;
  // A short write leaves a file of the wrong size, which the next install replaces.
  (void)fwrite(bytes, 1, size, stream.get());
}

}  // namespace

size_t CopyTemplateBytes(bool ownFormat, uint8_t* dest) {
  if (ownFormat) {
    memcpy(dest, kOwnTemplate, kOwnTemplateSize);
    dest[0] = kOwnTemplateFirstByte;
    return kOwnTemplateSize;
  }
  memcpy(dest, kZipTemplate, kZipTemplateSize);
  dest[0] = kZipTemplateFirstByte;
  return kZipTemplateSize;
}

bool NewTemplateFlag(bool shellIntegration, bool ownFormat, bool zip) {
  bool wanted = shellIntegration;
  if (ownFormat && ReadUserInt(L"Setup\\MenuItems", L"NewVLX", 1) == 0)
    wanted = false;
  if (zip && ReadUserInt(L"Setup\\MenuItems", L"NewZIP", 1) == 0)
    wanted = false;
  return wanted;
}

void ReadShellNewEntry(const wchar_t* extension, wchar_t* dest, size_t capacity) {
  wchar_t key[kKeyCapacity];
  ShellNewKeyOf(extension, key);
  bool keyExists = false;
  (void)ReadSettingString(HKEY_CLASSES_ROOT, key, L"FileName", dest, L"", capacity, &keyExists);
  if (dest[0] != 0 || !keyExists)
    return;
  // Only the presence of "NullFile" counts; its text is normally empty. A full-size buffer
  // keeps an unusually long text from hiding the value.
  wchar_t nullFile[kPathBufferCapacity];
  if (ReadSettingString(HKEY_CLASSES_ROOT, key, L"NullFile", nullFile, L"", kPathBufferCapacity)) {
    CopyBounded(dest, L"*", capacity);
  }
}

void InstallNewTemplate(const wchar_t* extension, bool ownFormat) {
  wchar_t key[kKeyCapacity];
  ShellNewKeyOf(extension, key);
  // Only the two values that the backup can give back are taken away. Anything else that
  // another program keeps in its "New" entry (Data, Command, ItemName, IconPath, subkeys) stays
  // where it is, since no backup could restore it; a key left with nothing is deleted.
  DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"FileName");
  DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"NullFile");
  if (IsEmptyKey(HKEY_CLASSES_ROOT, key))
    DeleteSettingsKey(HKEY_CLASSES_ROOT, key);

  wchar_t path[kPathBufferCapacity];
  if (!ProgramSiblingPath(ownFormat ? kOwnTemplateFile : kZipTemplateFile, path,
                          kPathBufferCapacity))
    return;
  EnsureTemplateFile(path, ownFormat);
  (void)WriteSettingString(HKEY_CLASSES_ROOT, key, L"FileName", path);
}

void RestoreNewTemplate(const wchar_t* extension, bool previouslyAbsent) {
  wchar_t key[kKeyCapacity];
  ShellNewKeyOf(extension, key);
  if (previouslyAbsent) {
    DeleteSettingsKey(HKEY_CLASSES_ROOT, key);
    return;
  }
  wchar_t backupKey[kBackupKeyCapacity];
  BackupKeyOf(extension, backupKey);
  wchar_t backup[kPathBufferCapacity];
  (void)ReadUserString(backupKey, L"ShellNew", backup, L"", kPathBufferCapacity);
  DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"FileName");
  if (backup[0] == 0) {
    // There was no entry before: a key that only held the template's "FileName" goes too.
    if (IsEmptyKey(HKEY_CLASSES_ROOT, key))
      DeleteSettingsKey(HKEY_CLASSES_ROOT, key);
    return;
  }
  if (backup[0] == L'*') {
    (void)WriteSettingString(HKEY_CLASSES_ROOT, key, L"NullFile", L"");
  } else {
    (void)WriteSettingString(HKEY_CLASSES_ROOT, key, L"FileName", backup);
  }
}

void BackupKeyOf(const wchar_t* extension, wchar_t* dest) {
  CopyBounded(dest, L"Setup\\", kBackupKeyCapacity);
  AppendBounded(dest, extension, kBackupKeyCapacity);
}
