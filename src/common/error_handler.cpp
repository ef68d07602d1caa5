#include "common/error_handler.h"

#include <cstdarg>
#include <cwchar>
#include <type_traits>

namespace {

// Constant-initialised and trivially destructible: the handler exists before any dynamic
// initialisation runs and is never torn down, so process-wide objects may report errors
// from their constructors and destructors in any order.
ErrorHandler g_errorHandler;
static_assert(std::is_trivially_destructible<ErrorHandler>::value,
              "the error handler must outlive every other process-wide object");

void Report(int code, const wchar_t* text) {
  const wchar_t* args[1] = {text};
  MessageHook(code, text != nullptr ? args : nullptr, text != nullptr ? 1 : 0);
}

}  // namespace

ErrorHandler& Errors() {
  return g_errorHandler;
}

void MessageHook(int code, const wchar_t* const* args, int argCount) {
  // The program has no console and no log: reports are discarded here.
  (void)code;
  (void)args;
  (void)argCount;
}

void ErrorHandler::MemoryError() {
  ReportMemoryError();
  ExitCode = VLX_EXIT_MEMORY;
  ++ErrorCount;
  throw VLX_EXIT_MEMORY;
}

void ErrorHandler::ReportMemoryError() {
  Report(VLX_REPORT_NO_MEMORY, nullptr);
  ++ErrorCount;
  ExitCode = VLX_EXIT_MEMORY;
}

void ErrorHandler::CloseError(const wchar_t* fileName) {
  Report(VLX_REPORT_CLOSE, fileName);
  if (ExitCode < VLX_EXIT_CLOSE)
    ExitCode = VLX_EXIT_CLOSE;
  ++ErrorCount;
}

void ErrorHandler::SeekError(const wchar_t* fileName) {
  Report(VLX_REPORT_SEEK, fileName);
}

ErrorHandler::Answer ErrorHandler::AskReadError(const wchar_t* fileName) {
  (void)fileName;
  ++ErrorCount;
  ExitCode = VLX_EXIT_READ;
  return Answer::Stop;
}

bool ErrorHandler::AskWriteRetry(const wchar_t* fileName) {
  (void)fileName;
  return false;
}

void ErrorHandler::ReportFileSizeLimit(const wchar_t* fileName) {
  Report(VLX_REPORT_SIZE_LIMIT, fileName);
}

void ErrorHandler::WriteError(const wchar_t* fileName) {
  (void)fileName;
}

void ErrorHandler::FormatReport(const wchar_t* format, ...) {
  wchar_t text[1024];
  va_list args;
  va_start(args, format);
  // _vsnwprintf leaves a cut-short text unterminated; the last unit is forced to 0.
  int written = _vsnwprintf(text, 1023, format, args);
  va_end(args);
  if (written < 0)
    written = 1023;
  text[written < 1023 ? written : 1023] = 0;
  Report(VLX_REPORT_TEXT, text);
}
