#include "support/process_list.h"

#include <utility>

bool OpenProcessesWhere(DWORD access, const std::function<bool(const PROCESSENTRY32W&)>& select,
                        std::vector<UniqueHandle>& opened) {
  opened.clear();
  // A snapshot fails with INVALID_HANDLE_VALUE, as CreateFileW does.
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot)
    return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (!select(entry))
      continue;
    UniqueHandle process(OpenProcess(access, FALSE, entry.th32ProcessID));
    if (process)
      opened.push_back(std::move(process));
  }
  return true;
}
