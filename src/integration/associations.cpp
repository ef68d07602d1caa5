#include "integration/associations.h"

#include <windows.h>
#include <shlobj.h>

#include "common/change_record.h"
#include "common/path_util.h"
#include "common/string_util.h"
#include "common/test_seams.h"
#include "integration/new_templates.h"
#include "lang/messages.h"
#include "resources/resource.h"
#include "settings/settings_store.h"

namespace {

constexpr size_t kCommandCapacity = 2080;
constexpr size_t kTypeCapacity = 512;
constexpr size_t kExtensionCapacity = 50;
constexpr size_t kKeyCapacity = 128;
constexpr unsigned kVolumesTaken = 30;       // .r00 to .r29 point at the archiver
constexpr unsigned kVolumesGivenBack = 100;  // .r00 to .r99 are cleared or restored
constexpr uint32_t kNoBackup = 2;            // "Exist" read default: no backup was taken
constexpr wchar_t kRevExtension[] = L".rev";
constexpr wchar_t kRevClass[] = L"Vellox.REV";

struct ClassKey {
  const wchar_t* Name;
  int DescriptionId;
  const wchar_t* IconIndex;  // appended to the archiver's path
};

const ClassKey kClassKeys[] = {
    {L"Vellox", IDS_VELLOXARC, L",0"},
    {L"Vellox.ZIP", IDS_VELLOXZIPARC, L",0"},
    {kRevClass, IDS_VLXRECVOL, L",1"},
};

void SubKeyOf(const wchar_t* key, const wchar_t* sub, wchar_t* dest) {
  CopyBounded(dest, key, kKeyCapacity);
  AppendBounded(dest, L"\\", kKeyCapacity);
  AppendBounded(dest, sub, kKeyCapacity);
}

// ".r00" to ".r99".
void VolumeExtension(unsigned index, wchar_t* dest) {
  dest[0] = L'.';
  dest[1] = L'r';
  dest[2] = static_cast<wchar_t>(L'0' + index / 10 % 10);
  dest[3] = static_cast<wchar_t>(L'0' + index % 10);
  dest[4] = 0;
}

bool IsArchiverClass(const wchar_t* name) {
  return CompareNoCase(name, L"Vellox") == 0 || CompareNoCase(name, L"Vellox.ZIP") == 0;
}

void ArchiverPath(wchar_t* dest) {
  if (GetProgramPath(dest, kPathBufferCapacity) == 0)
    dest[0] = 0;
  ReplaceFileName(dest, L"Vellox.exe", kPathBufferCapacity);
}

// The extension's backup "Type", with the archiver's own class names read as empty: the
// archiver never gives an extension back to itself.
void ReadBackupType(const wchar_t* backupKey, wchar_t* dest) {
  (void)ReadUserString(backupKey, L"Type", dest, L"", kTypeCapacity);
  if (IsArchiverClass(dest))
    dest[0] = 0;
}

// The class an extension's key names now ("" when none); keyExists, when given, whether the
// key is there at all.
void ReadCurrentClass(const wchar_t* extension, wchar_t* dest, bool* keyExists = nullptr) {
  (void)ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", dest, L"", kTypeCapacity, keyExists);
}

void ReportAssociation(const wchar_t* extension, const wchar_t* before, const wchar_t* after,
                       const wchar_t* what) {
  RecordChange(ChangeEvent{ChangeKind::Association, extension, nullptr, before, after, what});
}

// An extension with a backup that another program holds now is left to it; the report names
// the holder.
void ReportLeftToHolder(const wchar_t* extension, const wchar_t* backupKey) {
  if (!IsRecordingChanges() || ReadUserInt(backupKey, L"Exist", kNoBackup) == kNoBackup)
    return;
  wchar_t holder[kTypeCapacity];
  ReadCurrentClass(extension, holder);
  ReportAssociation(extension, holder, holder, L"held by another program: left to it");
}

// type and exists: the class the extension names now and whether its key is there, as
// ReadCurrentClass read them just before.
void TakeBackup(const wchar_t* extension, const wchar_t* type, bool exists, bool withShellNew) {
  wchar_t backupKey[kBackupKeyCapacity];
  BackupKeyOf(extension, backupKey);
  // The report says what the writes achieved: a backup is taken only when all of it is kept.
  bool kept = WriteUserInt(backupKey, L"Exist", exists ? 1 : 0) == ERROR_SUCCESS;
  kept = WriteUserString(backupKey, L"Type", type) == ERROR_SUCCESS && kept;
  if (withShellNew) {
    // An extension without a key has no "New" entry below it either.
    wchar_t shellNew[kPathBufferCapacity] = L"";
    if (exists)
      ReadShellNewEntry(extension, shellNew, kPathBufferCapacity);
    kept = WriteUserString(backupKey, L"ShellNew", shellNew) == ERROR_SUCCESS && kept;
  }
  const wchar_t* what = !kept    ? L"backup could not be written"
                        : exists ? L"backup taken"
                                 : L"backup taken (no key before)";
  ReportAssociation(extension, exists ? type : nullptr, nullptr, what);
}

// Reports a give-back from its outcome, read back from the registry: the class the extension
// holds now (none when its key is gone) and whether that is what it held before it was taken.
void ReportGivenBack(const wchar_t* extension, const wchar_t* holder, bool previouslyAbsent,
                     const wchar_t* type) {
  if (!IsRecordingChanges())
    return;
  wchar_t now[kTypeCapacity];
  ReadCurrentClass(extension, now);
  const bool keyLeft = SettingsKeyExists(HKEY_CLASSES_ROOT, extension);
  // An extension that had no key is given back once it names no class (its key gone, or kept
  // alive by another program's subkeys with its default value cleared).
  const bool givenBack = previouslyAbsent ? now[0] == 0 : keyLeft && CompareNoCase(now, type) == 0;
  ReportAssociation(extension, holder, keyLeft ? now : nullptr,
                    givenBack ? L"given back" : L"could not be given back");
}

// Writes a backup type back; a key that did not exist before is deleted again (which does
// nothing while it holds subkeys that somebody else added).
void WriteBackBackup(const wchar_t* extension, bool previouslyAbsent, const wchar_t* type) {
  wchar_t holder[kTypeCapacity] = L"";
  if (IsRecordingChanges())
    ReadCurrentClass(extension, holder);
  if (previouslyAbsent) {
    // The key goes first: stopped in between, an extension still naming the archiver is
    // given back by the next run, whereas one already cleared would no longer look like the
    // archiver's and would stay behind for good. A key that another program's subkeys keep
    // alive stays, no longer naming the archiver.
    DeleteSettingsKey(HKEY_CLASSES_ROOT, extension);
    if (SettingsKeyExists(HKEY_CLASSES_ROOT, extension))
      (void)WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", L"");
  } else {
    (void)WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", type);
  }
  ReportGivenBack(extension, holder, previouslyAbsent, type);
}

// The volume extensions of the own format are taken with a backup of their own, so that a
// volume extension that belonged to another program gets exactly its owner back.
void TakeVolumes() {
  for (unsigned i = 0; i < kVolumesTaken; ++i) {
    wchar_t extension[8];
    VolumeExtension(i, extension);
    wchar_t current[kTypeCapacity];
    bool exists = false;
    ReadCurrentClass(extension, current, &exists);
    if (!IsArchiverClass(current))
      TakeBackup(extension, current, exists, false);
    (void)WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", L"Vellox");
  }
}

// Gives back every volume extension that still points at the archiver: from its own backup
// when there is one, otherwise (a volume taken without one) to the own format's former type,
// or deleted when that was absent or empty. Volume extensions of other programs stay as they
// are.
void GiveBackVolumes(bool ownFormatAbsent, const wchar_t* ownFormatType) {
  for (unsigned i = 0; i < kVolumesGivenBack; ++i) {
    wchar_t extension[8];
    VolumeExtension(i, extension);
    if (!IsOwnAssociation(extension))
      continue;
    wchar_t backupKey[kBackupKeyCapacity];
    BackupKeyOf(extension, backupKey);
    const uint32_t exist = ReadUserInt(backupKey, L"Exist", kNoBackup);
    if (exist != kNoBackup) {
      wchar_t type[kTypeCapacity];
      ReadBackupType(backupKey, type);
      WriteBackBackup(extension, exist == 0, type);
    } else if (ownFormatAbsent || ownFormatType[0] == 0) {
      DeleteSettingsKey(HKEY_CLASSES_ROOT, extension);
    } else {
      (void)WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", ownFormatType);
    }
  }
}

// type receives the class ".rev" names now, keyExists (when given) whether its key is there.
bool IsRevOurs(wchar_t (&type)[kTypeCapacity], bool* keyExists = nullptr) {
  ReadCurrentClass(kRevExtension, type, keyExists);
  return CompareNoCase(type, kRevClass) == 0;
}

// ".rev" is taken like any archive type: its former owner is backed up first (an older backup
// is kept while ".rev" is still ours) and only its default value is changed, so another
// program's subkeys under it stay as they are.
void TakeRevAssociation() {
  wchar_t current[kTypeCapacity];
  bool exists = false;
  if (!IsRevOurs(current, &exists))
    TakeBackup(kRevExtension, current, exists, false);
  (void)WriteSettingString(HKEY_CLASSES_ROOT, kRevExtension, L"", kRevClass);
}

}  // namespace

