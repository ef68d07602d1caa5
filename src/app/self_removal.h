#pragma once
// The self-removal script: the last step of Uninstall mode. A command script in the system's
// temporary folder, started hidden through the command interpreter in that folder after the
// program has done its work, waits for the program to exit, deletes the program file and the
// installation folder, reports a program file that could not be deleted (unless silent) and
// deletes itself. The script is never written into the folder it removes: with no other place
// for it, the program stays and the user is told so.
//
// The script is written in the code page the command interpreter reads it in (the console's,
// which is the OEM code page for the new console a hidden interpreter gets), not the ANSI code
// page. A path that code page cannot hold is written in its short form when the system has one.
// Every '%' of a path is written as "%%", since the interpreter expands '%' in a script.

#include <windows.h>

#include <cstddef>
#include <cstdio>

constexpr wchar_t kScriptFileName[] = L"Uninstall_Vlx.Bat";

// Writes the script to the system's temporary folder and starts it hidden there; this process
// moves to the parent of the installation folder (its current directory). installFolder has no
// trailing backslash unless it is a drive root. Reads Silent of SetupFlags. When the temporary
// folder is missing, on a network share, or is (or lies in) the installation folder or the
// program's folder, or when the script cannot be created there, nothing is removed and, unless
// silent, the removal warning tells the user to delete the program. A failed start of the
// interpreter is not reported.
void StartSelfRemoval(const wchar_t* programPath, const wchar_t* installFolder);

// Converts one line to the script's code page and writes its bytes, without a terminator or
// any header. Characters the code page cannot hold become '|', which no file name contains, so
// a damaged path never names some other file. False when the line was skipped or not written.
bool WriteScriptLine(FILE* script, const wchar_t* line);

// The code page the interpreter reads the script in: the console's, else the OEM code page.
UINT ScriptCodePage();
// The text of a path as the script carries it: the path, or its short form when only that fits
// the script's code page, with every '%' doubled. Cut to capacity (callers give twice the
// path's capacity, which always suffices).
void ScriptPathText(const wchar_t* path, wchar_t* dest, size_t capacity);
// Writes every line of the script (18 when silent, else 19), each ending in CR LF.
void WriteSelfRemovalScript(FILE* script, const wchar_t* programPath, const wchar_t* installFolder,
                            const wchar_t* scriptPath, bool silent);
