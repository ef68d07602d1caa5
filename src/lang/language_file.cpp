#include "lang/language_file.h"

// Until the language file parser lands, no language file is ever loaded: every lookup
// answers "not in the language file", so texts come from the library or the program itself.

bool RightToLeft = false;

void LoadLanguageFile(const wchar_t*) {}

bool FindTextByKey(const char*, wchar_t*, size_t) { return false; }

bool FindStringText(unsigned, wchar_t*, size_t) { return false; }

bool FindDialogText(const wchar_t*, const wchar_t*, wchar_t*, size_t) { return false; }
