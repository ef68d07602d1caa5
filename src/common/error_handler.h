#pragma once
// The process-wide error handler. It records errors, passes reports to the message hook (which
// discards them: the program has no console and no log) and ends an operation by throwing
// VLX_EXIT when memory runs out. Only the settings-file loader catches VLX_EXIT; anywhere else
// it ends the process.

#include <cstdint>

enum VLX_EXIT : uint32_t {
  VLX_EXIT_SUCCESS = 0,
  VLX_EXIT_CLOSE = 2,   // a file failed to close
  VLX_EXIT_MEMORY = 8,  // out of memory
  VLX_EXIT_READ = 12,   // read error
};

// Report codes passed to the message hook.
enum VlxReport : int {
  VLX_REPORT_TEXT = 1,
  VLX_REPORT_NO_MEMORY = 7,
  VLX_REPORT_CLOSE = 10,
  VLX_REPORT_SEEK = 11,
  VLX_REPORT_SIZE_LIMIT = 73,
};

// The one place where a front end would show or log reports; here it does nothing.
// args holds up to eight texts (unused ones are null).
void MessageHook(int code, const wchar_t* const* args, int argCount);

class ErrorHandler {
 public:
  enum class Answer { Retry, Ignore, Stop };

  uint32_t ExitCode = VLX_EXIT_SUCCESS;
  uint32_t ErrorCount = 0;

  // Report 7, count + 1, exit code 8, then the same once more, and throws VLX_EXIT 8.
  [[noreturn]] void MemoryError();
  // Report 7, count + 1, exit code 8; does not throw.
  void ReportMemoryError();
  // Report 10; exit code raised to at least 2; count + 1.
  void CloseError(const wchar_t* fileName);
  // Report 11; nothing recorded.
  void SeekError(const wchar_t* fileName);
  // Count + 1, exit code 12; always answers Stop.
  Answer AskReadError(const wchar_t* fileName);
  // Always false: writes are never retried.
  bool AskWriteRetry(const wchar_t* fileName);
  // Report 73.
  void ReportFileSizeLimit(const wchar_t* fileName);
  // Nothing.
  void WriteError(const wchar_t* fileName);
  // printf-style into 1024 characters, sent as report 1.
  void FormatReport(const wchar_t* format, ...);
};

// The one process-wide instance, constructed before any other process-wide object.
ErrorHandler& Errors();
