#pragma once
// Whole-file reads and writes for the fuzzers' scratch folders (Win32 calls, no caching).

#include <string>

// Replaces the file with these bytes. False when it cannot be written whole.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
// The whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes);
bool PathExists(const std::wstring& path);
// Creates the folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::wstring& path);
