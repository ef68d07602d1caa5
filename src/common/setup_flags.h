#pragma once
// The process-wide record of what the command line asked for and what Setup mode produced.
// Zero-initialised before the entry routine runs; single-threaded, unguarded.

#include <windows.h>

#include "common/string_util.h"

struct SetupFlagsRecord {
  wchar_t InitText[40];                  // the characters behind /init
  bool Silent;                           // /s seen in either pass
  bool Msi;                              // /msi: an installer package owns the installation
  bool NoExplorer;                       // /noexplorer: do not open the program group after setup
  bool PerUser;                          // /user: install or remove for the current user only
  int ExitCode;                          // 0 unless the settings dialog was cancelled (then 1)
  HICON AppIcon;                         // "VLXICON"
  HFONT BoldFont;                        // bold dialog font
  wchar_t LogPath[kPathBufferCapacity];  // /log: the administrator's log; empty if none
  wchar_t GroupFolder[kPathBufferCapacity];  // program group folder made by ApplyIntegration; empty
                                             // if none
};

extern SetupFlagsRecord SetupFlags;
