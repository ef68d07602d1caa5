// Test-only driver for the interruption run, never shipped: the program itself (the same start-up
// and run modes, the same resources), stopped dead right after the k-th change it makes when
// VLX_STOP_AFTER=k is set, as a killed process or a power cut would stop it: no destructor runs,
// nothing is saved, no file is closed. The process then ends with exit code 99. Without the
// variable, or when the run makes fewer changes, it runs to its normal end. Copied into an
// installation under the program's own name.
#include <windows.h>

#include <cwchar>

#include "app/startup.h"
#include "common/change_record.h"

namespace {

constexpr UINT kStoppedExitCode = 99;

class StopAtChange final : public ChangeObserver {
 public:
  explicit StopAtChange(unsigned long stopAfter) : stopAfter_(stopAfter) {}
  void OnChange(const ChangeEvent&) override {
    if (++count_ == stopAfter_)
      TerminateProcess(GetCurrentProcess(), kStoppedExitCode);
  }

 private:
  unsigned long stopAfter_;
  unsigned long count_ = 0;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  wchar_t text[24] = L"";
  const DWORD length = GetEnvironmentVariableW(L"VLX_STOP_AFTER", text, 24);
  const unsigned long stopAfter = length > 0 && length < 24 ? std::wcstoul(text, nullptr, 10) : 0;
  static StopAtChange stopper(stopAfter);
  if (stopAfter != 0)
    (void)AddChangeObserver(&stopper);  // added first: the log, added later, writes first
  return RunProgram(instance);
}
