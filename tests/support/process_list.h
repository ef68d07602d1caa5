#pragma once
// The running processes, for tests that must wait for the programs a run started.

#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <vector>

#include "common/win_handles.h"

// Opens, with the given access, every running process whose entry select accepts, in the
// order the system lists them; a process that ends or refuses to open in between is passed
// over. False when the list of processes could not be taken (opened is then empty).
bool OpenProcessesWhere(DWORD access, const std::function<bool(const PROCESSENTRY32W&)>& select,
                        std::vector<UniqueHandle>& opened);
