#pragma once
// The administrator's log that /log asks for: one line of UTF-8 text per change the program
// makes, appended to the file and written through as it goes, so that a run that is killed
// leaves every line up to the kill. A line is
//   <local time>\t<event>\t<field>=<text>\t...
// with the time as "YYYY-MM-DD hh:mm:ss.mmm" and the fields that the event has (key and value,
// file and entry, path and to or target, extension, before, after, note). Control characters
// and '%' in a text are written as %XX (a lone surrogate as %uXXXX), so that a line never
// breaks and every text can be read back exactly; so are the C1 controls (NEL among them) and
// the line and paragraph separators U+2028 and U+2029 (as %u2028, %u2029), at which some
// readers break lines. Event and field names come from the table of change kinds
// (common/change_kinds.h). A run begins with a "start" line (mode, version, command line) and
// ends with an "exit" line (the exit code, and "lost" with the number of lines that could not
// be written, when there were any).
//
// A line is written only for a change that was made, and says what the machine holds after it.
//
// A log that cannot be opened never stops the run: the program goes on without one.

#include <windows.h>

#include "common/change_record.h"
#include "common/win_handles.h"

class AdminLog : public ChangeObserver {
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
  // Lines that could not be written since Open (a failed write, no memory for the line).
  size_t LostLines() const { return lostLines_; }

  void OnChange(const ChangeEvent& change) override;

 protected:
  // Writes one whole line's bytes to the file; false when they were not all written. Virtual
  // for one reason: a test may make the write fail for real (its bytes unreadable).
  virtual bool WriteBytes(const char* bytes, DWORD size);

 private:
  // One field of a line: its name and length units of its text.
  struct Field {
    const wchar_t* Name;
    const wchar_t* Text;
    size_t Length;
  };
  // Never throws; a line that cannot be written is counted as lost.
  void WriteLine(const wchar_t* event, const Field* fields, size_t count) noexcept;

  UniqueFileHandle file_;
  bool listening_ = false;
  size_t lostLines_ = 0;
};
