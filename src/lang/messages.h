#pragma once
// Message texts by ID, from (in this order) the language file, the language library and the
// program's own string table; and the language-folder redirection of localised files.

#include <windows.h>

#include <cstddef>

// The program's own module (set by LoadLanguageLibrary) and the module resources are taken
// from: the language library while it is loaded, otherwise OwnInstance.
extern HINSTANCE OwnInstance;
extern HINSTANCE ResourceModule;

// Loads vlxlng.dll beside the program as a data file; no error when it is missing.
void LoadLanguageLibrary(HINSTANCE ownInstance);
// Frees the library when this code loaded it; ResourceModule becomes OwnInstance.
void UnloadLanguageLibrary();
// The text of the ID cut to capacity-1 units; empty when no source has it. Returns dest.
wchar_t* LoadMessageText(int id, wchar_t* dest, size_t capacity);
// The text in the next slot of an eight-slot ring of 1024 units: valid until eight further
// calls. A caller that needs it longer copies it.
const wchar_t* MessageText(int id);
// The path unchanged, or the same file name inside the user's language folder when the
// redirection is on and such a file exists. path and dest may be the same buffer.
void ApplyLanguageFolder(const wchar_t* path, wchar_t* dest, size_t capacity);
// Fills a message that holds a string placeholder: every %s (also written %ls or %S) becomes
// insert, %% becomes %, and any other % is copied as it stands. Message texts may come from a
// translation, so they are never handed to printf as a format. The result is cut to capacity.
void FormatMessageWithText(const wchar_t* format, const wchar_t* insert, wchar_t* dest,
                           size_t capacity);
