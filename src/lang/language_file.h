#pragma once
// The language file uninstall.lng: translated messages and dialog texts, and the text
// direction of the interface.

#include <cstddef>

// True when the interface is laid out right to left. Read by message boxes and dialogs.
extern bool RightToLeft;

// Locates, parses and applies the language file (called once at start-up).
void LoadLanguageFile(const wchar_t* fileName);
// The text of an entry with exactly this key (e.g. "s:IDS_BETA", "$SETUPDLG:IDOK").
bool FindTextByKey(const char* key, wchar_t* dest, size_t capacity);
// The strings-section text of a message ID; false when the file has none.
bool FindStringText(unsigned id, wchar_t* dest, size_t capacity);
// The text of item (e.g. "CAPTION", "SIZE") in the dialog section of the dialog.
bool FindDialogText(const wchar_t* dialogName, const wchar_t* itemName, wchar_t* dest,
                    size_t capacity);
