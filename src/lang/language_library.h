#pragma once
// The language library vlxlng.dll and the language-folder switch. The operations that the rest
// of the program uses are declared in lang/messages.h; this header adds what only this
// subsystem and its tests need.

// The stored switch text that governs the language-folder redirection: the redirection is on
// only when the text holds the digit 1 anywhere. As shipped it reads "LngFolder0" (off); the
// text sits in the program's data so that a build of the suite can turn it on without code.
extern const wchar_t LanguageFolderSwitch[];

// Whether LoadLanguageLibrary loaded a library that UnloadLanguageLibrary must free.
bool LanguageLibraryLoaded();

// Tests only: makes ApplyLanguageFolder read another switch text (null restores the stored
// one). The shipped program never calls it.
void SetLanguageFolderSwitchForTesting(const wchar_t* switchText);