bool RegisterProgIds() {
  wchar_t archiver[kPathBufferCapacity];
  ArchiverPath(archiver);
  wchar_t command[kCommandCapacity];
  CopyBounded(command, L"\"", kCommandCapacity);
  AppendBounded(command, archiver, kCommandCapacity);
  AppendBounded(command, L"\" \"%1\"", kCommandCapacity);

  bool first = true;
  for (const ClassKey& classKey : kClassKeys) {
    if (classKey.DescriptionId == IDS_VLXRECVOL)
      TakeRevAssociation();
    const LONG result = WriteSettingString(HKEY_CLASSES_ROOT, classKey.Name, L"",
                                           MessageText(classKey.DescriptionId));
    if (first && result == ERROR_ACCESS_DENIED)
      return false;
    first = false;

    wchar_t key[kKeyCapacity];
    SubKeyOf(classKey.Name, L"shell\\open\\command", key);
    (void)WriteSettingString(HKEY_CLASSES_ROOT, key, L"", command);

    // An icon that the user or another tool has set stays.
    SubKeyOf(classKey.Name, L"DefaultIcon", key);
    wchar_t icon[kPathBufferCapacity];
    (void)ReadSettingString(HKEY_CLASSES_ROOT, key, L"", icon, L"", kPathBufferCapacity);
    if (icon[0] == 0) {
      CopyBounded(icon, archiver, kPathBufferCapacity);
      AppendBounded(icon, classKey.IconIndex, kPathBufferCapacity);
      (void)WriteSettingString(HKEY_CLASSES_ROOT, key, L"", icon);
    }
  }
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
  return true;
}

