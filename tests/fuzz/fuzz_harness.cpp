#include "fuzz/fuzz_harness.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "common/error_handler.h"
#include "common/win_handles.h"

namespace {

// What the watchdog and the fault filter need to name the input in progress.
struct RunState {
  const char* Parser = "";
  uint64_t Seed = 0;
  std::atomic<uint64_t> Iteration{0};
  std::atomic<uint64_t> StartTick{0};  // 0 between inputs
  std::atomic<unsigned> ExtraMs{0};
  unsigned LimitMs = 0;
  unsigned FailuresOfInput = 0;
  uint64_t FailedInputs = 0;
};

RunState g_run;
constexpr uint64_t kPrintedFailureLimit = 20;

void PrintLine(const char* kind, const char* detail) {
  std::printf("%s %s seed %llu iteration %llu: %s\n", kind, g_run.Parser,
              static_cast<unsigned long long>(g_run.Seed),
              static_cast<unsigned long long>(g_run.Iteration.load()), detail);
  std::fflush(stdout);
}

// A fault ends the process at once: nothing of the product's teardown runs after it.
LONG WINAPI OnFault(EXCEPTION_POINTERS* info) {
  char detail[128];
  std::snprintf(detail, sizeof(detail), "exception 0x%08lx at %p",
                static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                info->ExceptionRecord->ExceptionAddress);
  PrintLine("CRASH", detail);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

DWORD WINAPI Watchdog(void*) {
  for (;;) {
    Sleep(200);
    uint64_t start = g_run.StartTick.load();
    if (start == 0)
      continue;
    uint64_t limit = g_run.LimitMs + g_run.ExtraMs.load();
    if (GetTickCount64() - start > limit) {
      char detail[96];
      std::snprintf(detail, sizeof(detail), "input still running after %llu ms",
                    static_cast<unsigned long long>(limit));
      PrintLine("HANG", detail);
      TerminateProcess(GetCurrentProcess(), 4);
    }
  }
}

}  // namespace

void Fail(const char* format, ...) {
  ++g_run.FailuresOfInput;
  if (g_run.FailedInputs >= kPrintedFailureLimit)
    return;
  char detail[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(detail, sizeof(detail), format, args);
  va_end(args);
  PrintLine("FAIL", detail);
}

void AllowExtraTime(unsigned milliseconds) {
  g_run.ExtraMs += milliseconds;
}

std::string Printable(const std::wstring& text, size_t limit) {
  std::string out;
  for (size_t i = 0; i < text.size() && i < limit; ++i) {
    wchar_t c = text[i];
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      char code[8];
      std::snprintf(code, sizeof(code), "\\u%04x", static_cast<unsigned>(c));
      out += code;
    }
  }
  if (text.size() > limit)
    out += "...";
  return out;
}

int RunFuzzTarget(FuzzTarget& target, const FuzzOptions& options) {
  g_run.Parser = target.Name();
  g_run.Seed = options.Seed;
  g_run.LimitMs = options.LimitMs;
  SetUnhandledExceptionFilter(OnFault);
  // No system error boxes for a fault or a missing disk: the run has no one to click them.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

  std::string error;
  if (!target.Prepare(options, error)) {
    std::printf("SETUP %s: %s\n", target.Name(), error.c_str());
    return 2;
  }
  // The thread runs until the process ends; its handle is not needed.
  UniqueHandle watchdog(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
  if (!watchdog) {
    std::printf("SETUP %s: no watchdog thread\n", target.Name());
    return 2;
  }

  ULONGLONG began = GetTickCount64();
  for (uint64_t i = options.First; i < options.First + options.Count; ++i) {
    g_run.Iteration = i;
    g_run.FailuresOfInput = 0;
    g_run.ExtraMs = 0;
    g_run.StartTick = GetTickCount64();
    FuzzRandom random(InputSeed(options.Seed, target.Number(), i));
    try {
      target.RunOne(i, random);
    } catch (VLX_EXIT code) {
      Fail("CRASH: the error handler ended the operation with VLX_EXIT %u",
           static_cast<unsigned>(code));
    } catch (...) {
      Fail("CRASH: an exception escaped");
    }
    g_run.StartTick = 0;
    if (g_run.FailuresOfInput != 0)
      ++g_run.FailedInputs;
  }
  // Checks over the whole run count as one more input.
  g_run.FailuresOfInput = 0;
  target.Finish();
  if (g_run.FailuresOfInput != 0)
    ++g_run.FailedInputs;
  ULONGLONG ms = GetTickCount64() - began;
  std::printf(
      "RESULT %s seed %llu first %llu inputs %llu failures %llu ms %llu\n", target.Name(),
      static_cast<unsigned long long>(options.Seed), static_cast<unsigned long long>(options.First),
      static_cast<unsigned long long>(options.Count),
      static_cast<unsigned long long>(g_run.FailedInputs), static_cast<unsigned long long>(ms));
  std::fflush(stdout);
  return g_run.FailedInputs == 0 ? 0 : 1;
}
