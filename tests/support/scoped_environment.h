#pragma once
// Sets an environment variable of the test process for the lifetime of the object; the
// destructor puts the former value back, or removes the variable when it had none. A former
// value of 2048 characters or more counts as none.

#include <windows.h>

#include <string>

class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[2048];
    const DWORD n = GetEnvironmentVariableW(name, old, 2048);
    had_ = n > 0 && n < 2048;
    if (had_)
      old_ = old;
    (void)SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedEnvironment() {
    (void)SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring name_;
  std::wstring old_;
  bool had_ = false;
};
