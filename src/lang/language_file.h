#pragma once
// The language file uninstall.lng: translated messages and dialog texts, and the text
// direction of the interface.

#include <cstddef>
#include <cstdint>

#include "common/platform_services.h"  // RightToLeft, which the file sets

// One parsed entry. The key is the section prefix and the entry name in the ANSI code page,
// such as "s:IDS_BETA" or "$SETUPDLG:IDOK"; the text lives in the language file's text pool.
struct LanguageEntry {
  char Key[50];
  uint32_t TextOffset;
  uint32_t TextLength;
};

// Locates, parses and applies the language file (called once at start-up).
void LoadLanguageFile(const wchar_t* fileName);
// Replaces the entries with those of the file at path (a name without a backslash is taken
// from the program's folder) and sets RightToLeft as the file says (false when it says
// nothing). A missing file, or one without the marker, leaves no entries.
void ParseLanguageFile(const wchar_t* path);
// The same from text already in memory (terminated); used by ParseLanguageFile.
void ParseLanguageFileText(const wchar_t* text, size_t length);
// No entries, left-to-right layout.
void ClearLanguageFile();
size_t LanguageEntryCount();

// The text of an entry with exactly this key (e.g. "s:IDS_BETA", "$SETUPDLG:IDOK").
bool FindTextByKey(const char* key, wchar_t* dest, size_t capacity);
// The strings-section text of a message ID; false when the file has none.
bool FindStringText(unsigned id, wchar_t* dest, size_t capacity);
// The text of item (e.g. "CAPTION", "SIZE") in the dialog section of the dialog.
bool FindDialogText(const wchar_t* dialogName, const wchar_t* itemName, wchar_t* dest,
                    size_t capacity);
