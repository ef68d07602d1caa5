#pragma once
// The two operating-system tests the whole program uses: the Windows version number and the
// new-shell test. Each is computed on first use and kept for the life of the process.

// Major version x 256 + minor version when the platform is NT, otherwise 0x501. A result of
// at least 0x600 means Windows 6.0 or later.
unsigned GetWindowsVersion();

// True on the new shell (Windows 11): a major version above 10, or version 10 with a build of
// 22000 or more unless WMI names the system a Windows 10. The WMI query runs at most once per
// process. COM must be initialised on the calling thread.
bool IsNewShell();

// Whether WMI's Win32_OperatingSystem "Name" contains "Windows 10" (case-sensitive). Any
// failure on the way (locator, connection, proxy blanket, query) gives false.
bool IsWmiWindows10();

// Tests only: forgets both cached results, so that the next call asks again (after a test has
// changed the version or the WMI answer through the seams).
void ResetOsVersionCacheForTesting();
