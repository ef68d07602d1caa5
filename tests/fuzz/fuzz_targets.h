#pragma once
// The fuzz targets, one per input format the product parses.

#include <memory>

#include "fuzz/fuzz_harness.h"

// The language file, 8-bit (ANSI code page) or UTF-16LE.
std::unique_ptr<FuzzTarget> MakeLanguageFileFuzz(bool utf16);
// The settings file Vellox.ini.
std::unique_ptr<FuzzTarget> MakeSettingsFileFuzz();
// Uninstall.lst and the list walk, on a scratch installation with canaries around it.
std::unique_ptr<FuzzTarget> MakeFileListFuzz();
// The command line and "sfxcmd": both switch passes.
std::unique_ptr<FuzzTarget> MakeSwitchesFuzz();
