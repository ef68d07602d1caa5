#pragma once
// The program's switches: read twice, first from the installer archive's "sfxcmd" variable,
// then from the program's own command line.

enum class SwitchPass {
  Environment,  // "sfxcmd": only the silent switch acts; every other switch is ignored
  CommandLine,  // the process command line (which begins with the program's own path)
};

// Where the arguments of a process command line begin: behind the program's own path, which
// is never read as switches. The path counts when the line begins (after blanks) with
// programPath, compared without regard to case, either quoted or as it stands followed by a
// blank or the end: an unquoted path may hold blanks and words such as " -" or " -s1 ".
// Otherwise (a short-name form, another spelling, an empty programPath) the first argument as
// NextArgument reads it is the program. Never returns null: the result points into commandLine
// (at its terminator when nothing follows), or at an empty text when commandLine is null.
const wchar_t* SkipProgramPath(const wchar_t* commandLine, const wchar_t* programPath);

// Scans text for switches (arguments starting with '-' or '/') and acts on them. In the
// command-line pass the program's own path (GetProgramPath) at the start of text is skipped
// first (SkipProgramPath); the environment pass has no program path and reads all of text.
// - /s, -S, /s1, /s- ... (S followed by no ASCII letter) set SetupFlags.Silent in either pass;
// - in the command-line pass, /setup sets setupRequest, /msi SetupFlags.Msi, /init<text>
//   SetupFlags.InitText, /wait pauses two seconds, /noex[plorer] SetupFlags.NoExplorer and
//   /warning shows the removal warning; words only need to begin the switch, in any case;
// - /log=PATH or /log PATH (command-line pass) sets SetupFlags.LogPath; like the silent
//   switch it never cancels the uninstall request.
// setupRequest is only ever set here, never cleared. uninstallRequest is set after the
// command-line pass exactly when no switch other than silent ones was seen; the environment
// pass clears it. Arguments longer than 1023 units are cut; any text is safe to pass.
void ParseSwitches(SwitchPass pass, const wchar_t* text, bool& setupRequest,
                   bool& uninstallRequest);

// The removal warning of /warning: "uninstall completed", then "please delete <program path>",
// in an information box captioned with the uninstall title. Shown whatever Silent says.
void ShowRemovalWarning();
