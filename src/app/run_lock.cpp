#include "app/run_lock.h"

#include <sddl.h>

namespace {

// Everyone may wait for and release the mutex, so that a standard user's run and an
// administrator's run share it whichever of them made it; only the system and administrators
// may do more. Without the access list, a mutex made by an elevated run would refuse a later
// standard user's run, which could then not tell "busy" from "denied".
constexpr wchar_t kRunLockAccess[] = L"D:(A;;0x00100001;;;WD)(A;;GA;;;SY)(A;;GA;;;BA)";
constexpr DWORD kRunLockRights = SYNCHRONIZE | MUTEX_MODIFY_STATE;  // 0x00100001

// Frees a security descriptor made by ConvertStringSecurityDescriptorToSecurityDescriptorW.
struct LocalMemoryTraits {
  static PSECURITY_DESCRIPTOR Invalid() { return nullptr; }
  static void Close(PSECURITY_DESCRIPTOR memory) { (void)LocalFree(memory); }
};
using UniqueLocalDescriptor = UniqueResource<PSECURITY_DESCRIPTOR, LocalMemoryTraits>;

HANDLE CreateRunMutex() {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  UniqueLocalDescriptor owned;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kRunLockAccess, SDDL_REVISION_1,
                                                           &descriptor, nullptr)) {
    owned.reset(descriptor);
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), owned.get(), FALSE};
  // Only the rights to wait for it and release it are asked for, the ones the list grants to
  // everyone: asking for all rights would fail for a standard user once another made it.
  HANDLE mutex = CreateMutexExW(owned ? &attributes : nullptr, kRunLockName, 0, kRunLockRights);
  if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED)
    mutex = OpenMutexW(kRunLockRights, FALSE, kRunLockName);
  return mutex;
}

}  // namespace

RunLock::~RunLock() {
  Release();
}

RunLockResult RunLock::Acquire(DWORD waitMilliseconds) {
  Release();
  mutex_.reset(CreateRunMutex());
  if (!mutex_)
    return RunLockResult::Acquired;  // no lock to be had: nothing to wait for
  DWORD result = WaitForSingleObject(mutex_.get(), 0);
  bool late = false;
  if (result == WAIT_TIMEOUT) {
    late = true;
    result = WaitForSingleObject(mutex_.get(), waitMilliseconds);
  }
  switch (result) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // the holder died: what it left is for this run to look at again
      held_ = true;
      return late ? RunLockResult::AcquiredLate : RunLockResult::Acquired;
    case WAIT_TIMEOUT:
      return RunLockResult::Busy;
    default:
      // The wait itself failed: never go on beside a run that may still hold the lock.
      return RunLockResult::Busy;
  }
}

void RunLock::Release() {
  if (held_) {
    (void)ReleaseMutex(mutex_.get());  // result ignored: held by this thread
    held_ = false;
  }
  mutex_.reset();
}
