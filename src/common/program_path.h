#pragma once
// Files that live beside the running program.

#include <cstddef>

// The running program's path (GetProgramPath, so a test's stand-in counts) with its file name
// replaced by fileName; an empty fileName gives the program's folder with its trailing
// backslash. False, with dest empty, when the program's path cannot be read or is cut short,
// or when the result does not fit in capacity (characters, terminator included); nothing is
// written when capacity is 0.
bool ProgramSiblingPath(const wchar_t* fileName, wchar_t* dest, size_t capacity);