void AssociateAll(const IntegrationOptions& options) {
  for (int row = 0; row < kAssociationRows; ++row) {
    const wchar_t* next = AssociationTable[row].Extensions;
    while (*next != 0) {
      // One extension: its leading point and everything up to the next point.
      wchar_t extension[kExtensionCapacity];
      size_t length = 0;
      extension[length++] = *next++;
      while (*next != 0 && *next != L'.') {
        if (length + 1 < kExtensionCapacity)
          extension[length++] = *next;
        ++next;
      }
      extension[length] = 0;
      AssociateFlags flags = kGiveBack;
      if (options.Associations[row] != 0)
        flags |= kAssociate;
      if (options.ShellExt != 0)
        flags |= kShellIntegration;
      if (row == 0)
        flags |= kOwnFormat;
      if (row == 1)
        flags |= kZipFormat;
      AssociateExtension(extension, flags);
    }
  }
}

void AssociateExtension(const wchar_t* extension, AssociateFlags flags) {
  const bool associate = (flags & kAssociate) != 0;
  const bool shellIntegration = (flags & kShellIntegration) != 0;
  const bool ownFormat = (flags & kOwnFormat) != 0;
  const bool zip = (flags & kZipFormat) != 0;
  const bool wantTemplate = NewTemplateFlag(shellIntegration, ownFormat, zip);
  wchar_t backupKey[kBackupKeyCapacity];
  BackupKeyOf(extension, backupKey);

  // Whether the extension names the archiver: known without reading it again once the class
  // has been written (the volumes and the template change other keys).
  bool own = false;
  if (associate) {
    wchar_t current[kTypeCapacity];
    bool exists = false;
    ReadCurrentClass(extension, current, &exists);
    if (!IsArchiverClass(current))
      TakeBackup(extension, current, exists, true);
    own = WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", zip ? L"Vellox.ZIP" : L"Vellox") ==
          ERROR_SUCCESS;
    if (ownFormat)
      TakeVolumes();
    if (wantTemplate && (ownFormat || zip))
      InstallNewTemplate(extension, ownFormat);
  }

  if (!own && !IsOwnAssociation(extension)) {
    if (!associate)
      ReportLeftToHolder(extension, backupKey);
    // Another program has taken the own format meanwhile: the extension is its now, but the
    // volume extensions still pointing at the archiver are given back all the same.
    if (ownFormat && !associate) {
      wchar_t type[kTypeCapacity];
      ReadBackupType(backupKey, type);
      GiveBackVolumes(ReadUserInt(backupKey, L"Exist", 1) == 0, type);
    }
    return;
  }
  if (associate && wantTemplate)
    return;
  if (associate && !ownFormat && !zip)
    return;  // nothing to give back, no entry to restore

  const bool previouslyAbsent = ReadUserInt(backupKey, L"Exist", 1) == 0;
  // The "New" entry goes back first, while the extension still names the archiver: a run
  // stopped in between gives the extension back again, entry and all, whereas an extension
  // already given back is another program's and keeps whatever entry it has. (For an
  // extension that had no key this also removes the template's ShellNew key, which would
  // keep the extension's key alive.)
  if (ownFormat || zip)
    RestoreNewTemplate(extension, previouslyAbsent);
  if (!associate) {
    wchar_t type[kTypeCapacity];
    ReadBackupType(backupKey, type);
    WriteBackBackup(extension, previouslyAbsent, type);
    if (ownFormat)
      GiveBackVolumes(previouslyAbsent, type);
  }
}

void ReleaseAceAssociation() {
  AssociateExtension(L".ace", kGiveBack);
}

void ReleaseRevAssociation() {
  wchar_t backupKey[kBackupKeyCapacity];
  BackupKeyOf(kRevExtension, backupKey);
  wchar_t current[kTypeCapacity];
  if (!IsRevOurs(current)) {
    ReportLeftToHolder(kRevExtension, backupKey);
    return;  // another program's now (or nobody's): left exactly as it is
  }
  // Without a backup (an installation that took ".rev" without one) the key counts as the
  // archiver's own: only its default value and the key itself go, never another's subkeys.
  const uint32_t exist = ReadUserInt(backupKey, L"Exist", kNoBackup);
  wchar_t type[kTypeCapacity];
  ReadBackupType(backupKey, type);
  if (CompareNoCase(type, kRevClass) == 0)
    type[0] = 0;
  WriteBackBackup(kRevExtension, exist == 0 || exist == kNoBackup, type);
}
