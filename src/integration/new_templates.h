#pragma once
// "New" menu templates of the archiver's own format (".vlx") and of ZIP (".zip"): an empty
// archive file beside this program, named by HKEY_CLASSES_ROOT\<extension>\ShellNew, and the
// give-back of the entry that was there before. The backup of the former entry is the value
// "ShellNew" under "Setup\<extension>" of the per-user settings, taken by the association
// code together with its own backup (see associations.h).

#include <cstddef>
#include <cstdint>

// The two templates as they are kept in the program: the first byte of each is stored as 0
// and only set to its real value (kOwnTemplateFirstByte, kZipTemplateFirstByte) in the copy
// that is written, so the program file itself never carries a complete archive signature.
constexpr size_t kOwnTemplateSize = 24;
constexpr size_t kZipTemplateSize = 22;
constexpr uint8_t kOwnTemplateFirstByte = 0x56;
constexpr uint8_t kZipTemplateFirstByte = 0x50;
// CRC-32 of the main archive header (03 01 04 00) and of the end-of-archive header
// (03 05 04 00) of the own-format template.
constexpr uint32_t kOwnMainHeaderCrc = 0x565FDFC1;
constexpr uint32_t kOwnEndHeaderCrc = 0x5156771D;
extern const uint8_t kOwnTemplate[kOwnTemplateSize];
extern const uint8_t kZipTemplate[kZipTemplateSize];

// The per-user settings key of an extension's backups, "Setup\<extension>", in dest (at least
// kBackupKeyCapacity units; an over-long extension is cut, as every key name here is bounded).
constexpr size_t kBackupKeyCapacity = 128;
void BackupKeyOf(const wchar_t* extension, wchar_t* dest);

// The file names of the templates beside this program.
constexpr const wchar_t* kOwnTemplateFile = L"vlxnew.dat";
constexpr const wchar_t* kZipTemplateFile = L"zipnew.dat";

// The real bytes of a template (own format or ZIP) in dest, which holds at least
// kOwnTemplateSize bytes; returns the template's size.
size_t CopyTemplateBytes(bool ownFormat, uint8_t* dest);

// Whether the template of an extension is wanted: shell integration on, and for the own
// format "Setup\MenuItems\NewVLX", for ZIP "Setup\MenuItems\NewZIP" not 0 (missing = 1).
// Both switches are read on every call.
bool NewTemplateFlag(bool shellIntegration, bool ownFormat, bool zip);

// The backup text of the extension's present "New" entry: its "FileName" when not empty,
// otherwise "*" when a "NullFile" value exists, otherwise empty.
void ReadShellNewEntry(const wchar_t* extension, wchar_t* dest, size_t capacity);

// Replaces the extension's ShellNew key by one whose "FileName" names the template (own
// format or ZIP) beside this program, writing the template file first unless one of the
// right size is there already. A file that cannot be written is not reported; the registry
// entry is written all the same.
void InstallNewTemplate(const wchar_t* extension, bool ownFormat);

// Gives the former "New" entry back: the ShellNew key is deleted when the extension did not
// exist before the archiver took it; otherwise "FileName" is removed and the backup written
// back ("*" as an empty "NullFile"). With an empty backup a ShellNew key that is left empty
// is deleted, so no trace of the template stays.
void RestoreNewTemplate(const wchar_t* extension, bool previouslyAbsent);
