#pragma once
// The folders the program writes into. Each returns a path in a caller-owned buffer.

#include <cstddef>

// "Vellox" inside the user's application-data folder; true when that folder exists.
bool GetAppDataVelloxFolder(wchar_t* dest, size_t capacity);
// The suite's per-user data folder; always yields a path (falls back to the program's folder).
void GetDataFolder(wchar_t* dest, size_t capacity);
// The folder for temporary files, always with a trailing backslash.
void GetTempFolder(wchar_t* dest, size_t capacity);
