#pragma once
// Deployment of a settings file that came with the installer archive.

// Copies the file called name that lies beside the installer archive ("sfxname") into the
// current folder, unless the suite's data folder already has one (an existing settings file is
// never replaced). True when nothing needed copying or a copy was attempted; false when the
// archive is known but no such file lies beside it.
bool CopyFromSfxFolder(const wchar_t* name);
