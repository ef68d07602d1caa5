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
#include <string>

constexpr wchar_t kScriptFileName[] = L"Uninstall_Vlx.Bat";

// Writes the script to the system's temporary folder, under a name of its own ("Uninstall_Vlx.Bat"
// unless another run's script has it; another run's script is never overwritten), and starts it
// hidden there; this process moves to the parent of the installation folder (its current
// directory). installFolder has no trailing backslash unless it is a drive root. Reads Silent
// of SetupFlags. True once the interpreter runs the script. False, with no script left behind,
// the program staying and (unless silent) the removal warning shown, when the temporary
// folder is missing, on a network share, or is (or lies in) the installation folder or the
// program's folder, when the script cannot be written whole there (a full drive), when a path
// is too long for the interpreter and has no short form that fits, or when the interpreter
// cannot be started.
[[nodiscard]] bool StartSelfRemoval(const wchar_t* programPath, const wchar_t* installFolder);

// Converts one line to the script's code page and appends its bytes, without a terminator or
// any header. Characters the code page cannot hold become '|', which no file name contains, so
// a damaged path never names some other file. False, with bytes as they were, when the line
// could not be converted.
bool AppendScriptLine(std::string& bytes, const wchar_t* line);

// The code page the interpreter reads the script in: the console's, else the OEM code page.
UINT ScriptCodePage();
// The text of a path as the script carries it: the path, or its short form when only that fits
// the script's code page or the interpreter's path length, with every '%' doubled. False, with
// dest empty, when neither form is short enough for the interpreter. Callers give twice the
// path's capacity, which always suffices.
[[nodiscard]] bool ScriptPathText(const wchar_t* path, wchar_t* dest, size_t capacity);
// The whole script, each line ending in CR LF: the /wait line, the deletion loop (up to 30
// tries a second apart), the /warning line unless silent, and the line that deletes the
// script. False, with bytes empty, when a path cannot be written for the interpreter.
[[nodiscard]] bool ComposeSelfRemovalScript(const wchar_t* programPath,
                                            const wchar_t* installFolder, const wchar_t* scriptPath,
                                            bool silent, std::string& bytes);
