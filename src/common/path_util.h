#pragma once
// Taking paths apart and putting them together in caller-owned fixed buffers. Both '\' and
// '/' are separators when a path is read; only '\' is ever written. A drive prefix is one
// ASCII letter followed by ':'. Capacities are in characters, terminator included.

#include <cstddef>

// A separator when a path is read: '\' or '/'.
bool IsSeparator(wchar_t c);
// Points just behind the last separator; with none, behind a drive prefix, else at the start.
const wchar_t* FileNamePart(const wchar_t* path);
wchar_t* FileNamePart(wchar_t* path);
// Cuts the name off, and its separator unless that would destroy a root
// (C:\x -> C:\, \x stays \, C:\dir\x -> C:\dir, a\b -> a).
void CutFileName(wchar_t* path);
// Writes newName over the name part, within capacity (counted from the start of path).
void ReplaceFileName(wchar_t* path, const wchar_t* newName, size_t capacity);
// Everything in front of the name part, trailing separator included (C:\dir\x -> C:\dir\).
void FolderOfPath(const wchar_t* path, wchar_t* dest, size_t capacity);
// Appends '\' when the path is not empty, does not end in '\' and length+1 < capacity.
// Returns the former length.
size_t EnsureTrailingBackslash(wchar_t* path, size_t capacity);
// folder + '\' + name (no '\' when folder ends in one or is exactly a drive prefix).
// dest may be the same buffer as folder.
void JoinPath(const wchar_t* folder, const wchar_t* name, wchar_t* dest, size_t capacity);
// Points at the last character, or at the terminator of an empty string.
const wchar_t* LastChar(const wchar_t* path);
bool HasDriveLetter(const wchar_t* path);
// Starts with two backslashes, or a drive prefix followed by '\' or '/'.
bool IsAbsolutePath(const wchar_t* path);
// False for null; skips a leading \\?\ ; true when '*' or '?' occurs.
bool HasWildcards(const wchar_t* path);
// The \\?\ (or \\?\UNC\) form of a path, for retrying a call that failed on the plain name.
// False when the path is empty, the result does not fit or the current directory cannot be
// read; the destination is then unspecified.
bool ToLongPathForm(const wchar_t* path, wchar_t* dest, size_t capacity);
