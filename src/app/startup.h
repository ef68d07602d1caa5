#pragma once
// The program's entry routine.

#include <windows.h>

// Prepares the process, reads the switches from "sfxcmd" and the command line, runs Setup
// mode, Uninstall mode or neither, releases what it made and returns SetupFlags.ExitCode (the
// process exit code: 1 after a cancelled settings dialog, else 0). No step stops the program:
// whatever cannot be loaded leaves its handle empty.
int RunProgram(HINSTANCE instance);
// The same on a given command line instead of the process's own (which RunProgram passes).
int RunProgramWith(HINSTANCE instance, const wchar_t* commandLine);
