#pragma once
// Reads a shortcut in another process (the read_shell_link helper beside the test program), so
// a test sees what any other program would load from the file, not this process's state.

#include <windows.h>

#include <map>
#include <string>

#include "support/scratch_folder.h"

// The shortcut's fields by name (path, description, workdir, arguments, icon, iconindex,
// hotkey, showcmd), as UTF-16; empty when the helper could not load it.
inline std::map<std::string, std::wstring> ReadLinkInOtherProcess(const std::wstring& link) {
  std::map<std::string, std::wstring> fields;
  ScratchFolder scratch;
  const std::wstring out = scratch.Join(L"fields.txt");
  const std::wstring command =
      L"\"" + TestProgramFolder() + L"\\read_shell_link.exe\" \"" + link + L"\" \"" + out + L"\"";
  if (RunAndWait(command) != 0)
    return fields;
  std::string bytes;
  if (!ReadWholeFile(out, bytes))
    return fields;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos)
      end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    size_t eq = line.find('=');
    if (eq != std::string::npos) {
      std::string value = line.substr(eq + 1);
      std::wstring wide(value.size() + 1, L'\0');
      int n = MultiByteToWideChar(CP_UTF8, 0, value.data(), static_cast<int>(value.size()),
                                  &wide[0], static_cast<int>(wide.size()));
      wide.resize(static_cast<size_t>(n > 0 ? n : 0));
      fields[line.substr(0, eq)] = wide;
    }
    start = end + 1;
  }
  return fields;
}
