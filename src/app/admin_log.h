#pragma once
// The administrator's log that /log asks for: one line of UTF-8 text per change the program
// makes, appended to the file and written through as it goes, so that a run that is killed
// leaves every line up to the kill. A line is
//   <local time>\t<event>\t<field>=<text>\t...
// with the time as "YYYY-MM-DD hh:mm:ss.mmm" and the fields that the event has (key and value,
// file and entry, path and to or target, extension, before, after, note). Control characters
// and '%' in a text are written as %XX (a lone surrogate as %uXXXX), so that a line never
// breaks and every text can be read back exactly. A run begins with a "start" line (mode,
// version, command line) and ends with an "exit" line (the exit code).
//
// A log that cannot be opened never stops the run: the program goes on without one.

#include <windows.h>

#include "common/change_record.h"
#include "common/win_handles.h"

class AdminLog final : public ChangeObserver {
 public:
  AdminLog() = default;
  AdminLog(const AdminLog&) = delete;
  AdminLog& operator=(const AdminLog&) = delete;
  ~AdminLog();

  // Opens path for appending (relative to the current folder; missing folders are created)
  // and writes the start line. False when it cannot be opened.
  bool Open(const wchar_t* path, const wchar_t* mode, const wchar_t* commandLine);
  bool IsOpen() const { return file_.valid(); }
  // Installs this log as the change observer, until Close.
  void Listen();
  // Writes the exit line, stops listening and closes the file.
  void Close(int exitCode);

  void OnChange(const ChangeEvent& change) override;

 private:
  void WriteLine(const wchar_t* event, const wchar_t* const* fields, size_t count);

  UniqueFileHandle file_;
  bool listening_ = false;
};
