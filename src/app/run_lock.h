#pragma once
// One Setup or Uninstall run at a time on the machine. Both hold one named, machine-wide mutex
// for their whole run, so that a repair and a removal, a retried removal, or the removals of
// two installations never change the same keys and files at the same time. Runs that only
// wait or warn (/wait, /warning, which the removal script starts while the run that wrote it
// may still hold the lock) take no lock.

#include <windows.h>

#include "common/win_handles.h"

// The mutex's name: "Global\" so that runs in every session of the machine share it.
constexpr wchar_t kRunLockName[] = L"Global\\Vellox.SetupAndUninstall";
// How long a run waits for another one to finish before it gives up.
constexpr DWORD kRunLockWaitMilliseconds = 60000;

enum class RunLockResult {
  Acquired,      // nobody held it
  AcquiredLate,  // another run held it and ended (or died) while this one waited
  Busy,          // still held when the wait ran out: this run must change nothing
};

class RunLock {
 public:
  RunLock() = default;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  // Released, if held, when the holder goes.
  ~RunLock();

  // Takes the lock, waiting at most waitMilliseconds for another run. A mutex left by a run
  // that died counts as free. A lock that cannot be made at all (no such object can be
  // created) is taken as free: the run goes on as it did before runs were serialised.
  [[nodiscard]] RunLockResult Acquire(DWORD waitMilliseconds);
  void Release();

 private:
  UniqueHandle mutex_;
  bool held_ = false;
};
